// The LZW and RLE encoders and the sub-block writer: exact bytes where the
// codes are fixed, and what the decoder reads back everywhere else.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

// A picture with one frame of the given pixels and a local table of colors.
std::unique_ptr<TGIFImage> MakePicture(int width, int height, const Bytes& pixels, int colors,
                                       TGIFCompression compression, bool interlaced = false) {
    auto image = std::make_unique<TGIFImage>();
    image->SetCompression(compression);
    auto* frame = &image->GetImages().Adopt(std::make_unique<TGIFSubImage>());
    for (int i = 0; i < colors; ++i) frame->GetColorMap().Add(static_cast<TColor>(i * 0x010101));
    frame->DoSetBounds(0, 0, width, height);
    frame->SetInterlaced(interlaced);
    std::copy(pixels.begin(), pixels.end(), frame->GetData());
    return image;
}

Bytes Compressed(TGIFImage& image) {
    rtl::TMemoryStream stream;
    image.GetImages().GetImage(0)->Compress(stream);
    return stream.Bytes();
}

// Sub-block sizes of an image data section (after its code size byte).
std::vector<int> SubBlockSizes(const Bytes& data) {
    std::vector<int> sizes;
    size_t pos = 1;
    while (pos < data.size()) {
        sizes.push_back(data[pos]);
        if (data[pos] == 0) break;
        pos += data[pos] + 1u;
    }
    return sizes;
}

Bytes RoundTrip(TGIFImage& image) {
    const Bytes saved = SaveBytes(image);
    TGIFImage loaded;
    rtl::TMemoryStream stream = StreamOf(saved);
    loaded.LoadFromStream(stream);
    EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(saved.size()));
    EXPECT_EQ(loaded.GetImages().GetCount(), 1);
    return FramePixels(*loaded.GetImages().GetImage(0));
}

}  // namespace

TEST(Encoder, RleRunOfTenIsTheLiteralThenRunCodesOfTwoThreeAndFour) {
    auto image = MakePicture(10, 1, Bytes(10, 1), 4, gcRLE);
    BitPacker packer;
    for (auto [code, width] : std::vector<std::pair<int, int>>{{4, 3}, {1, 3}, {6, 3}, {7, 3}, {8, 4}, {5, 4}})
        packer.Put(code, width);
    Bytes expected{2, static_cast<uint8_t>(packer.Data().size())};
    expected.insert(expected.end(), packer.Data().begin(), packer.Data().end());
    expected.push_back(0);
    EXPECT_EQ(Compressed(*image), expected);
}

TEST(Encoder, TwoColourFrameUsesCodeSizeTwo) {
    for (TGIFCompression compression : {gcLZW, gcRLE}) {
        auto image = MakePicture(4, 1, Bytes{0, 1, 1, 0}, 2, compression);
        const Bytes data = Compressed(*image);
        EXPECT_EQ(data[0], 2);
        // The first code is a clear code (4) in 3 bits.
        EXPECT_EQ(data[2] & 0x07, 4);
    }
}

// A compression that names no method is LZW, the default.
TEST(Encoder, UnknownCompressionIsLzw) {
    const Bytes pixels{0, 1, 1, 1, 2, 3, 3, 3, 3, 0, 0, 2};
    auto lzw = MakePicture(4, 3, pixels, 4, gcLZW);
    auto unknown = MakePicture(4, 3, pixels, 4, static_cast<TGIFCompression>(42));
    EXPECT_EQ(Compressed(*unknown), Compressed(*lzw));
}

TEST(Encoder, FrameWithoutPixelsWritesOnlyTheEndCode) {
    TGIFImage image;
    auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    rtl::TMemoryStream stream;
    frame->Compress(stream);
    EXPECT_EQ(stream.Bytes(), (Bytes{2, 1, 0x05, 0}));
}

TEST(Encoder, PixelOutsideTheTableRaisesAndWritesNoTerminator) {
    for (TGIFCompression compression : {gcLZW, gcRLE}) {
        auto image = MakePicture(600, 1, NoisePixels(600, 5), 4, compression);
        rtl::TMemoryStream stream;
        ExpectGIFError([&] { image->GetImages().GetImage(0)->Compress(stream); }, "Color not in color table");
        // Whatever was written is whole sub-blocks, no terminator.
        const Bytes& data = stream.Bytes();
        const std::vector<int> sizes = SubBlockSizes(data);
        for (int size : sizes) EXPECT_NE(size, 0);
    }
}

