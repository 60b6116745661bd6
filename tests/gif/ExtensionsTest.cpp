// Extension blocks: their bytes, the registries, and blocks that are bent.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

// Extensions hang on the picture's one frame.
struct Fixture : OneFramePicture {
    // Loads the frame's extensions from bytes; returns the error text.
    std::string LoadExtensions(const Bytes& bytes, int64_t* position = nullptr) {
        rtl::TMemoryStream stream = StreamOf(bytes);
        std::string error;
        try {
            frame->GetExtensions().LoadFromStream(stream, frame);
        } catch (const GIFException& e) {
            error = e.what();
        }
        if (position != nullptr) *position = stream.GetPosition();
        return error;
    }
    Bytes SaveExtensions() {
        rtl::TMemoryStream stream;
        frame->GetExtensions().SaveToStream(stream);
        return stream.Bytes();
    }
};

}  // namespace

TEST(Extensions, GraphicControlFields) {
    struct Case {
        uint8_t flags;
        bool transparent;
        TDisposalMethod disposal;
    };
    const Case cases[] = {{0x09, true, dmBackground}, {0x05, true, dmNoDisposal}, {0x0C, false, dmPrevious}};
    for (const Case& c : cases) {
        Fixture f;
        const Bytes bytes{0x21, 0xF9, 0x04, c.flags, 0x0A, 0x00, 0x03, 0x00};
        EXPECT_EQ(f.LoadExtensions(Concat({bytes, {0x2C}})), "");
        auto* gce = f.frame->GetGraphicControlExtension();
        ASSERT_NE(gce, nullptr);
        EXPECT_EQ(gce->GetTransparent(), c.transparent);
        EXPECT_EQ(f.frame->GetTransparent(), c.transparent);
        EXPECT_EQ(gce->GetDisposal(), c.disposal);
        EXPECT_EQ(gce->GetDelay(), 10);
        EXPECT_EQ(gce->GetTransparentColorIndex(), 3);
        EXPECT_FALSE(gce->GetUserInput());
        EXPECT_EQ(f.SaveExtensions(), bytes);
    }
    Fixture f;
    auto* gce = &f.frame->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
    gce->SetTransparent(true);
    gce->SetDisposal(dmPrevious);
    EXPECT_EQ(gce->GetPackedFields(), 0x0D);
}

TEST(Extensions, GraphicControlBlockSizeIsHonoured) {
    // A block of 6 bytes instead of 4, and a stray sub-block before the
    // terminator: the comment after it still reads as a comment.
    Fixture f;
    const Bytes bytes = Concat({{0x21, 0xF9, 0x06, 0x01, 0x02, 0x00, 0x07, 0xEE, 0xEE, 0x01, 0x55, 0x00},
                                {0x21, 0xFE, 0x02, 'o', 'k', 0x00}, {0x3B}});
    int64_t position = 0;
    EXPECT_EQ(f.LoadExtensions(bytes, &position), "");
    EXPECT_EQ(position, static_cast<int64_t>(bytes.size()) - 1);
    ASSERT_EQ(f.frame->GetExtensions().GetCount(), 2);
    EXPECT_EQ(f.frame->GetGraphicControlExtension()->GetTransparentColorIndex(), 7);
    EXPECT_EQ(f.frame->GetGraphicControlExtension()->GetDelay(), 2);
    auto* comment = dynamic_cast<TGIFCommentExtension*>(f.frame->GetExtensions().GetExtension(1));
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->GetText(), std::vector<std::string>{"ok"});
    // Written back in the standard layout.
    const Bytes saved = f.SaveExtensions();
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 8),
              (Bytes{0x21, 0xF9, 0x04, 0x01, 0x02, 0x00, 0x07, 0x00}));
}

TEST(Extensions, GraphicControlCutShortWarnsAndKeepsTheExtension) {
    // Cut inside the fields, and cut before the terminator.
    for (const Bytes& bytes : {Bytes{0x21, 0xF9, 0x04, 0x01, 0x0A}, Bytes{0x21, 0xF9, 0x04, 0x01, 0x0A, 0x00, 0x02}}) {
        Fixture f;
        EXPECT_EQ(f.LoadExtensions(bytes), "");
        ASSERT_EQ(f.frame->GetExtensions().GetCount(), 1);
        EXPECT_FALSE(f.frame->GetTransparent());
        EXPECT_EQ(f.log.Messages(), std::vector<std::string>{"Premature end of data"});
    }
}

