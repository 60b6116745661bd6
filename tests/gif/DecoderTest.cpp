// The LZW decoder: well-formed data in every sub-block layout, the corner
// cases of the code table, and data that is cut short, cyclic or trailed by
// more codes than the frame needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

struct Loaded {
    std::unique_ptr<TGIFImage> image = std::make_unique<TGIFImage>();
    WarningLog warnings;
    int64_t position = 0;
};

std::unique_ptr<Loaded> Load(const Bytes& bytes) {
    auto loaded = std::make_unique<Loaded>();
    loaded->warnings.Attach(*loaded->image);
    rtl::TMemoryStream stream = StreamOf(bytes);
    loaded->image->LoadFromStream(stream);
    loaded->position = stream.GetPosition();
    return loaded;
}

// A stream that is not a memory stream: the frame has to read the image
// data from it instead of decoding it where it stands.
class PlainStream : public rtl::TStream {
public:
    explicit PlainStream(Bytes bytes) : bytes_(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t n = std::clamp<int64_t>(static_cast<int64_t>(bytes_.size()) - position_, 0, count);
        if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override {
        position_ = (origin == rtl::soBeginning ? 0 : origin == rtl::soCurrent ? position_ : static_cast<int64_t>(bytes_.size())) + offset;
        return position_;
    }

private:
    Bytes bytes_;
    int64_t position_ = 0;
};

// Decodes one frame's image data section directly, returning its pixels and
// where the stream was left.
struct Decoded {
    Bytes pixels;
    int64_t position;
    std::vector<std::string> warnings;
};

Decoded DecodeData(const Bytes& data, int width, int height, bool interlaced = false, Bytes after = {},
                   bool inMemory = true) {
    TGIFImage image;
    WarningLog log;
    log.Attach(image);
    auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    frame->DoSetBounds(0, 0, width, height);
    frame->SetInterlaced(interlaced);
    log.entries.clear();
    Bytes all = data;
    all.insert(all.end(), after.begin(), after.end());
    rtl::TMemoryStream memory = StreamOf(all);
    PlainStream plain(all);
    rtl::TStream& stream = inMemory ? static_cast<rtl::TStream&>(memory) : plain;
    frame->Decompress(stream);
    return {FramePixels(*frame), stream.GetPosition(), log.Messages()};
}

}  // namespace

TEST(Decoder, AnyStreamReadsLikeAMemoryStream) {
    // Read from a stream it cannot see whole, the frame gets the same
    // pixels, warnings and stream position as from memory, and reads no
    // byte past the data's terminator.
    const Bytes pixels = NoisePixels(40 * 30, 16, 3);
    const Bytes data = ImageData(ReferenceLZW(pixels, 4), {1, 200, 7});
    struct Case {
        const char* name;
        Bytes bytes;
        int width;
    };
    const Case cases[] = {
        {"whole, a block after it", Concat({data, {0x21, 0xFE, 0x00}}), 40},
        {"frame full early", Concat({data, {0x3B}}), 7},
        {"cut inside a block", Bytes(data.begin(), data.begin() + 100), 40},
        {"cut at a length byte", Bytes(data.begin(), data.begin() + 3), 40},
        {"code size byte alone", Bytes(data.begin(), data.begin() + 1), 40},
        {"nothing", {}, 40},
    };
    for (const Case& c : cases) {
        const Decoded memory = DecodeData(c.bytes, c.width, 30);
        const Decoded plain = DecodeData(c.bytes, c.width, 30, false, {}, false);
        EXPECT_EQ(plain.pixels, memory.pixels) << c.name;
        EXPECT_EQ(plain.position, memory.position) << c.name;
        EXPECT_EQ(plain.warnings, memory.warnings) << c.name;
        EXPECT_LE(memory.position, static_cast<int64_t>(std::min(c.bytes.size(), data.size()))) << c.name;
    }
}

TEST(Decoder, AnySubBlockLayoutDecodesTheSamePixels) {
    const Bytes pixels = NoisePixels(64 * 48, 256, 7);
    const CodeStream codes = ReferenceLZW(pixels, 8);
    // Sizes around the 8 bytes the bit buffer takes at once, and 1-byte
    // sub-blocks between long ones, so refills straddle every kind of edge.
    const std::vector<std::vector<int>> layouts = {{255}, {1},  {2},  {3},          {254},
                                                   {7},   {8},  {9},  {16},         {1, 255, 2, 7, 1, 1, 100},
                                                   {1, 8, 1, 255, 1, 9, 7}};
    for (const auto& layout : layouts) {
        const Bytes data = ImageData(codes, layout);
        const Decoded decoded = DecodeData(data, 64, 48, false, {0x3B});
        EXPECT_EQ(decoded.pixels, pixels) << "first block size " << layout[0];
        EXPECT_EQ(decoded.position, static_cast<int64_t>(data.size())) << "first block size " << layout[0];
        EXPECT_TRUE(decoded.warnings.empty());
    }
}