TEST(Encoder, LzwCodesBeforeABadPixelAreAllWritten) {
    // The encoder sends every whole byte of the codes it emitted before the
    // pixel that is not in the table: the codes a plain LZW coder gives the
    // pixels before it, less the string still open.
    const Bytes good = NoisePixels(3000, 16, 21);
    for (size_t bad : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{333}, size_t{1500}, size_t{2999}}) {
        Bytes pixels = good;
        pixels[bad] = 20;
        auto image = MakePicture(3000, 1, pixels, 16, gcLZW);
        rtl::TMemoryStream stream;
        EXPECT_THROW(image->GetImages().GetImage(0)->Compress(stream), GIFException);
        Bytes written;
        const Bytes& data = stream.Bytes();
        for (size_t pos = 1; pos < data.size(); pos += data[pos] + 1u)
            written.insert(written.end(), data.begin() + static_cast<long>(pos) + 1,
                           data.begin() + static_cast<long>(pos + data[pos]) + 1);
        CodeStream codes = ReferenceLZW(Bytes(good.begin(), good.begin() + static_cast<long>(bad)), 4);
        codes.codes.pop_back();                  // the end code
        if (bad > 0) codes.codes.pop_back();     // the open string
        BitPacker packer;
        int bits = 0;
        for (auto [code, width] : codes.codes) {
            packer.Put(code, width);
            bits += width;
        }
        const Bytes expected(packer.Data().begin(), packer.Data().begin() + bits / 8);
        EXPECT_EQ(written, expected) << "bad pixel at " << bad;
    }
}

TEST(Encoder, RoundTripsEveryKindOfImage) {
    struct Case {
        const char* name;
        int width, height, colors;
        Bytes pixels;
        bool interlaced;
    };
    std::vector<Case> cases = {
        {"one colour, long", 500, 400, 256, Bytes(500 * 400, 7), false},
        {"noise 256", 300, 200, 256, NoisePixels(300 * 200, 256, 3), false},
        {"noise 2", 333, 77, 2, NoisePixels(333 * 77, 2, 4), false},
        {"noise 5", 100, 100, 5, NoisePixels(100 * 100, 5, 5), true},
        {"single pixel", 1, 1, 2, Bytes{1}, false},
        {"interlaced 2", 7, 2, 16, NoisePixels(14, 16, 6), true},
        {"interlaced 3", 7, 3, 16, NoisePixels(21, 16, 7), true},
        {"interlaced 4", 7, 4, 16, NoisePixels(28, 16, 8), true},
        {"interlaced 13", 9, 13, 16, NoisePixels(9 * 13, 16, 9), true},
    };
    Bytes stripes(256 * 256);
    for (size_t i = 0; i < stripes.size(); ++i) stripes[i] = static_cast<uint8_t>((i / 256 / 8 + i % 256 / 32) % 3);
    cases.push_back({"stripes", 256, 256, 3, stripes, false});
    Bytes runs(400 * 300);
    for (size_t i = 0; i < runs.size(); ++i) runs[i] = static_cast<uint8_t>(i * 7 / 3000 % 200);
    cases.push_back({"long runs", 400, 300, 200, runs, false});
    for (const Case& c : cases) {
        for (TGIFCompression compression : {gcLZW, gcRLE}) {
            auto image = MakePicture(c.width, c.height, c.pixels, c.colors, compression, c.interlaced);
            EXPECT_EQ(RoundTrip(*image), c.pixels) << c.name << (compression == gcRLE ? " RLE" : " LZW");
            // Every sub-block but the last is full, and none is empty.
            const std::vector<int> sizes = SubBlockSizes(Compressed(*image));
            ASSERT_FALSE(sizes.empty());
            EXPECT_EQ(sizes.back(), 0);
            for (size_t i = 0; i + 2 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 255) << c.name;
            if (sizes.size() >= 2) {
                EXPECT_NE(sizes[sizes.size() - 2], 0);
            }
        }
    }
}

TEST(Encoder, LzwStartsWithClearAndClearsBeforeTheTableOverflows) {
    // Noise at 8 bits fills the table quickly: the decoder must see clear
    // codes at 12 bits, never a code that is beyond the table it built.
    auto image = MakePicture(256, 256, NoisePixels(256 * 256, 256, 11), 256, gcLZW);
    const Bytes data = Compressed(*image);
    Bytes codes;
    for (size_t pos = 1; pos < data.size() && data[pos] != 0; pos += data[pos] + 1u)
        codes.insert(codes.end(), data.begin() + static_cast<long>(pos) + 1,
                      data.begin() + static_cast<long>(pos + data[pos]) + 1);
    // Walk the codes with the decoder's own width rule.
    size_t bit = 0;
    auto read = [&](int width) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= (codes[bit / 8] >> (bit % 8) & 1) << i;
        return code;
    };
    int width = 9, next = 258, clears = 0;
    bool first = true;
    EXPECT_EQ(read(width), 256);
    for (;;) {
        const int code = read(width);
        if (code == 257) break;
        if (code == 256) {
            ++clears;
            width = 9;
            next = 258;
            first = true;
            continue;
        }
        ASSERT_LE(code, next) << "code beyond the table";
        if (!first && next < 4096) {
            ++next;
            if (next >= (1 << width) && width < 12) ++width;
        }
        first = false;
    }
    EXPECT_GE(clears, 2);
}
