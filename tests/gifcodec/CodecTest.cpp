// The codec core alone: bare LZW payloads (codes without framing) made by
// the tests' reference coder, whole image data sections, and the encoders'
// results, with no picture around them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CraftedStream.h"
#include "GifModel.h"
#include "GiflibOracle.h"
#include "gif/codec/Decoder.h"
#include "gif/codec/Encoder.h"

using namespace gif::codec;
using namespace giforacle;
using Bytes = std::vector<uint8_t>;

namespace {

struct Placed {
    LzwResult result;
    Bytes pixels;
};

// Decodes into a frame prefilled with fill.
Placed DecodeBare(int codeSize, const Bytes& codes, int width, int height, bool interlaced, uint8_t fill = 0) {
    static LzwDecoder decoder;  // large; one is enough for every case
    Placed placed;
    placed.pixels.assign(size_t(width) * size_t(height), fill);
    placed.result = decoder.Decode(codeSize, codes, {placed.pixels, width, height, interlaced, fill});
    return placed;
}

Bytes WithTail(Bytes bytes, std::initializer_list<uint8_t> tail) {
    bytes.insert(bytes.end(), tail);
    return bytes;
}

Bytes Pack(std::initializer_list<unsigned> codes, int width) {
    CodePacker packer;
    for (unsigned code : codes) packer.Put(code, width);
    return packer.Finish();
}

}  // namespace

TEST(LzwDecoder, BarePayloadsOfEveryCodeSizeAndClearPolicy) {
    struct Case {
        const char* name;
        int codeSize, colors;
        LzwOptions options;
    };
    LzwOptions noLeadingClear = LzwSize(8);
    noLeadingClear.LeadingClear = false;
    const Case cases[] = {
        {"code size 1", 1, 2, LzwSize(1)},
        {"code size 2", 2, 4, LzwSize(2)},
        {"code size 3", 3, 8, LzwSize(3)},
        {"code size 5", 5, 32, LzwSize(5)},
        {"code size 8", 8, 256, LzwSize(8)},
        {"deferred clear", 4, 16, LzwSize(4, ClearPolicy::Deferred)},
        {"clear every 100 codes", 6, 64, LzwSize(6, ClearPolicy::Early, 100)},
        {"clear after every code", 4, 16, LzwSize(4, ClearPolicy::Early, 1)},
        {"no leading clear", 8, 256, noLeadingClear},
    };
    for (const Case& c : cases) {
        const Bytes pixels = Noise(150, 90, c.colors, uint32_t(c.codeSize));
        const LzwCodes codes = LzwEncode(pixels, c.options);
        for (bool interlaced : {false, true}) {
            // One row: the interlaced placement walks the table for every
            // string, the other copies strings it has placed.
            const Placed placed = DecodeBare(c.codeSize, codes.Bytes, int(pixels.size()), 1, interlaced);
            EXPECT_EQ(placed.result.Status, LzwStatus::Full) << c.name;
            EXPECT_EQ(placed.result.Pixels, pixels.size()) << c.name;
            EXPECT_EQ(placed.pixels, pixels) << c.name << (interlaced ? " interlaced" : "");
        }
    }
}