TEST(Decoder, CodeSizesFromOneToEightAndDeferredClear) {
    struct Case {
        int codeSize;
        int colors;
        bool deferClear;
    };
    const Case cases[] = {{2, 2, false}, {2, 4, false}, {3, 8, false}, {4, 16, true}, {8, 256, false}, {8, 3, true}};
    for (const Case& c : cases) {
        const Bytes pixels = NoisePixels(200 * 100, c.colors, static_cast<uint32_t>(c.codeSize));
        const Bytes data = ImageData(ReferenceLZW(pixels, c.codeSize, c.deferClear));
        const Decoded decoded = DecodeData(data, 200, 100);
        EXPECT_EQ(decoded.pixels, pixels) << "code size " << c.codeSize;
        EXPECT_EQ(decoded.position, static_cast<int64_t>(data.size()));
    }
}

TEST(Decoder, RepeatingStringAndWidthGrowth) {
    // One colour gives the repeating-string case (a code equal to the next
    // free code) at every step, and long enough runs walk the width to 12.
    const Bytes pixels(300 * 300, 5);
    const Decoded decoded = DecodeData(ImageData(ReferenceLZW(pixels, 8)), 300, 300);
    EXPECT_EQ(decoded.pixels, pixels);
}

TEST(Decoder, CodeSizeAboveEightDecodesAsEight) {
    const Bytes pixels = NoisePixels(30 * 30, 256, 3);
    Bytes data = ImageData(ReferenceLZW(pixels, 8));
    data[0] = 11;
    EXPECT_EQ(DecodeData(data, 30, 30).pixels, pixels);
}

TEST(Decoder, InterlacedRowsArriveInFourPassOrder) {
    for (int height : {1, 2, 3, 4, 5, 8, 9, 17}) {
        const int width = 3;
        Bytes rows(static_cast<size_t>(width * height));
        // The stream carries rows in pass order; each row's pixels name the
        // row they belong to.
        std::vector<int> order;
        for (int r = 0; r < height; r += 8) order.push_back(r);
        for (int r = 4; r < height; r += 8) order.push_back(r);
        for (int r = 2; r < height; r += 4) order.push_back(r);
        for (int r = 1; r < height; r += 2) order.push_back(r);
        ASSERT_EQ(order.size(), static_cast<size_t>(height));
        Bytes streamOrder;
        for (int r : order)
            for (int x = 0; x < width; ++x) streamOrder.push_back(static_cast<uint8_t>(r));
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) rows[static_cast<size_t>(r * width + x)] = static_cast<uint8_t>(r);
        EXPECT_EQ(DecodeData(ImageData(ReferenceLZW(streamOrder, 8)), width, height, true).pixels, rows)
            << "height " << height;
    }
}

TEST(Decoder, EndCodeEndingOnTheLastBitLeavesTheStreamAfterTheTerminator) {
    // Streams whose end code fills the last byte exactly, in one sub-block
    // and in 1-byte sub-blocks.
    int checked = 0;
    for (size_t n = 1; n < 40; ++n) {
        Bytes pixels(n);
        for (size_t i = 0; i < n; ++i) pixels[i] = static_cast<uint8_t>(i * i % 3);
        const CodeStream codes = ReferenceLZW(pixels, 2);
        int bits = 0;
        for (auto [code, width] : codes.codes) bits += width;
        if (bits % 8 != 0) continue;
        for (int block : {255, 1}) {
            const Bytes data = ImageData(codes, {block});
            const Decoded decoded = DecodeData(data, static_cast<int>(n), 1, false, {0x21, 0xFE, 0x00});
            EXPECT_EQ(decoded.pixels, pixels) << n;
            EXPECT_EQ(decoded.position, static_cast<int64_t>(data.size())) << n;
            EXPECT_TRUE(decoded.warnings.empty()) << n;
            ++checked;
        }
    }
    EXPECT_GT(checked, 2);
}

