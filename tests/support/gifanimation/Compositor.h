// A small compositor of its own for the optimiser's tests: it plays a
// picture from the disposal rules and records what the screen shows after
// each frame and for how long, so that two pictures can be compared by what
// they show rather than by what they hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/GIFImage.h"

namespace gifopt {

// One screen pixel: 0 where the screen shows what lies behind the picture,
// else 0xFF000000 | red << 16 | green << 8 | blue.  A pixel whose index is
// beyond its table shows as 0x01000000 | index.
using Canvas = std::vector<uint32_t>;

struct Shown {
    Canvas Pixels;
    int Delay = 0;  // delay units, as a painter waits them
};

struct Timeline {
    int Width = 0, Height = 0;
    int Loops = -1;          // the loop extension a painter obeys; -1: none
    int PassOneFrames = 0;   // Frames[0, PassOneFrames) are the first pass
    std::vector<Shown> Frames;
};

struct ComposeOptions {
    // Areas disposed to the background show the picture's background colour
    // (when it has a global table) instead of what lies behind the picture.
    bool BackgroundColor = false;
    // The screen starts in the background colour around the first frame
    // (another decoder's habit); cleared areas still follow BackgroundColor.
    bool BackgroundColorAroundFirstFrame = false;
};

// Plays the first pass and, when the loop extension asks for more, a second
// one from the loop point, which clears the area of the first frame with
// pixels before drawing it.  A third pass would show nothing new: every
// pixel a pass leaves is one its frames set or the one it began with, so
// the third begins on the screen the second began on.  Disposals: none and do-not-dispose keep the frame, background
// clears its area afterwards, previous restores what was there before it;
// larger values draw nothing.  A frame without pixels is passed over: it
// shows nothing and takes no time.
Timeline Compose(gif::TGIFImage& image, const ComposeOptions& options = {});

// Consecutive equal screens become one, shown for the sum of their delays.
Timeline Collapse(const Timeline& timeline);

// "" when both show the same screens for the same times (after collapsing),
// else the first difference in words.
std::string DiffShown(const Timeline& before, const Timeline& after);

}  // namespace gifopt