TEST(LzwDecoder, WhatEndsTheCodes) {
    // Each row names the codes, the frame they go to and how decoding must
    // end; pixels the codes do not reach keep the fill value 9.
    const Bytes eight = Noise(8, 1, 256, 3);
    const LzwCodes whole = LzwEncode(eight, LzwSize(8));
    LzwOptions open = LzwSize(8);
    open.EndCode = false;
    const LzwCodes noEnd = LzwEncode(eight, open);
    struct Case {
        const char* name;
        Bytes codes;
        int frame;  // pixels in the one row
        LzwStatus status;
        uint64_t pixels;
        int bitsLeft;
    };
    const Case cases[] = {
        {"end code after the last pixel", whole.Bytes, 8, LzwStatus::Full, 8, 0},
        {"codes left after the last pixel", whole.Bytes, 5, LzwStatus::Full, 5, 0},
        {"end code before the last pixel", whole.Bytes, 12, LzwStatus::EndCode, 8, 0},
        {"codes run out, padding left", noEnd.Bytes, 12, LzwStatus::OutOfCodes, 8, int(noEnd.Bytes.size() * 8 - noEnd.Bits)},
        // 8 codes of 9 bits fill 9 bytes exactly.
        {"codes run out on a byte edge", Pack({256, 1, 2, 3, 4, 5, 6, 7}, 9), 12, LzwStatus::OutOfCodes, 7, 0},
        {"no codes at all", {}, 12, LzwStatus::OutOfCodes, 0, 0},
        {"clear then end", Pack({256, 257}, 9), 12, LzwStatus::EndCode, 0, 0},
        // Codes past the next free one make entries refer to each other: a
        // chain that never ends, and an entry that is its own prefix.
        {"entries in a ring", Pack({256, 0, 260, 259, 260, 259, 257}, 9), 50, LzwStatus::Circular, 0, 0},
        {"entry its own prefix", Pack({256, 0, 259, 259, 259, 257}, 9), 50, LzwStatus::Circular, 0, 0},
    };
    for (const Case& c : cases) {
        for (bool interlaced : {false, true}) {
            const std::string name = std::string(c.name) + (interlaced ? " interlaced" : "");
            const Placed placed = DecodeBare(8, c.codes, c.frame, 1, interlaced, 9);
            EXPECT_EQ(placed.result.Status, c.status) << name;
            if (c.status != LzwStatus::Circular) {
                EXPECT_EQ(placed.result.Pixels, c.pixels) << name;
            }
            EXPECT_EQ(placed.result.BitsLeft, c.bitsLeft) << name;
            for (size_t i = size_t(placed.result.Pixels); i < placed.pixels.size(); ++i)
                EXPECT_EQ(placed.pixels[i], 9) << name << " pixel " << i;
        }
    }
}

TEST(LzwDecoder, ABufferSmallerThanTheFrameTakesOnlyWhatFits) {
    const Bytes pixels = Noise(40, 10, 16, 5);
    const LzwCodes codes = LzwEncode(pixels, LzwSize(4));
    for (bool interlaced : {false, true}) {
        static LzwDecoder decoder;
        Bytes store(95, 0xEE);  // 9 whole rows and a bit
        Bytes guarded = store;
        guarded.resize(store.size() + 64, 0xEE);
        const LzwResult result =
            decoder.Decode(4, codes.Bytes, {std::span(guarded.data(), store.size()), 40, 10, interlaced, 0xEE});
        EXPECT_EQ(result.Status, LzwStatus::Full) << interlaced;
        EXPECT_EQ(result.Pixels, interlaced ? 80u : 95u);
        for (size_t i = store.size(); i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xEE) << "wrote past the buffer";
    }
}

TEST(ImageDataDecoder, FramingAndWhatEndsTheData) {
    // Code size byte, sub-blocks and terminator as a file holds them; what
    // comes after the terminator is not the decoder's.
    const Bytes pixels = Noise(30, 20, 16, 7);
    const LzwCodes codes = LzwEncode(pixels, LzwSize(4));
    const Bytes framed = ImageData(4, SubBlocks(codes.Bytes, 7));
    Bytes open = ImageData(8, SubBlocks(Pack({256, 1, 2, 3, 4, 5, 6, 7}, 9)));
    Bytes shortCode = ImageData(8, SubBlocks(Pack({256, 1, 2, 3, 4, 5, 6}, 9)));  // 63 bits in 8 bytes
    struct Case {
        const char* name;
        Bytes data;
        int frame;
        DecodeStatus status;
        size_t consumed;
    };
    const Case cases[] = {
        {"whole, a block after it", WithTail(framed, {0x3B, 0x00}), 600, DecodeStatus::Done, framed.size()},
        {"one-byte blocks", ImageData(4, SubBlocks(codes.Bytes, 1)), 600, DecodeStatus::Done,
         1 + codes.Bytes.size() * 2 + 1},
        {"frame full early, the rest walked", framed, 100, DecodeStatus::Done, framed.size()},
        {"empty", {}, 600, DecodeStatus::NoCodeSize, 0},
        {"code size byte alone", {4}, 600, DecodeStatus::OutOfData, 1},
        {"cut inside a block", Bytes(framed.begin(), framed.begin() + 20), 600, DecodeStatus::OutOfData, 20},
        {"cut, but the frame was full before", Bytes(framed.begin(), framed.begin() + 20), 5, DecodeStatus::Done, 20},
        {"terminator with no bit left", open, 20, DecodeStatus::UnderRun, open.size()},
        {"terminator with a bit left", shortCode, 20, DecodeStatus::DataEnded, shortCode.size()},
        {"circular", ImageData(8, SubBlocks(Pack({256, 0, 259, 259, 259, 257}, 9))), 50, DecodeStatus::Circular, 0},
    };
    ImageDataDecoder decoder;
    for (const Case& c : cases) {
        Bytes store(size_t(c.frame), 0);
        const DecodeResult result = decoder.Decode(c.data, {store, c.frame, 1, false, 0});
        EXPECT_EQ(result.Status, c.status) << c.name;
        if (c.status != DecodeStatus::Circular) {
            EXPECT_EQ(result.Consumed, c.consumed) << c.name;
        }
        if (c.status == DecodeStatus::Done && c.frame <= 600) {
            EXPECT_EQ(Bytes(store.begin(), store.end()), Bytes(pixels.begin(), pixels.begin() + c.frame)) << c.name;
        }
    }
}