TEST(Extensions, CommentSubBlocksRoundTrip) {
    Fixture f;
    Bytes bytes{0x21, 0xFE};
    for (int size : {255, 255, 10}) {
        bytes.push_back(static_cast<uint8_t>(size));
        bytes.insert(bytes.end(), static_cast<size_t>(size), 'c');
    }
    bytes.push_back(0);
    EXPECT_EQ(f.LoadExtensions(bytes), "");
    auto* comment = dynamic_cast<TGIFCommentExtension*>(f.frame->GetExtensions().GetExtension(0));
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->GetText().size(), 3u);
    EXPECT_EQ(f.SaveExtensions(), bytes);
}

TEST(Extensions, PlainTextFieldsAndBlockSize) {
    Fixture f;
    const Bytes standard{0x21, 0x01, 0x0C, 1, 0, 2, 0, 30, 0, 40, 0, 8, 16, 3, 4, 0x02, 'h', 'i', 0x00};
    EXPECT_EQ(f.LoadExtensions(standard), "");
    auto* text = dynamic_cast<TGIFTextExtension*>(f.frame->GetExtensions().GetExtension(0));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetBounds(3), 30);
    EXPECT_EQ(text->GetBounds(4), 40);
    EXPECT_EQ(text->GetBounds(5), 0);
    EXPECT_EQ(text->GetCharWidthHeight(2), 16);
    EXPECT_EQ(text->GetColorIndex(1), 3);
    EXPECT_EQ(text->GetText(), std::vector<std::string>{"hi"});
    EXPECT_EQ(f.SaveExtensions(), standard);
    // A 14-byte block: the two extra bytes are skipped, not read as text.
    Fixture g;
    EXPECT_EQ(g.LoadExtensions({0x21, 0x01, 0x0E, 1, 0, 2, 0, 30, 0, 40, 0, 8, 16, 3, 4, 9, 9, 0x02, 'h', 'i', 0x00}), "");
    EXPECT_EQ(dynamic_cast<TGIFTextExtension*>(g.frame->GetExtensions().GetExtension(0))->GetText(),
              std::vector<std::string>{"hi"});
}

TEST(Extensions, ApplicationBlocksFindTheirClass) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string className;
        std::string error;
    };
    const Case cases[] = {
        {"loop 0", Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x00, 0x00, 0x00}}), "TGIFAppExtNSLoop", ""},
        {"loop 5", Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x05, 0x00, 0x00}}), "TGIFAppExtNSLoop", ""},
        {"animexts", Concat({{0x21, 0xFF, 0x0B}, Text("ANIMEXTS1.0"), {0x03, 0x01, 0x05, 0x00, 0x00}}), "TGIFAppExtNSLoop", ""},
        {"loop too short", Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x02, 0x01, 0x05, 0x00}}), "", "Invalid GIF data"},
        {"lower case", Concat({{0x21, 0xFF, 0x0B}, Text("netscape2.0"), {0x03, 0x01, 0x05, 0x00, 0x00}}), "TGIFUnknownAppExtension", ""},
        {"unknown", Concat({{0x21, 0xFF, 0x0B}, Text("XMP DataXMP"), {0x02, 0x10, 0x20, 0x01, 0x30, 0x00}}), "TGIFUnknownAppExtension", ""},
        {"size 10", Concat({{0x21, 0xFF, 0x0A}, Text("ABCDEFGHIJ"), {0x01, 0x30, 0x00}}), "TGIFUnknownAppExtension", ""},
        {"size 12", Concat({{0x21, 0xFF, 0x0C}, Text("NETSCAPE2.0!"), {0x01, 0x30, 0x00}}), "TGIFUnknownAppExtension", ""},
        {"size 9", Concat({{0x21, 0xFF, 0x09}, Text("NETSCAPE2"), {0x00}}), "", "Unsupported Application Extension block size"},
        {"cut in identifier", Concat({{0x21, 0xFF, 0x0B}, Text("NETSC")}), "", "Premature end of data"},
        {"cut in data", Concat({{0x21, 0xFF, 0x0B}, Text("XMP DataXMP"), {0x05, 0x10}}), "", "Premature end of data"},
        {"label 2", {0x21, 0x02, 0x00}, "", "Unknown extension type"},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.LoadExtensions(c.bytes), c.error) << c.name;
        if (!c.error.empty()) {
            EXPECT_EQ(f.frame->GetExtensions().GetCount(), 0) << c.name;
            continue;
        }
        ASSERT_EQ(f.frame->GetExtensions().GetCount(), 1) << c.name;
        EXPECT_EQ(f.frame->GetExtensions().GetExtension(0)->ClassName(), c.className) << c.name;
    }
    Fixture f;
    f.LoadExtensions(cases[1].bytes);
    EXPECT_EQ(dynamic_cast<TGIFAppExtNSLoop*>(f.frame->GetExtensions().GetExtension(0))->GetLoops(), 5);
    // Unknown blocks are written back byte for byte.
    Fixture u;
    u.LoadExtensions(cases[5].bytes);
    EXPECT_EQ(u.SaveExtensions(), cases[5].bytes);
}

