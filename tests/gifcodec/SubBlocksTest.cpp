// The sub-block walk over a buffer: how a run ends, what it still needs
// when the buffer ends first, and packing bytes into blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gif/codec/SubBlocks.h"

using namespace gif::codec;
using Bytes = std::vector<uint8_t>;

namespace {

struct Walk {
    std::vector<Bytes> blocks;
    SubBlockEnd end;
    size_t consumed;
    size_t missing;
    Bytes rest;
};

Walk WalkAll(const Bytes& bytes) {
    SubBlockReader reader(bytes);
    Walk walk;
    std::span<const uint8_t> data;
    while (reader.Next(data)) walk.blocks.emplace_back(data.begin(), data.end());
    walk.end = reader.End();
    walk.consumed = reader.Consumed();
    walk.missing = reader.Missing();
    walk.rest.assign(reader.Rest().begin(), reader.Rest().end());
    return walk;
}

}  // namespace

TEST(SubBlockReader, EndsOfARun) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<Bytes> blocks;
        SubBlockEnd end;
        size_t consumed, missing;
        Bytes rest;
    };
    const Case cases[] = {
        {"terminator at once", {0, 9, 9}, {}, SubBlockEnd::Terminator, 1, 0, {}},
        {"two blocks, bytes after the terminator untouched", {2, 'a', 'b', 1, 'c', 0, 7}, {{'a', 'b'}, {'c'}},
         SubBlockEnd::Terminator, 6, 0, {}},
        {"empty buffer", {}, {}, SubBlockEnd::Open, 0, 1, {}},
        {"ends where a size byte should come", {1, 'x'}, {{'x'}}, SubBlockEnd::Open, 2, 1, {}},
        {"ends inside a block", {1, 'x', 5, 'a', 'b'}, {{'x'}}, SubBlockEnd::Cut, 5, 4, {'a', 'b'}},
        {"ends after a size byte", {255}, {}, SubBlockEnd::Cut, 1, 256, {}},
    };
    for (const Case& c : cases) {
        const Walk walk = WalkAll(c.bytes);
        EXPECT_EQ(walk.blocks, c.blocks) << c.name;
        EXPECT_EQ(walk.end, c.end) << c.name;
        EXPECT_EQ(walk.consumed, c.consumed) << c.name;
        EXPECT_EQ(walk.missing, c.missing) << c.name;
        EXPECT_EQ(walk.rest, c.rest) << c.name;
    }
}

TEST(SubBlockReader, ExtendedByWhatItIsMissingReachesTheTerminatorAndNoFurther) {
    // Fed only what it asks for, as a stream reader feeds it, the walk takes
    // every byte of the run and stops on the terminator.
    const Bytes run{3, 'a', 'b', 'c', 1, 'd', 0, 0x3B, 0x3B};
    Bytes fed;
    SubBlockReader reader;
    std::vector<Bytes> blocks;
    for (int steps = 0; steps < 10; ++steps) {
        std::span<const uint8_t> data;
        while (reader.Next(data)) blocks.emplace_back(data.begin(), data.end());
        const size_t missing = reader.Missing();
        if (missing == 0) break;
        fed.insert(fed.end(), run.begin() + static_cast<long>(fed.size()),
                   run.begin() + static_cast<long>(fed.size() + missing));
        reader.Extend(fed);
    }
    EXPECT_EQ(reader.End(), SubBlockEnd::Terminator);
    EXPECT_EQ(fed, Bytes(run.begin(), run.begin() + 7));
    EXPECT_EQ(reader.Consumed(), 7u);
    EXPECT_EQ(blocks, (std::vector<Bytes>{{'a', 'b', 'c'}, {'d'}}));
}

TEST(SubBlockWriter, BlocksOfAtMost255AndNeverAnEmptyOne) {
    Bytes out;
    SubBlockWriter writer(out);
    writer.EndBlock();  // nothing pending: nothing written
    const Bytes long300(300, 'x');
    writer.Write(long300);
    writer.EndBlock();
    writer.Write(Bytes{'a', 'b', 'c'});
    writer.WriteByte('d');
    writer.WriteBytes(0x0000000000676665ull, 3);  // 'e', 'f', 'g'
    writer.Terminate();
    Bytes expected{255};
    expected.insert(expected.end(), 255, 'x');
    expected.push_back(45);
    expected.insert(expected.end(), 45, 'x');
    expected.insert(expected.end(), {7, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 0});
    EXPECT_EQ(out, expected);
}

TEST(SubBlockWriter, WordsAcrossABlockBoundarySpillIntoTheNextBlock) {
    Bytes out;
    SubBlockWriter writer(out);
    for (int i = 0; i < 100; ++i) {
        uint64_t word = 0;
        for (int k = 7; k >= 0; --k) word = word << 8 | uint8_t(8 * i + k);
        writer.WriteBytes(word, 8);
    }
    writer.Terminate();
    Walk walk = WalkAll(out);
    ASSERT_EQ(walk.end, SubBlockEnd::Terminator);
    ASSERT_EQ(walk.blocks.size(), 4u);
    Bytes data;
    for (const Bytes& block : walk.blocks) data.insert(data.end(), block.begin(), block.end());
    ASSERT_EQ(data.size(), 800u);
    for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], uint8_t(i)) << i;
    EXPECT_EQ(walk.blocks[0].size(), 255u);
    EXPECT_EQ(walk.blocks[3].size(), 800u - 3 * 255);
}
