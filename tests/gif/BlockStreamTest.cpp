// The block stream: frames up to the trailer, bytes between blocks, and
// streams that are bent or cut.  A bad file gives the unit's error or a
// warning, never more.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

struct Result {
    int frames = 0;
    std::vector<std::string> warnings;
    std::string error;
    int64_t position = 0;
};

Result Load(const Bytes& bytes) {
    Result result;
    TGIFImage image;
    WarningLog log;
    log.Attach(image);
    rtl::TMemoryStream stream = StreamOf(bytes);
    try {
        image.LoadFromStream(stream);
    } catch (const GIFException& e) {
        result.error = e.what();
    }
    result.frames = image.GetImages().GetCount();
    result.warnings = log.Messages();
    result.position = stream.GetPosition();
    return result;
}

Bytes Frame(int width = 4, int height = 2) {
    return Concat({Descriptor(0, 0, width, height), ImageData(ReferenceLZW(NoisePixels(static_cast<size_t>(width * height), 4), 2))});
}

}  // namespace

TEST(BlockStream, FramesWarningsAndErrors) {
    struct Case {
        const char* name;
        Bytes bytes;
        int frames;
        std::vector<std::string> warnings;
        std::string error;
    };
    const Bytes head = Header(4, 2, 4);
    const Case cases[] = {
        {"header and trailer", Concat({head, {0x3B}}), 0, {}, ""},
        {"header only", head, 0, {}, ""},
        {"zero bytes between frames", Concat({head, Frame(), {0, 0}, Frame(), {0, 0x3B}}), 2, {}, ""},
        {"unknown block after a frame", Concat({head, Frame(), {0x2A, 0x3B}}), 1,
         {"Unknown GIF block type", "Invalid Image trailer"}, ""},
        {"comment before the trailer", Concat({head, Frame(), {0x21, 0xFE, 0x01, 'x', 0x00, 0x3B}}), 2, {}, ""},
        {"no trailer", Concat({head, Frame()}), 1, {}, ""},
        // The extension list stops at garbage; no descriptor is read from it.
        {"garbage after an extension", Concat({head, {0x21, 0xFE, 0x00, 0x77}, Frame(), {0x3B}}), 1,
         {"Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"}, ""},
        {"cut in a descriptor", Concat({head, {0x2C, 0, 0, 0}}), 0, {}, "Premature end of data"},
        {"cut in the screen", Bytes(head.begin(), head.begin() + 9), 0, {}, "Premature end of data"},
        {"cut in the global table", Bytes(head.begin(), head.begin() + 15), 0, {}, "Premature end of data"},
        {"cut in a comment", Concat({head, {0x21, 0xFE, 0x05, 'a'}}), 0, {}, "Premature end of data"},
        // Cut right after the descriptor: a frame of the fill value, said nothing of.
        {"cut before the code size", Concat({head, Descriptor(0, 0, 4, 2)}), 1, {}, ""},
        {"bad signature", Text("GIT89a1234567"), 0, {}, "Invalid GIF signature"},
        {"empty", {}, 0, {}, "Premature end of data"},
    };
    for (const Case& c : cases) {
        const Result result = Load(c.bytes);
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_EQ(result.frames, c.frames) << c.name;
        EXPECT_EQ(result.warnings, c.warnings) << c.name;
        if (!c.error.empty()) {
            EXPECT_EQ(result.position, 0) << c.name;
        }
    }
}

TEST(BlockStream, LoadProgressFollowsTheStreamPosition) {
    const Bytes gif = Concat({Header(4, 2, 4), Frame(), Frame(), Frame(), {0x3B}});
    TGIFImage image;
    std::vector<int> percents;
    image.SetOnProgress([&](TObject*, TProgressStage stage, uint8_t percent, bool, const TRect&, const std::string& message) {
        EXPECT_EQ(message, "Loading...");
        if (stage == psRunning) percents.push_back(percent);
    });
    rtl::TMemoryStream stream = StreamOf(gif);
    image.LoadFromStream(stream);
    const int64_t frame = static_cast<int64_t>(Frame().size());
    const int64_t size = static_cast<int64_t>(gif.size());
    std::vector<int> expected;
    for (int i = 1; i <= 3; ++i) expected.push_back(static_cast<int>((((13 + 12) + i * frame) * 100 + size / 2) / size));
    EXPECT_EQ(percents, expected);
}

TEST(BlockStream, MutatedStreamsNeverCrash) {
    // Every single-byte change and every cut of a small animation either
    // loads or fails with the unit's own error.
    const Bytes gif = Concat({Header(8, 8, 16),
                              {0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x00, 0x00, 0x00},
                              {0x21, 0xF9, 0x04, 0x05, 0x01, 0x00, 0x03, 0x00},
                              Descriptor(0, 0, 8, 8, 0x40), ImageData(ReferenceLZW(NoisePixels(64, 16, 4), 4), {5}),
                              {0x21, 0x01, 0x0C, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 1, 0x01, 'T', 0x00},
                              Descriptor(2, 2, 3, 3, 0x81), ColorTable(4),
                              ImageData(ReferenceLZW(NoisePixels(9, 4, 5), 2)), {0x3B}});
    const uint64_t saved = GIFImageMaxFramePixels;
    GIFImageMaxFramePixels = 1 << 20;
    for (size_t i = 0; i < gif.size(); ++i) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(gif[i] ^ 0x10), uint8_t{0x2C}}) {
            Bytes mutated = gif;
            mutated[i] = value;
            TGIFImage image;
            rtl::TMemoryStream stream = StreamOf(mutated);
            try {
                image.LoadFromStream(stream);
                rtl::TMemoryStream out;
                image.SaveToStream(out);
            } catch (const GIFException&) {
            }
        }
        TGIFImage image;
        rtl::TMemoryStream cut = StreamOf(Bytes(gif.begin(), gif.begin() + static_cast<long>(i)));
        try {
            image.LoadFromStream(cut);
        } catch (const GIFException&) {
        }
    }
    GIFImageMaxFramePixels = saved;
}
