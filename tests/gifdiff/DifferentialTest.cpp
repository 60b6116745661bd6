// The unit's decoder against two independent decoders, giflib and
// ImageMagick, on pictures giflib wrote and on crafted streams, compared
// index by index.  Where a damaged stream has no single right answer, the
// unit must report an error or a warning, keep to what giflib could decode,
// and never crash.
#include <gtest/gtest.h>

#include "Compare.h"
#include "Corpus.h"
#include "CraftedStream.h"
#include "GifUnitBridge.h"
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

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "; ";
    return s;
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

    gifbridge::Loaded ours = gifbridge::Load(file);
    ASSERT_TRUE(ours.Ok) << ours.Error;
    EXPECT_EQ(Joined(ours.Warnings), "");
    EXPECT_EQ(DiffPictures(image, ours.Image), "");
    EXPECT_EQ(ours.Position, int64_t(file.size()));
}

TEST_P(GeneratedCorpusTest, WhatTheEncodersWriteGiflibDecodesToTheSameIndices) {
    const Picture& image = GetParam().Image;
    for (bool rle : {false, true}) {
        SCOPED_TRACE(rle ? "RLE" : "LZW");
        const std::vector<uint8_t> saved = gifbridge::Save(image, rle);
        GiflibResult g = GiflibDecode(saved);
        ASSERT_TRUE(g.Ok) << g.Error;
        EXPECT_EQ(DiffPictures(image, g.Image), "");
    }
}

