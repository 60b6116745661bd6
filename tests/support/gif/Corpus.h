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
    Picture Expected;  // for None and Lenient; for cut files the whole picture
    bool ImageMagickReads = true;  // false where ImageMagick refuses a valid stream
    // Malformed only: the damage is of a kind a decoder can notice, so it
    // must report an error or a warning.
    bool MustReport = true;
    // Malformed only: a file cut short.  Loading it without a word is fine
    // only when what was loaded is a prefix of Expected's frames, unchanged.
    bool Cut = false;
    // Rows that giflib delivers are the reference (false where the decoders
    // legitimately differ).
    bool GiflibDefines = true;
};

std::vector<CraftedCase> CraftedCorpus();

// Offsets of the code size byte and the sub-block length bytes of every
// frame's image data; codeSizeBytes, when given, gets the code size bytes'
// alone, one per frame.
std::vector<size_t> ImageDataFramingBytes(const std::vector<uint8_t>& file,
                                          std::vector<size_t>* codeSizeBytes = nullptr);

}  // namespace giforacle