TEST(Decoder, ExtraCodesAfterTheLastPixelAreSkippedToTheTerminator) {
    // The data holds more pixels than the frame: the decoder stops at the
    // frame's size and the stream still ends after the terminator, so the
    // next block is read where it begins.
    const Bytes pixels = NoisePixels(40 * 40, 16, 5);
    const Bytes data = ImageData(ReferenceLZW(pixels, 4), {1});
    const Decoded decoded = DecodeData(data, 10, 10, false, {0x3B});
    EXPECT_EQ(decoded.pixels, Bytes(pixels.begin(), pixels.begin() + 100));
    EXPECT_EQ(decoded.position, static_cast<int64_t>(data.size()));
}

TEST(Decoder, ShortDataKeepsTheFillValue) {
    const Bytes pixels = NoisePixels(20 * 20, 16, 9);
    Bytes data = ImageData(ReferenceLZW(pixels, 4));
    // Only the first sub-block's first 10 bytes survive.
    Bytes cut(data.begin(), data.begin() + 12);
    const Decoded decoded = DecodeData(cut, 20, 20);
    ASSERT_EQ(decoded.pixels.size(), pixels.size());
    EXPECT_EQ(decoded.position, static_cast<int64_t>(cut.size()));
    EXPECT_EQ(decoded.warnings, std::vector<std::string>{"Premature end of data"});
    // Whatever was decoded matches; the rest is 0.
    size_t same = 0;
    while (same < pixels.size() && decoded.pixels[same] == pixels[same]) ++same;
    EXPECT_GT(same, 5u);
    for (size_t i = same; i < pixels.size(); ++i) {
        if (decoded.pixels[i] != 0) {
            // The last decoded string may end inside the cut.
            EXPECT_LT(i, same + 64) << i;
        }
    }
    EXPECT_EQ(decoded.pixels.back(), 0);
}

TEST(Decoder, CodeAfterTheTerminatorWarnsUnderRun) {
    // Clear and two pixels but no end code, then the terminator: the frame
    // asks for more codes than there are.
    CodeStream codes{2, {{4, 3}, {1, 3}, {2, 3}}};
    Bytes data = ImageData(codes);
    data.pop_back();  // the terminator goes into the packed data below
    BitPacker packer;
    packer.Put(4, 3);
    packer.Put(1, 3);
    packer.Put(2, 3);
    packer.Put(0, 7);  // pad to 16 bits
    Bytes exact{2, 2, packer.Data()[0], packer.Data()[1], 0};
    const Decoded decoded = DecodeData(exact, 5, 1);
    EXPECT_EQ(decoded.pixels, (Bytes{1, 2, 0, 0, 0}));
    EXPECT_EQ(decoded.position, 5);
    EXPECT_EQ(decoded.warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
}

TEST(Decoder, MissingCodeSizeByteLeavesTheFillWithoutAWord) {
    const Decoded decoded = DecodeData({}, 3, 2);
    EXPECT_EQ(decoded.pixels, Bytes(6, 0));
    EXPECT_EQ(decoded.position, 0);
    EXPECT_TRUE(decoded.warnings.empty());
}

TEST(Decoder, TransparentFrameFillsWithTheTransparentIndex) {
    const Bytes pixels{1, 2, 3, 1};
    Bytes data = ImageData(ReferenceLZW(pixels, 2));
    // Drop the end code: the frame has 8 pixels, the data 4.
    const Bytes gif = Concat({Header(8, 1, 4), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x03, 0x00},
                              Descriptor(0, 0, 8, 1), data, {0x3B}});
    auto loaded = Load(gif);
    ASSERT_EQ(loaded->image->GetImages().GetCount(), 1);
    EXPECT_EQ(FramePixels(*loaded->image->GetImages().GetImage(0)), (Bytes{1, 2, 3, 1, 3, 3, 3, 3}));
}

TEST(Decoder, CorruptTablesRaiseCircularInsteadOfOverrunningTheStack) {
    // After a clear, codes beyond the next free code make table entries refer
    // to each other: 259 and 260 end up each other's prefix in the first
    // case (a chain that never ends), 259 its own prefix in the second.
    const std::vector<std::vector<int>> cases = {{256, 0, 260, 259, 260, 259, 257}, {256, 0, 259, 259, 259, 257}};
    for (const auto& sequence : cases) {
        BitPacker packer;
        for (int code : sequence) packer.Put(code, 9);
        Bytes data{8, static_cast<uint8_t>(packer.Data().size())};
        data.insert(data.end(), packer.Data().begin(), packer.Data().end());
        data.push_back(0);
        const Bytes gif = Concat({Header(50, 1, 256), Descriptor(0, 0, 50, 1), data, {0x3B}});
        TGIFImage image;
        rtl::TMemoryStream stream = StreamOf(gif);
        ExpectGIFError([&] { image.LoadFromStream(stream); }, "Circular decoder table entry");
        // A failed load puts the stream back where it began.
        EXPECT_EQ(stream.GetPosition(), 0);
    }
}