TEST_P(GeneratedCorpusTest, LoadingAndSavingAgainGivesTheSameBytes) {
    const std::vector<uint8_t> first = gifbridge::Save(GetParam().Image);
    gifbridge::Loaded loaded = gifbridge::Load(first);
    ASSERT_TRUE(loaded.Ok) << loaded.Error;
    auto image = gifbridge::Build(loaded.Image);
    EXPECT_EQ(gifbridge::Save(*image), first);

    // The same through one picture object: load giflib's file, save twice.
    gif::TGIFImage picture;
    const std::vector<uint8_t> file = GiflibEncode(GetParam().Image);
    rtl::TMemoryStream in(file);
    picture.LoadFromStream(in);
    const std::vector<uint8_t> once = gifbridge::Save(picture);
    EXPECT_EQ(gifbridge::Save(picture), once);
    GiflibResult g = GiflibDecode(once);
    ASSERT_TRUE(g.Ok) << g.Error;
    EXPECT_EQ(DiffPictures(GetParam().Image, g.Image), "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedCorpusTest, ::testing::ValuesIn(GeneratedCorpus()),
                         CaseName<GeneratedCase>);

TEST(LzwEncoder, WritesTheSameImageDataAsGiflib) {
    // Both are plain LZW with a clear code as the next free code would pass
    // 4094 and the early width change, so the bytes must agree exactly: a
    // string missed in the table, a clear at another point or a byte held
    // back shows up here.
    enum Kind { kPhoto, kLines, kNoise, kFlat };
    for (int bits : {1, 2, 4, 8})
        for (Kind kind : {kPhoto, kLines, kNoise, kFlat})
            for (bool interlaced : {false, true})
                for (auto [width, height] : {std::pair{7, 5}, std::pair{333, 200}}) {
                    const int colors = 1 << bits;
                    std::vector<uint8_t> indices;
                    switch (kind) {
                    case kPhoto: indices = PhotoLike(width, height, colors, 1); break;
                    case kLines: indices = LineArt(width, height, colors, 2); break;
                    case kNoise: indices = Noise(width, height, colors, 3); break;
                    case kFlat: indices.assign(size_t(width) * size_t(height), uint8_t(colors - 1)); break;
                    }
                    gifbridge::Encoder ours(indices, width, height, bits, false);
                    ours.Image->GetImages().GetImage(0)->SetInterlaced(interlaced);
                    EXPECT_EQ(ours.Run(), GiflibEncodeImageData(indices, width, height, bits, interlaced))
                        << "bits " << bits << " kind " << kind << " interlaced " << interlaced << " " << width << "x"
                        << height;
                }
}

class CraftedStreamTest : public ::testing::TestWithParam<CraftedCase> {};

// Rows that giflib delivered must be the same in ours.
std::string DiffDeliveredRows(const GiflibResult& g, const Picture& ours) {
    for (size_t i = 0; i < g.Image.Frames.size() && i < ours.Frames.size(); ++i) {
        const Frame &a = g.Image.Frames[i], &b = ours.Frames[i];
        if (a.Width != b.Width || a.Height != b.Height || b.Indices.size() != a.Indices.size()) continue;
        for (int y = 0; y < a.Height; ++y) {
            if (!g.RowsDone[i][size_t(y)]) continue;
            for (int x = 0; x < a.Width; ++x) {
                size_t k = size_t(y) * size_t(a.Width) + size_t(x);
                if (a.Indices[k] != b.Indices[k])
                    return "frame " + std::to_string(i) + " row " + std::to_string(y) + " differs from giflib's";
            }
        }
    }
    return {};
}

TEST_P(CraftedStreamTest, DecodersAgreeWhereTheStreamDefinesTheResult) {
    const CraftedCase& c = GetParam();
    GiflibResult g = GiflibDecode(c.Bytes);
    gifbridge::Loaded ours = gifbridge::Load(c.Bytes);
    switch (c.Kind) {
    case Damage::None: {
        ASSERT_TRUE(g.Ok) << g.Error;
        EXPECT_EQ(DiffPictures(c.Expected, g.Image), "");
        if (c.ImageMagickReads) {
            ImageMagickResult im = ImageMagickDecode(c.Bytes);
            ASSERT_TRUE(im.Ok) << im.Error;
            EXPECT_EQ(DiffAgainstRgba(c.Expected, im.Frames), "");
        }
        ASSERT_TRUE(ours.Ok) << ours.Error;
        EXPECT_EQ(Joined(ours.Warnings), "");
        EXPECT_EQ(DiffPictures(c.Expected, ours.Image), "");
        EXPECT_EQ(ours.Position, int64_t(c.Bytes.size()));
        break;
    }
    case Damage::Lenient: {
        ASSERT_TRUE(ours.Ok) << ours.Error;
        ASSERT_EQ(ours.Image.Frames.size(), c.Expected.Frames.size());
        for (size_t i = 0; i < c.Expected.Frames.size(); ++i)
            EXPECT_EQ(DiffFrame(c.Expected.Frames[i], ours.Image.Frames[i]), "") << "frame " << i;
        break;
    }
    case Damage::Malformed: {
        const bool reported = !ours.Ok || !ours.Warnings.empty();
        if (c.MustReport) {
            EXPECT_TRUE(reported) << "damage passed without an error or a warning";
        }
        if (!ours.Ok) {
            EXPECT_NE(ours.Error, "");
            EXPECT_EQ(ours.Position, 0) << "a failed load leaves the stream where it began";
        }
        if (c.Cut && !reported) {
            // Loaded without a word: what came through must be whole.
            std::string diff;
            if (ours.Image.Frames.size() > c.Expected.Frames.size()) diff = "more frames than the file had";
            for (size_t i = 0; diff.empty() && i < ours.Image.Frames.size(); ++i)
                if (auto d = DiffFrame(c.Expected.Frames[i], ours.Image.Frames[i]); !d.empty())
                    diff = "frame " + std::to_string(i) + " changed without a warning: " + d;
            EXPECT_EQ(diff, "");
        }
        if (c.GiflibDefines) {
            EXPECT_EQ(DiffDeliveredRows(g, ours.Image), "") << ours.Error << " / " << Joined(ours.Warnings);
        }
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Crafted, CraftedStreamTest, ::testing::ValuesIn(CraftedCorpus()), CaseName<CraftedCase>);

}  // namespace
}  // namespace giforacle
