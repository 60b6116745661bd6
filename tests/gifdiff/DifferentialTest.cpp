// Our decoder against two independent decoders, giflib and ImageMagick, on
// pictures giflib wrote and on crafted streams, compared index by index.
#include <gtest/gtest.h>

#include "Compare.h"
#include "Corpus.h"
#include "CraftedStream.h"
#include "GiflibOracle.h"
#include "ImageMagickOracle.h"

namespace giforacle {

// Case names instead of byte dumps in failure messages.
void PrintTo(const GeneratedCase& c, std::ostream* os) { *os << c.Name; }
void PrintTo(const CraftedCase& c, std::ostream* os) { *os << c.Name; }

namespace {

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.Name;
}

class GeneratedCorpusTest : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedCorpusTest, AllDecodersGiveTheWrittenIndices) {
    const Picture& image = GetParam().Image;
    const std::vector<uint8_t> file = GiflibEncode(image);

    GiflibResult g = GiflibDecode(file);
    ASSERT_TRUE(g.Ok) << g.Error;
    EXPECT_EQ(DiffPictures(image, g.Image), "");

    ImageMagickResult im = ImageMagickDecode(file);
    ASSERT_TRUE(im.Ok) << im.Error;
    EXPECT_EQ(DiffAgainstRgba(image, im.Frames), "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedCorpusTest, ::testing::ValuesIn(GeneratedCorpus()),
                         CaseName<GeneratedCase>);

class CraftedStreamTest : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedStreamTest, DecodersAgreeWhereTheStreamDefinesTheResult) {
    const CraftedCase& c = GetParam();
    GiflibResult g = GiflibDecode(c.Bytes);
    if (c.Kind == Damage::None) {
        ASSERT_TRUE(g.Ok) << g.Error;
        EXPECT_EQ(DiffPictures(c.Expected, g.Image), "");
        if (c.ImageMagickReads) {
            ImageMagickResult im = ImageMagickDecode(c.Bytes);
            ASSERT_TRUE(im.Ok) << im.Error;
            EXPECT_EQ(DiffAgainstRgba(c.Expected, im.Frames), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Crafted, CraftedStreamTest, ::testing::ValuesIn(CraftedCorpus()), CaseName<CraftedCase>);

}  // namespace
}  // namespace giforacle
