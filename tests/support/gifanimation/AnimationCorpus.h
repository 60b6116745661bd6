// Animations for the optimiser's tests and benchmark, made reproducibly:
// hand-made cases for each way an optimisation can go wrong, and random
// animations whose frames repeat much of what the screen already shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GifModel.h"

namespace gifopt {

struct AnimationCase {
    std::string Name;
    giforacle::Picture Picture;
    // Every disposal is one of the four the format defines, so another
    // decoder composes it the same way.
    bool StandardDisposals = true;
};

// A random animation: frames of random size and place, global or local
// tables, transparency, every disposal, and pixels that often repeat the
// screen underneath.
giforacle::Picture RandomAnimation(uint32_t seed, int width, int height, int frames);

std::vector<AnimationCase> AnimationCorpus();

// A colour table of count entries whose colours are all different.
std::vector<giforacle::Rgb> Palette(int count, uint32_t seed);

}  // namespace gifopt