TEST(Encoder, LzwImageDataEqualsGiflibsAndDecodesBack) {
    struct Case {
        const char* name;
        int width, height, bits;
        Bytes pixels;
        bool interlaced;
    };
    const Case cases[] = {
        {"photo 8 bits", 120, 80, 8, PhotoLike(120, 80, 256, 1), false},
        {"line art 4 bits interlaced", 97, 33, 4, LineArt(97, 33, 16, 2), true},
        {"noise 1 bit", 64, 64, 1, Noise(64, 64, 2, 3), false},
        {"one colour, table refills", 300, 300, 8, Bytes(300 * 300, 4), false},
    };
    ImageDataDecoder decoder;
    for (const Case& c : cases) {
        Bytes ours;
        const EncodeResult result = EncodeImageData(
            {c.pixels, c.width, c.height, c.interlaced, c.bits, 1 << c.bits}, Compression::Lzw, ours);
        EXPECT_EQ(result.Status, EncodeStatus::Done) << c.name;
        EXPECT_EQ(result.Pixels, c.pixels.size()) << c.name;
        EXPECT_EQ(ours, GiflibEncodeImageData(c.pixels, c.width, c.height, c.bits, c.interlaced)) << c.name;
        for (Compression compression : {Compression::Lzw, Compression::Rle}) {
            Bytes data;
            EncodeImageData({c.pixels, c.width, c.height, c.interlaced, c.bits, 1 << c.bits}, compression, data);
            Bytes back(c.pixels.size());
            const DecodeResult decoded = decoder.Decode(data, {back, c.width, c.height, c.interlaced, 0});
            EXPECT_EQ(decoded.Status, DecodeStatus::Done) << c.name;
            EXPECT_EQ(decoded.Consumed, data.size()) << c.name;
            EXPECT_EQ(back, c.pixels) << c.name << (compression == Compression::Rle ? " RLE" : " LZW");
        }
    }
}

TEST(Encoder, ARefusedColourStopsWithThePixelsBeforeIt) {
    // The pixel count is in the order pixels go out: in four-pass order for
    // an interlaced frame, where row 8 comes second.
    struct Case {
        const char* name;
        bool interlaced;
        size_t badAt;       // index in the pixel store
        uint64_t before;    // pixels sent before it
    };
    const Case cases[] = {
        {"first pixel", false, 0, 0},
        {"inside", false, 1234, 1234},
        {"first pixel interlaced", true, 0, 0},
        {"row 0 interlaced", true, 17, 17},
        {"row 8 interlaced", true, 8 * 50 + 3, 50 + 3},
        {"row 1 interlaced", true, 50 + 2, 50 * 20 + 2},
    };
    for (const Case& c : cases) {
        for (Compression compression : {Compression::Lzw, Compression::Rle}) {
            Bytes pixels = Noise(50, 40, 8, 4);
            pixels[c.badAt] = 8;
            Bytes data;
            const EncodeResult result = EncodeImageData({pixels, 50, 40, c.interlaced, 3, 8}, compression, data);
            const std::string name = std::string(c.name) + (compression == Compression::Rle ? " RLE" : " LZW");
            EXPECT_EQ(result.Status, EncodeStatus::BadColor) << name;
            EXPECT_EQ(result.Pixels, c.before) << name;
            // Code size byte, then whole blocks and no terminator.
            ASSERT_FALSE(data.empty());
            EXPECT_EQ(data[0], 3) << name;
            size_t pos = 1;
            while (pos < data.size()) {
                ASSERT_NE(data[pos], 0) << name << ": a terminator or an empty block";
                pos += size_t(data[pos]) + 1;
            }
            EXPECT_EQ(pos, data.size()) << name;
        }
    }
}
