// Shared routines of the unit: bit counts, scanline sizes, exact reads and
// text carried as data sub-blocks.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

TEST(Foundations, ColorCountToBits) {
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {9, 4}, {129, 8}, {256, 8}, {257, 9}};
    for (auto [count, bits] : cases) EXPECT_EQ(ColorCountToBits(count), bits) << count;
}

TEST(Foundations, ScanlineBytesPadsToTheAlignment) {
    struct Case {
        int width, bits, bytes;
    };
    const Case cases[] = {{1, 1, 4}, {8, 8, 8}, {9, 8, 12}, {3, 24, 12}, {0, 8, 0}, {33, 1, 8}};
    for (const Case& c : cases) EXPECT_EQ(ScanlineBytes(c.width, c.bits, 32), c.bytes) << c.width << "x" << c.bits;
}

TEST(Foundations, ReadExactRaisesOnAShortStream) {
    rtl::TMemoryStream stream = StreamOf({1, 2, 3, 4, 5});
    uint8_t buffer[6];
    ExpectGIFError([&] { ReadExact(stream, buffer, 6); }, "Premature end of data");
    // At the end a single byte reads as the terminator.
    EXPECT_EQ(ReadByteFromStream(stream), 0);
}

TEST(Foundations, TextAsSubBlocks) {
    struct Case {
        std::vector<std::string> lines;
        Bytes bytes;
    };
    const std::string long300(300, 'x');
    Bytes long300Bytes{255};
    long300Bytes.insert(long300Bytes.end(), 255, 'x');
    long300Bytes.push_back(45);
    long300Bytes.insert(long300Bytes.end(), 45, 'x');
    long300Bytes.push_back(0);
    const Case cases[] = {
        {{"abc", ""}, {3, 'a', 'b', 'c', 0}},
        {{}, {0}},
        {{long300}, long300Bytes},
    };
    for (const Case& c : cases) {
        rtl::TMemoryStream stream;
        WriteTextAsSubBlocks(stream, c.lines);
        EXPECT_EQ(stream.Bytes(), c.bytes);
    }
    // Every sub-block reads back as one string.
    rtl::TMemoryStream stream = StreamOf(long300Bytes);
    std::vector<std::string> lines{"old"};
    ReadSubBlocksAsText(stream, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x')}));
}

TEST(Foundations, SubBlocksCutShort) {
    std::vector<std::string> lines;
    rtl::TMemoryStream empty = StreamOf({0, 7});
    ReadSubBlocksAsText(empty, lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(empty.GetPosition(), 1);
    // Ends among the sizes: no error.
    rtl::TMemoryStream endsBetween = StreamOf({2, 'h', 'i'});
    ReadSubBlocksAsText(endsBetween, lines);
    EXPECT_EQ(lines, std::vector<std::string>{"hi"});
    // Ends inside a sub-block's data: error.
    rtl::TMemoryStream endsInside = StreamOf({4, 'h', 'i'});
    EXPECT_THROW(ReadSubBlocksAsText(endsInside, lines), GIFException);
}

TEST(Foundations, WebPalette) {
    const std::vector<TPaletteEntry> entries = WebPaletteEntries();
    ASSERT_EQ(entries.size(), 216u);
    EXPECT_EQ(entries[0], (TPaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(entries[1], (TPaletteEntry{0, 0, 51, 0}));
    EXPECT_EQ(entries[36], (TPaletteEntry{51, 0, 0, 0}));
    EXPECT_EQ(entries[215], (TPaletteEntry{255, 255, 255, 0}));
}

// An option value past a set's bits has no bit in it (a shift that far
// would be undefined).
TEST(Foundations, OptionPastTheSetHasNoBit) {
    for (const int value : {16, 31, 32, 200}) {
        const volatile uint8_t past = static_cast<uint8_t>(value);
        EXPECT_EQ(DrawOption(static_cast<TGIFDrawOption>(past)), 0) << value;
        EXPECT_EQ(OptimizeOption(static_cast<TGIFOptimizeOption>(past)), 0) << value;
    }
    EXPECT_EQ(DrawOption(goAutoDither), 0x400);
    EXPECT_EQ(OptimizeOption(ooReduceColors), 0x10);
}

TEST(Foundations, DefaultsAndMessages) {
    EXPECT_EQ(GIFImageDefaultDrawOptions, 0x068F);
    EXPECT_STREQ(_sDecodeCircular.Text, "Circular decoder table entry");
    EXPECT_EQ(_sDecodeCircular.Id, 65532);
    const TGIFDrawOptions saved = GIFImageDefaultDrawOptions;
    Register();
    EXPECT_EQ(GIFImageDefaultDrawOptions, 0x0687);
    GIFImageDefaultDrawOptions = saved;
}