TEST(Decoder, EndCodeRightAfterTheClearIsEmptyData) {
    // What the encoder writes for a frame without pixels: the end code alone.
    // It ends the data; it is not taken as a pixel.
    const Decoded decoded = DecodeData({2, 1, 0x05, 0}, 3, 1, false, {0x3B});
    EXPECT_EQ(decoded.pixels, Bytes(3, 0));
    EXPECT_EQ(decoded.position, 4);
    EXPECT_TRUE(decoded.warnings.empty());
}

TEST(Decoder, CopiedStringsMatchTheTableWalk) {
    // A frame one row high reads the same whether interlaced or not; the
    // interlaced frame walks the code table for every string, the other
    // copies strings it has already placed.  Both must give the same pixels,
    // also when a code beyond the table breaks the copying until the next
    // clear code.
    std::vector<Bytes> streams;
    for (int codeSize : {2, 4, 8}) {
        const Bytes pixels = NoisePixels(3000, 1 << codeSize, static_cast<uint32_t>(codeSize));
        streams.push_back(ImageData(ReferenceLZW(pixels, codeSize, codeSize == 4)));
    }
    Bytes runs;
    for (int i = 0; i < 3000; ++i) runs.push_back(static_cast<uint8_t>(i / 37 % 3));
    streams.push_back(ImageData(ReferenceLZW(runs, 2)));
    CodeStream broken{8, {{256, 9}, {1, 9}, {2, 9}, {300, 9}, {258, 9}, {259, 9}, {3, 9}}};
    const CodeStream after = ReferenceLZW(NoisePixels(500, 256, 9), 8);
    broken.codes.insert(broken.codes.end(), after.codes.begin(), after.codes.end());
    streams.push_back(ImageData(broken));
    // Frames that end inside a copied string, right before or after one,
    // and frames the data fills only in part.
    Bytes longRuns(3000, 2);
    for (size_t i = 0; i < longRuns.size(); i += 400) longRuns[i] = 1;
    streams.push_back(ImageData(ReferenceLZW(longRuns, 2)));
    for (size_t i = 0; i < streams.size(); ++i) {
        for (int width : {1, 2, 3, 15, 16, 17, 31, 33, 100, 2500, 2999, 3000, 4000}) {
            const Decoded copied = DecodeData(streams[i], width, 1, false);
            const Decoded walked = DecodeData(streams[i], width, 1, true);
            EXPECT_EQ(copied.pixels, walked.pixels) << "stream " << i << " width " << width;
            EXPECT_EQ(copied.position, walked.position) << "stream " << i << " width " << width;
        }
    }
}

TEST(Decoder, DataEndingInsideACopiedStringLeavesTheFillAfterIt) {
    // Long strings of one colour, cut after the first sub-block and without
    // an end code: every pixel after the last decoded one keeps the
    // transparent index, also right behind a long string.
    const Bytes pixels(4000, 1);
    for (bool cut : {false, true}) {
        Bytes data = ImageData(ReferenceLZW(pixels, 2), {20});
        if (cut) data.resize(1 + 21);  // code size byte and the first sub-block
        const Bytes gif = Concat({Header(100, 60, 4), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x03, 0x00},
                                  Descriptor(0, 0, 100, 60), data, {0x3B}});
        auto loaded = Load(gif);
        ASSERT_EQ(loaded->image->GetImages().GetCount(), 1);
        const Bytes got = FramePixels(*loaded->image->GetImages().GetImage(0));
        size_t decoded = 0;
        while (decoded < got.size() && got[decoded] == 1) ++decoded;
        if (cut) {
            EXPECT_GT(decoded, 100u);
            EXPECT_LT(decoded, pixels.size());
        } else {
            EXPECT_EQ(decoded, pixels.size());
        }
        for (size_t i = decoded; i < got.size(); ++i) ASSERT_EQ(got[i], 3) << "pixel " << i << " cut " << cut;
    }
}
