// The signature, the logical screen and the global table.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

// Loads a header from bytes into a fresh picture's header.
struct HeaderLoad {
    TGIFImage image;
    std::string error;
    int64_t position = 0;
};

std::unique_ptr<HeaderLoad> LoadHeader(const Bytes& bytes) {
    auto result = std::make_unique<HeaderLoad>();
    rtl::TMemoryStream stream = StreamOf(bytes);
    try {
        result->image.GetHeader().LoadFromStream(stream);
    } catch (const GIFException& e) {
        result->error = e.what();
    }
    result->position = stream.GetPosition();
    return result;
}

}  // namespace

TEST(Header, SignatureAcceptedInAnyCaseAndAfterAFourBytePrefix) {
    const Bytes screen{10, 0, 5, 0, 0, 0, 0};
    struct Case {
        Bytes prefix;
        std::string signature;
        std::string error;
    };
    const Case cases[] = {
        {{}, "GIF89a", ""},
        {{}, "gif87a", ""},
        {{}, "GIFxyz", ""},
        {{1, 2, 3, 4}, "GIF89a", ""},
        {{1, 2, 3}, "GIF89a", "Invalid GIF signature"},
        {{1, 2, 3, 4, 5}, "GIF89a", "Invalid GIF signature"},
        {{}, "PNG89a", "Invalid GIF signature"},
    };
    for (const Case& c : cases) {
        auto loaded = LoadHeader(Concat({c.prefix, Text(c.signature), screen}));
        EXPECT_EQ(loaded->error, c.error) << c.signature << " after " << c.prefix.size();
        if (c.error.empty()) {
            EXPECT_EQ(loaded->image.GetHeader().GetWidth(), 10);
        }
    }
    EXPECT_EQ(LoadHeader(Text("GIF89a\x0a"))->error, "Premature end of data");
}

TEST(Header, GlobalTableSizeFromTheFlags) {
    const std::pair<uint8_t, int> cases[] = {{0x80, 2}, {0x87, 256}, {0x83, 16}, {0x07, 0}};
    for (auto [flags, entries] : cases) {
        Bytes bytes = Concat({Text("GIF89a"), {1, 0, 1, 0, flags, 0, 0}});
        bytes.resize(bytes.size() + 768, 0x11);
        auto loaded = LoadHeader(bytes);
        EXPECT_EQ(loaded->image.GetGlobalColorMap().GetCount(), entries) << int(flags);
        EXPECT_EQ(loaded->position, 13 + 3 * entries);
    }
}

TEST(Header, SaveWritesTheTableItHolds) {
    // 16 global colours and a frame with a 256-colour local table: the size
    // field describes the global table (3), which is written with 16 entries.
    TGIFImage image;
    for (int i = 0; i < 16; ++i) image.GetGlobalColorMap().Add(static_cast<TColor>(i));
    auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    for (int i = 0; i < 256; ++i) frame->GetColorMap().Add(static_cast<TColor>(i << 8));
    frame->DoSetBounds(0, 0, 2, 2);
    const Bytes saved = SaveBytes(image);
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 6), Text("GIF87a"));
    EXPECT_EQ(saved[10], 0x80 | 0x70 | 3);
    EXPECT_EQ(saved[13 + 48], 0x2C);
}

TEST(Header, VersionFollowsSortFlagAndAspectRatio) {
    TGIFImage image;
    auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    frame->GetColorMap().Add(0);
    frame->DoSetBounds(0, 0, 1, 1);
    EXPECT_EQ(image.GetHeader().GetVersion(), gv87a);
    image.SetAspectRatio(49);
    EXPECT_EQ(image.GetHeader().GetVersion(), gv89a);
    // The picture's version comes from its frames.
    const Bytes plain = SaveBytes(image);
    EXPECT_EQ(Bytes(plain.begin() + 3, plain.begin() + 6), Text("87a"));
    frame->GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
    const Bytes saved = SaveBytes(image);
    EXPECT_EQ(Bytes(saved.begin() + 3, saved.begin() + 6), Text("89a"));

    // An extension of the caller's own class may report a version the
    // format does not know: there is no signature for it to write.
    struct LaterComment : TGIFCommentExtension {
        TGIFVersion GetVersion() const override { return static_cast<TGIFVersion>(42); }
    };
    TGIFImage later;
    auto* laterFrame = &later.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    laterFrame->GetColorMap().Add(0);
    laterFrame->DoSetBounds(0, 0, 1, 1);
    laterFrame->GetExtensions().Adopt(std::make_unique<LaterComment>());
    rtl::TMemoryStream stream;
    ExpectGIFError([&] { later.SaveToStream(stream); }, "Unsupported GIF version");
    EXPECT_EQ(stream.GetSize(), 0);
}

TEST(Header, BackgroundIndexOutsideTheTableWarns) {
    TGIFImage image;
    WarningLog log;
    log.Attach(image);
    image.SetBackgroundColorIndex(40);
    EXPECT_EQ(image.GetBackgroundColorIndex(), 40);
    image.GetGlobalColorMap().Add(0x0000FF);
    image.SetBackgroundColorIndex(1);
    EXPECT_EQ(image.GetBackgroundColorIndex(), 0);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Invalid color index"});
    image.SetBackgroundColor(0x00FF00);
    EXPECT_EQ(image.GetBackgroundColorIndex(), 1);
    EXPECT_EQ(image.GetBackgroundColor(), 0x00FF00u);
}
