// The test corpus, made at test time: pictures written by giflib's encoder
// (every feature an ordinary file has) and crafted streams that only a
// hand-built writer makes (odd sub-block framing, rare code sequences,
// damage).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GifModel.h"

namespace giforacle {

struct GeneratedCase {
    std::string Name;
    Picture Image;
};

// Pictures to write with giflib (or any encoder under test).
std::vector<GeneratedCase> GeneratedCorpus();

enum class Damage {
    None,       // valid: every decoder must give Expected exactly
    Lenient,    // valid LZW but unusual framing; pixels must still be Expected
    Malformed,  // no single right answer; decoders must stay safe
};

struct CraftedCase {
    std::string Name;
    std::vector<uint8_t> Bytes;
    Damage Kind = Damage::None;
    Picture Expected;  // for None and Lenient
    bool ImageMagickReads = true;  // false where ImageMagick refuses a valid stream
};

std::vector<CraftedCase> CraftedCorpus();

// Cuts of a file at many lengths, for truncation tests.
std::vector<size_t> TruncationPoints(size_t size);

}  // namespace giforacle
