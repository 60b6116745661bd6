// The GIF unit seen through the plain picture model of the oracles: load a
// stream into a picture, build a TGIFImage from a picture and save it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "GifModel.h"
#include "gif/GIFImage.h"

namespace gifbridge {

struct Loaded {
    giforacle::Picture Image;
    bool Ok = false;                    // LoadFromStream returned normally
    std::string Error;                  // the exception's text otherwise
    std::vector<std::string> Warnings;  // in the order they came
    int64_t Position = -1;              // stream position after the load
};

// Loads with TGIFImage::LoadFromStream; any exception is caught and
// reported, so a test sees what the unit did.
Loaded Load(std::span<const uint8_t> bytes);

// The picture as a TGIFImage (global and local tables, interlace, control
// extensions, loop extension).
std::unique_ptr<gif::TGIFImage> Build(const giforacle::Picture& picture, bool rle = false);
std::vector<uint8_t> Save(gif::TGIFImage& image);
std::vector<uint8_t> Save(const giforacle::Picture& picture, bool rle = false);

// One frame's image data section as the frame's Compress writes it: a frame
// of these indices under a global table of 2^bits entries.
struct Encoder {
    Encoder(std::span<const uint8_t> indices, int width, int height, int bits, bool rle);
    std::vector<uint8_t> Run();
    std::unique_ptr<gif::TGIFImage> Image;
};

// The first frame's indices through LoadFromStream; false on an exception.
bool DecodeFirstFrame(std::span<const uint8_t> bytes, std::vector<uint8_t>& indices);

}  // namespace gifbridge