TEST(Extensions, UnknownApplicationBlocksRoundTripByteForByte) {
    // Saved and loaded again, an unknown block keeps its block size and every
    // byte.  Cut to 11 bytes, the first two would read back as a loop
    // extension with 5 loops.
    const Bytes loopLike{0x03, 0x01, 0x05, 0x00, 0x00};
    const Bytes cases[] = {
        Concat({{0x21, 0xFF, 0x0C}, Text("NETSCAPE2.0!"), loopLike}),
        Concat({{0x21, 0xFF, 0xFF}, Text("ANIMEXTS1.0"), Bytes(244, 0x5A), loopLike}),
        Concat({{0x21, 0xFF, 0x0A}, Text("ABCDEFGHIJ"), {0x01, 0x30, 0x00}}),
    };
    for (const Bytes& bytes : cases) {
        Bytes saved = bytes;
        for (int round = 0; round < 2; ++round) {
            Fixture f;
            ASSERT_EQ(f.LoadExtensions(saved), "") << "block size " << int(bytes[2]) << " round " << round;
            ASSERT_EQ(f.frame->GetExtensions().GetCount(), 1);
            EXPECT_EQ(f.frame->GetExtensions().GetExtension(0)->ClassName(), "TGIFUnknownAppExtension")
                << "block size " << int(bytes[2]) << " round " << round;
            saved = f.SaveExtensions();
            EXPECT_EQ(saved, bytes) << "block size " << int(bytes[2]) << " round " << round;
        }
    }
}

TEST(Extensions, LoopWritesTheBufferSubBlockOnlyWhenSet) {
    Fixture f;
    auto* loop = &f.frame->GetExtensions().Adopt(std::make_unique<TGIFAppExtNSLoop>());
    loop->SetLoops(0x0102);
    EXPECT_EQ(f.SaveExtensions(), Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x02, 0x01, 0x00}}));
    loop->SetBufferSize(0x0A0B0C0D);
    EXPECT_EQ(f.SaveExtensions(), Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"),
                                          {0x03, 0x01, 0x02, 0x01, 0x05, 0x02, 0x0D, 0x0C, 0x0B, 0x0A, 0x00}}));
    loop->SetIdentifier("AB");
    EXPECT_EQ(loop->GetIdentifier(), "AB      ");
    EXPECT_EQ(loop->GetAuthentication(), "2.0");
}

TEST(Extensions, LoopSubBlocksEndAtTheEndOfTheStream) {
    // No terminator: the end of the stream reads as one.
    Fixture f;
    EXPECT_EQ(f.LoadExtensions(Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x07, 0x00}})), "");
    EXPECT_EQ(dynamic_cast<TGIFAppExtNSLoop*>(f.frame->GetExtensions().GetExtension(0))->GetLoops(), 7);
}

TEST(Extensions, ListStopsAtABadIntroducerWithAWarning) {
    Fixture f;
    int64_t position = 0;
    EXPECT_EQ(f.LoadExtensions({0x21, 0xFE, 0x00, 0x99, 0x2C}, &position), "");
    EXPECT_EQ(position, 3);
    EXPECT_EQ(f.frame->GetExtensions().GetCount(), 1);
    EXPECT_EQ(f.log.Messages(), std::vector<std::string>{"Invalid extension introducer"});
}

TEST(Extensions, RegistryLaterEntriesWin) {
    // A label registered later reads its blocks; freeing the registries
    // brings the built-in ones back.
    TGIFExtension::RegisterExtension(0xFE, &TGIFTextExtension::Class);
    {
        Fixture f;
        EXPECT_EQ(f.LoadExtensions({0x21, 0xFE, 0x00}), "Internal error: Extension Instance does not match Extension Label");
    }
    FreeExtensionRegistries();
    Fixture f;
    EXPECT_EQ(f.LoadExtensions({0x21, 0xFE, 0x00}), "");
}
