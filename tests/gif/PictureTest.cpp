// The picture: loading and saving whole streams, progress, warnings, copies
// between pictures and the size checks.
#include <gtest/gtest.h>

#include "GifTestSupport.h"
#include "gif/GIFPainter.h"
#include "platform/Services.h"

using namespace giftest;
using namespace gif;

namespace {

// Two frames with local tables, a transparent graphic control, a loop
// extension and a comment: the features a save must carry over.
Bytes Animation() {
    const Bytes first = NoisePixels(20 * 10, 4, 1);
    const Bytes second = NoisePixels(6 * 5, 16, 2);
    return Concat({Header(20, 10, 4),
                   {0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x05, 0x00, 0x00},
                   {0x21, 0xF9, 0x04, 0x09, 0x0A, 0x00, 0x02, 0x00},
                   Descriptor(0, 0, 20, 10), ImageData(ReferenceLZW(first, 2)),
                   {0x21, 0xFE, 0x03}, Text("abc"), {0x00},
                   Descriptor(3, 4, 6, 5, 0x83),
                   ColorTable(16),
                   ImageData(ReferenceLZW(second, 4)),
                   {0x3B}});
}

std::unique_ptr<TGIFImage> LoadBytes(const Bytes& bytes, WarningLog* log = nullptr) {
    auto image = std::make_unique<TGIFImage>();
    if (log != nullptr) log->Attach(*image);
    rtl::TMemoryStream stream = StreamOf(bytes);
    image->LoadFromStream(stream);
    return image;
}

}  // namespace

TEST(Picture, LoadSaveLoadKeepsFramesAndSavingTwiceGivesTheSameBytes) {
    WarningLog log;
    auto image = LoadBytes(Animation(), &log);
    EXPECT_TRUE(log.entries.empty());
    ASSERT_EQ(image->GetImages().GetCount(), 2);
    const TGIFSubImage* first = image->GetImages().GetImage(0);
    const TGIFSubImage* second = image->GetImages().GetImage(1);
    EXPECT_EQ(FramePixels(*first), NoisePixels(200, 4, 1));
    EXPECT_EQ(FramePixels(*second), NoisePixels(30, 16, 2));
    EXPECT_EQ(second->GetBoundsRect(), (TGIFSubImage::TRect{3, 4, 9, 9}));
    EXPECT_EQ(second->GetActiveColorMap().GetCount(), 16);
    EXPECT_EQ(&first->GetActiveColorMap(), &image->GetGlobalColorMap());
    ASSERT_NE(first->GetGraphicControlExtension(), nullptr);
    EXPECT_TRUE(first->GetTransparent());
    EXPECT_EQ(first->GetGraphicControlExtension()->GetDelay(), 10);
    EXPECT_EQ(first->GetExtensions().GetCount(), 2);
    EXPECT_EQ(second->GetExtensions().GetCount(), 1);
    EXPECT_EQ(image->GetVersion(), gv89a);

    const Bytes saved = SaveBytes(*image);
    EXPECT_EQ(SaveBytes(*image), saved);
    auto again = LoadBytes(saved);
    ASSERT_EQ(again->GetImages().GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(FramePixels(*again->GetImages().GetImage(i)), FramePixels(*image->GetImages().GetImage(i)));
        EXPECT_EQ(again->GetImages().GetImage(i)->GetBoundsRect(), image->GetImages().GetImage(i)->GetBoundsRect());
    }
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(again->GetImages().GetImage(0)->GetExtensions().GetExtension(0));
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->GetLoops(), 5);
    EXPECT_EQ(SaveBytes(*again), saved);
}

TEST(Picture, AssignCopiesFramesAndSettingsButNotHandlers) {
    auto source = LoadBytes(Animation());
    source->SetDrawOptions(0x0003);
    source->SetForceFrame(1);
    source->SetCompression(gcRLE);
    source->SetReductionBits(4);
    source->OnPaintStart = [](TObject*) {};
    std::vector<uint8_t> progress;
    source->SetOnProgress([&](TObject*, TProgressStage stage, uint8_t percent, bool, const TRect&, const std::string& message) {
        if (message == "Copying...") progress.push_back(stage == psRunning ? percent : 200 + stage);
    });
    TGIFImage copy;
    copy.Assign(source.get());
    EXPECT_EQ(SaveBytes(copy), [&] {
        source->SetCompression(gcLZW);
        return SaveBytes(*source);
    }());
    EXPECT_EQ(copy.GetDrawOptions(), 0x0003);
    EXPECT_EQ(copy.GetForceFrame(), 1);
    EXPECT_EQ(copy.GetCompression(), gcLZW);
    EXPECT_EQ(copy.GetReductionBits(), 8);
    EXPECT_TRUE(static_cast<bool>(copy.OnPaintStart));
    EXPECT_FALSE(static_cast<bool>(copy.GetOnProgress()));
    EXPECT_FALSE(static_cast<bool>(copy.GetOnGIFWarning()));
    EXPECT_EQ(progress, (std::vector<uint8_t>{200, 50, 100, 202}));
    // The copy's graphic control is its own, linked to its own frame.
    ASSERT_NE(copy.GetImages().GetImage(0)->GetGraphicControlExtension(), nullptr);
    EXPECT_NE(copy.GetImages().GetImage(0)->GetGraphicControlExtension(),
              source->GetImages().GetImage(0)->GetGraphicControlExtension());

    copy.Assign(&copy);
    EXPECT_EQ(copy.GetImages().GetCount(), 2);
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.GetEmpty());
}

// A source that the picture (or the frame) holds itself, and that emptying
// it first would free: the copy is made from it all the same.
TEST(Picture, AssignFromWhatThePictureHoldsItself) {
    struct Case {
        const char* name;
        std::function<const TPersistent*(TGIFImage&)> source;
        TGIFSubImage::TRect bounds;
    };
    const Case cases[] = {
        {"its second frame", [](TGIFImage& image) { return image.GetImages().GetImage(1); }, {3, 4, 9, 9}},
        {"its rendered picture", [](TGIFImage& image) { return image.GetBitmap(); }, {0, 0, 20, 10}},
        {"its second frame's bitmap", [](TGIFImage& image) { return image.GetImages().GetImage(1)->GetBitmap(); },
         {0, 0, 6, 5}},
        {"its first frame's bitmap", [](TGIFImage& image) { return image.GetImages().GetImage(0)->GetBitmap(); },
         {0, 0, 20, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = LoadBytes(Animation());
        image->Assign(c.source(*image));
        ASSERT_EQ(image->GetImages().GetCount(), 1);
        EXPECT_EQ(image->GetImages().GetImage(0)->GetBoundsRect(), c.bounds);
    }
    // Its second frame's pixels, colours and place.
    auto image = LoadBytes(Animation());
    image->Assign(image->GetImages().GetImage(1));
    EXPECT_EQ(FramePixels(*image->GetImages().GetImage(0)), NoisePixels(30, 16, 2));
    EXPECT_EQ(image->GetImages().GetImage(0)->GetActiveColorMap().GetCount(), 16);
    // A frame from its own bitmap keeps its pixels.
    TGIFSubImage& frame = *image->GetImages().GetImage(0);
    frame.Assign(frame.GetBitmap());
    EXPECT_EQ(FramePixels(frame), NoisePixels(30, 16, 2));
}

TEST(Picture, ProgressReportsLoadAndSave) {
    auto image = LoadBytes(Animation());
    std::vector<std::pair<int, int>> reports;  // stage, percent
    image->SetOnProgress([&](TObject*, TProgressStage stage, uint8_t percent, bool, const TRect&, const std::string&) {
        reports.push_back({stage, percent});
    });
    SaveBytes(*image);
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{psStarting, 0}, {psRunning, 50}, {psRunning, 100}, {psEnding, 100}}));
}

TEST(Picture, SizeChecks) {
    auto image = LoadBytes(Animation());
    EXPECT_THROW(image->SetWidth(8), GIFException);
    EXPECT_EQ(image->GetWidth(), 20);
    int changes = 0;
    image->SetOnChange([&](TObject*) { ++changes; });
    image->SetWidth(20);
    EXPECT_EQ(changes, 0);
    image->SetHeight(30);
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(image->SetReductionBits(2), GIFException);
    EXPECT_THROW(image->SetReductionBits(9), GIFException);
}

// What the picture has of the framework's graphic: the transparency flag,
// which reports only a change, and the interface query.
TEST(Picture, TransparencyFlagAndInterfaceQuery) {
    TGIFImage image;
    int changes = 0;
    image.SetOnChange([&](TObject*) { ++changes; });
    EXPECT_FALSE(image.GetTransparent());
    image.SetTransparent(false);
    EXPECT_EQ(changes, 0);
    image.SetTransparent(true);
    image.SetTransparent(true);
    EXPECT_TRUE(image.GetTransparent());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(image.GetIsTransparent());  // no frame is transparent

    void* object = &changes;
    EXPECT_EQ(image.QueryInterface(rtl::IID_IUnknown, &object), rtl::S_OK);
    EXPECT_EQ(object, static_cast<rtl::TInterfacedPersistent*>(&image));
    const rtl::TGUID other{0x00000109, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_EQ(image.QueryInterface(other, &object), rtl::E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(image.QueryInterface(rtl::IID_IUnknown, nullptr), rtl::E_NOINTERFACE);
}

TEST(Picture, EmptyPictureHasNoVersionAndCannotBeSaved) {
    TGIFImage image;
    EXPECT_EQ(image.GetVersion(), gvUnknown);
    rtl::TMemoryStream stream;
    ExpectGIFError([&] { image.SaveToStream(stream); }, "Unsupported GIF version");
    EXPECT_EQ(stream.GetSize(), 0);
}

// A descriptor of 120 × 0 pixels on a screen of 0 × 0 gives a frame without
// pixels.  Saving writes nothing for it, so such a picture has no version and
// is refused at once, instead of being written as a file without frames that
// loads as a picture that cannot be saved again.  With an extension the frame
// is written, and the copy saves the same bytes.
TEST(Picture, FramesThatWriteNothingGiveNoVersion) {
    const Bytes emptyFrame = Concat({Descriptor(0, 0, 120, 0), {0x02, 0x00}});
    const Bytes bare = Concat({Text("GIF8\t"), Bytes{0, 0, 0, 0, 0, 0, 0, 0}, emptyFrame, {0x3B}});
    const Bytes commented =
        Concat({Text("GIF8\t"), Bytes{0, 0, 0, 0, 0, 0, 0, 0}, {0x21, 0xFE, 0x01, 'c', 0x00}, emptyFrame, {0x3B}});

    auto image = LoadBytes(bare);
    ASSERT_EQ(image->GetImages().GetCount(), 1);
    EXPECT_EQ(image->GetVersion(), gvUnknown);
    rtl::TMemoryStream stream;
    ExpectGIFError([&] { image->SaveToStream(stream); }, "Unsupported GIF version");
    EXPECT_EQ(stream.GetSize(), 0);

    image = LoadBytes(commented);
    EXPECT_EQ(image->GetVersion(), gv89a);
    const Bytes saved = SaveBytes(*image);
    auto again = LoadBytes(saved);
    ASSERT_EQ(again->GetImages().GetCount(), 1);
    EXPECT_EQ(SaveBytes(*again), saved);
}

// A frame without pixels writes no descriptor and no table, and its control
// extension only where no image follows to take it: nothing of what it
// holds may shape the header, the version or the other frames' image data.
// A save of the reloaded picture then writes the same bytes.
TEST(Picture, SaveLoadSaveGivesTheSameBytesWhateverAnEmptyFrameHolds) {
    struct Case {
        const char* name;
        std::function<void(TGIFSubImage&)> fill;
        bool last;  // after the frames with pixels
        std::string version;
    };
    auto table = [](int colours, bool sorted) {
        return [=](TGIFSubImage& frame) {
            for (int i = 0; i < colours; ++i) frame.GetColorMap().Add(static_cast<TColor>(0x030201 * i));
            frame.GetColorMap().SetOptimized(sorted);
        };
    };
    auto twoControls = [](TGIFSubImage& frame) {
        for (int delay : {100, 7}) {
            auto& gce = frame.GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
            gce.SetDelay(delay);
        }
    };
    auto control = [](TGIFSubImage& frame) {
        auto* gce = &frame.GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
        gce->SetDelay(100);
    };
    const std::vector<Case> cases = {
        {"a local table larger than any written", table(64, false), false, "87a"},
        {"a sorted local table", table(4, true), false, "87a"},
        {"a control extension an image follows", control, false, "87a"},
        {"two control extensions an image follows", twoControls, false, "87a"},
        {"a control extension at the end", control, true, "89a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage image;
        for (TColor colour : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) image.GetGlobalColorMap().Add(colour);
        auto addFrame = [&](int width, int height) {
            auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
            frame->DoSetBounds(0, 0, width, height);
            const Bytes pixels = NoisePixels(frame->GetDataSize(), 4, 3);
            std::copy(pixels.begin(), pixels.end(), frame->GetData());
            return frame;
        };
        addFrame(5, 3);
        if (!c.last) c.fill(*addFrame(0, 0));
        addFrame(4, 2);
        if (c.last) c.fill(*addFrame(7, 0));
        const Bytes saved = SaveBytes(image);
        EXPECT_EQ(std::string(saved.begin() + 3, saved.begin() + 6), c.version);
        EXPECT_EQ(saved[10], 0x91);  // a global table of 4 colours, resolution 2 bits
        auto again = LoadBytes(saved);
        EXPECT_EQ(SaveBytes(*again), saved);
    }
}

// Frames within the bound of one frame still cannot add up to more than the
// bound of one picture; what frames give back counts again.
TEST(Picture, PixelBudgetOfThePictureAsAWhole) {
    struct Bounds {
        uint64_t frame = GIFImageMaxFramePixels, picture = GIFImageMaxPicturePixels;
        ~Bounds() {
            GIFImageMaxFramePixels = frame;
            GIFImageMaxPicturePixels = picture;
        }
    } bounds;
    GIFImageMaxFramePixels = 100;
    GIFImageMaxPicturePixels = 250;
    const Bytes pixels = NoisePixels(100, 4, 7);
    auto frames = [&](int count) {
        Bytes gif = Header(10, 10, 4);
        for (int i = 0; i < count; ++i) gif = Concat({gif, Descriptor(0, 0, 10, 10), ImageData(ReferenceLZW(pixels, 2))});
        return Concat({gif, {0x3B}});
    };

    auto image = LoadBytes(frames(2));
    EXPECT_EQ(image->GetPixelCount(), 200u);
    TGIFImage three;
    rtl::TMemoryStream stream = StreamOf(frames(3));
    ExpectGIFError([&] { three.LoadFromStream(stream); }, "Invalid image dimensions");
    EXPECT_EQ(three.GetImages().GetCount(), 2);
    EXPECT_EQ(three.GetPixelCount(), 200u);

    // A frame deleted or shrunk gives its pixels back.
    three.GetImages().Delete(0);
    EXPECT_EQ(three.GetPixelCount(), 100u);
    three.GetImages().GetImage(0)->SetHeight(5);
    EXPECT_EQ(three.GetPixelCount(), 50u);
    three.Clear();
    EXPECT_EQ(three.GetPixelCount(), 0u);
    auto* extra = &three.GetImages().Adopt(std::make_unique<TGIFSubImage>());
    extra->DoSetBounds(0, 0, 10, 10);
    EXPECT_EQ(three.GetPixelCount(), 100u);
}

// A frame added to a picture leaves the picture that held it: it sits in one
// list, belongs to one picture, counts its pixels once and is freed once.
TEST(Picture, AddTakesOverAFrameThatAPictureHolds) {
    auto source = LoadBytes(Animation());
    TGIFSubImage* first = source->GetImages().GetImage(0);
    TGIFSubImage* second = source->GetImages().GetImage(1);
    TGIFImage target;
    int sourceChanges = 0;
    source->SetOnChange([&](TObject*) { ++sourceChanges; });

    EXPECT_EQ(target.Add(second), 0);
    EXPECT_EQ(source->GetImages().GetCount(), 1);
    EXPECT_EQ(source->GetImages().IndexOf(second), -1);
    EXPECT_EQ(second->GetImage(), &target);
    EXPECT_EQ(source->GetPixelCount(), 200u);
    EXPECT_EQ(target.GetPixelCount(), 30u);
    EXPECT_EQ(sourceChanges, 1);
    // The new picture's screen holds the frame, as it does a frame made in it.
    EXPECT_EQ(target.GetWidth(), 9);
    EXPECT_EQ(target.GetHeight(), 9);

    // Through the graphic overload as well.
    EXPECT_EQ(target.Add(static_cast<const TPersistent*>(first)), 1);
    EXPECT_TRUE(source->GetEmpty());
    EXPECT_EQ(source->GetPixelCount(), 0u);
    // Added to the picture that holds it: it moves to the end, still once.
    EXPECT_EQ(target.Add(second), 1);
    ASSERT_EQ(target.GetImages().GetCount(), 2);
    EXPECT_EQ(target.GetImages().GetImage(0), first);
    EXPECT_EQ(target.GetPixelCount(), 230u);
    source.reset();
    EXPECT_EQ(FramePixels(*target.GetImages().GetImage(1)), NoisePixels(30, 16, 2));

    // A frame on its own comes by std::unique_ptr; by pointer it stays with
    // the caller.
    TGIFSubImage alone;
    ExpectGIFError([&] { target.Add(&alone); }, "Object type not supported for operation");
    EXPECT_EQ(alone.GetImage(), nullptr);

    // A frame the new picture cannot take stays where it was.
    struct Bound {
        uint64_t picture = GIFImageMaxPicturePixels;
        ~Bound() { GIFImageMaxPicturePixels = picture; }
    } bound;
    GIFImageMaxPicturePixels = 250;
    TGIFImage full;
    full.GetImages().Adopt(std::make_unique<TGIFSubImage>()).DoSetBounds(0, 0, 10, 10);
    full.Add(std::make_unique<TGIFSubImage>());
    full.GetImages().GetImage(1)->DoSetBounds(0, 0, 10, 10);
    ExpectGIFError([&] { full.Add(target.GetImages().GetImage(0)); }, "Invalid image dimensions");
    EXPECT_EQ(full.GetImages().GetCount(), 2);
    EXPECT_EQ(target.GetImages().GetImage(0), first);
    EXPECT_EQ(first->GetImage(), &target);
    EXPECT_EQ(target.GetPixelCount(), 230u);
}

TEST(Picture, CutOffDataFailsAndPutsTheStreamBack) {
    const Bytes full = Animation();
    // Cut inside the second frame's local table.
    Bytes cut(full.begin(), full.end() - 60);
    Bytes prefixed = Concat({Bytes{9, 9, 9}, cut});
    rtl::TMemoryStream stream = StreamOf(prefixed);
    stream.SetPosition(3);
    TGIFImage image;
    try {
        image.LoadFromStream(stream);
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Premature end of data");
        EXPECT_EQ(stream.GetPosition(), 3);
        // What was read before the failure stays.
        EXPECT_GE(image.GetImages().GetCount(), 1);
        return;
    }
    ADD_FAILURE() << "loaded";
}

TEST(Picture, LoadFromResourceNameReadsTheModulesRawDataBlock) {
    const rtl::HINSTANCE module = 0x5150;
    struct Forget {
        rtl::HINSTANCE id;
        ~Forget() { rtl::RemoveResources(id); }
    } forget{module};
    rtl::AddResource(module, rtl::RT_RCDATA, "ANIMATION", Animation());
    rtl::AddResource(module, "GIF", "STILL", SimpleGif(2, 2, {0, 1, 1, 0}, 2));
    TGIFImage image;
    image.LoadFromResourceName(module, "Animation");
    EXPECT_EQ(image.GetImages().GetCount(), 2);
    EXPECT_EQ(SaveBytes(image), SaveBytes(*LoadBytes(Animation())));
    // Only raw data blocks, and only the module's own.
    EXPECT_THROW(image.LoadFromResourceName(module, "STILL"), rtl::EResNotFound);
    EXPECT_THROW(image.LoadFromResourceName(rtl::HInstance, "ANIMATION"), rtl::EResNotFound);
    EXPECT_EQ(image.GetImages().GetCount(), 2);
}

// The picture in a form stream: property "Data", holding the picture's size
// and the picture.
TEST(Picture, AFormStreamKeepsThePictureAndReadsItBack) {
    auto image = LoadBytes(Animation());
    const Bytes gif = SaveBytes(*image);
    rtl::TMemoryStream form;
    rtl::TWriter(form).WriteProperties(*image);
    const Bytes& bytes = form.Bytes();
    ASSERT_EQ(bytes.size(), 1 + 4 + 1 + 4 + 4 + gif.size() + 1);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), (Bytes{4, 'D', 'a', 't', 'a', 0x0A}));
    auto u32 = [&](size_t at) {
        return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 | uint32_t{bytes[at + 3]} << 24;
    };
    EXPECT_EQ(u32(6), gif.size() + 4);  // the property's bytes
    EXPECT_EQ(u32(10), gif.size());     // the picture's size
    EXPECT_EQ(Bytes(bytes.begin() + 14, bytes.end() - 1), gif);
    EXPECT_EQ(bytes.back(), 0);

    TGIFImage copy;
    form.SetPosition(0);
    rtl::TReader(form).ReadProperties(copy);
    EXPECT_EQ(SaveBytes(copy), gif);

    // An empty picture keeps nothing.
    TGIFImage empty;
    rtl::TMemoryStream none;
    rtl::TWriter(none).WriteProperties(empty);
    EXPECT_EQ(none.Bytes(), Bytes{0});
}

TEST(Picture, WriteDataOptimisesFirstWhenAskedTo) {
    struct Restore {
        bool value = GIFImageOptimizeOnStream;
        ~Restore() { GIFImageOptimizeOnStream = value; }
    } restore;
    for (bool optimise : {false, true}) {
        SCOPED_TRACE(optimise ? "optimised" : "as it is");
        GIFImageOptimizeOnStream = optimise;
        auto image = LoadBytes(Animation());  // its second frame carries a comment
        rtl::TMemoryStream data;
        image->WriteData(data);
        data.SetPosition(0);
        TGIFImage copy;
        copy.ReadData(data);
        EXPECT_EQ(copy.GetImages().GetImage(1)->GetExtensions().GetCount(), optimise ? 0 : 1);
        EXPECT_EQ(image->GetImages().GetImage(1)->GetExtensions().GetCount(), optimise ? 0 : 1);
    }
}

// What ReadData refuses leaves the stream where it was.
TEST(Picture, ReadDataRefusesASizeTheStreamDoesNotHold) {
    const Bytes gif = Animation();
    auto sized = [&](uint32_t size, size_t keep) {
        Bytes out{9, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
                  static_cast<uint8_t>(size >> 24)};
        out.insert(out.end(), gif.begin(), gif.begin() + static_cast<ptrdiff_t>(keep));
        return out;
    };
    struct Case {
        const char* name;
        Bytes stream;
    };
    for (const Case& c : {Case{"size cut short", {9, 0x10, 0x00}}, Case{"size beyond the stream", sized(0xFFFFFFF0u, gif.size())},
                          Case{"picture cut short", sized(static_cast<uint32_t>(gif.size() - 40), gif.size() - 40)}}) {
        SCOPED_TRACE(c.name);
        rtl::TMemoryStream stream = StreamOf(c.stream);
        stream.SetPosition(1);
        TGIFImage image;
        ExpectGIFError([&] { image.ReadData(stream); }, "Premature end of data");
        EXPECT_EQ(stream.GetPosition(), 1);
    }
}

// A frame whose pixels index its picture's global table keeps those colours
// when it is copied or moved to where that table is not: it takes a local
// copy of it.  Where the same table is global already, nothing is added.
TEST(Picture, AFrameCopiedOrMovedOutOfItsPictureKeepsItsColours) {
    struct Case {
        const char* name;
        // Copies or moves source (frame 0 of picture, which has no local
        // table) and returns the frame that results.
        std::function<TGIFSubImage&(TGIFImage& picture, TGIFSubImage& source, TGIFImage& other)> copy;
        bool localTable;
    };
    const std::vector<Case> cases = {
        {"a picture assigned the frame",
         [](TGIFImage&, TGIFSubImage& source, TGIFImage& other) -> TGIFSubImage& {
             other.Assign(&source);
             return *other.GetImages().GetImage(0);
         },
         true},
        {"its own picture assigned the frame",
         [](TGIFImage& picture, TGIFSubImage& source, TGIFImage&) -> TGIFSubImage& {
             picture.Assign(&source);
             return *picture.GetImages().GetImage(0);
         },
         true},
        {"a frame of a picture with other colours assigned it",
         [](TGIFImage&, TGIFSubImage& source, TGIFImage& other) -> TGIFSubImage& {
             for (TColor colour : {0xFFFFFFu, 0x808080u}) other.GetGlobalColorMap().Add(colour);
             TGIFSubImage& frame = other.GetImages().Adopt(std::make_unique<TGIFSubImage>());
             frame.Assign(&source);
             return frame;
         },
         true},
        {"a frame of a picture with the same colours assigned it",
         [](TGIFImage& picture, TGIFSubImage& source, TGIFImage& other) -> TGIFSubImage& {
             other.GetGlobalColorMap().Assign(&picture.GetGlobalColorMap());
             TGIFSubImage& frame = other.GetImages().Adopt(std::make_unique<TGIFSubImage>());
             frame.Assign(&source);
             return frame;
         },
         false},
        {"a frame on its own assigned it",
         [](TGIFImage&, TGIFSubImage& source, TGIFImage& other) -> TGIFSubImage& {
             return other.GetImages().Adopt([&] {
                 auto frame = std::make_unique<TGIFSubImage>();
                 frame->Assign(&source);
                 return frame;
             }());
         },
         true},
        {"another picture adding the frame",
         [](TGIFImage&, TGIFSubImage& source, TGIFImage& other) -> TGIFSubImage& {
             return *other.GetImages().GetImage(other.Add(&source));
         },
         true},
        {"its own picture adding the frame",
         [](TGIFImage& picture, TGIFSubImage& source, TGIFImage&) -> TGIFSubImage& {
             return *picture.GetImages().GetImage(picture.Add(&source));
         },
         false},
    };
    // The colour of every pixel; none when the frame has no colours at all.
    auto coloursOf = [](const TGIFSubImage& frame) {
        std::vector<TColor> colours;
        TGIFColorMap& map = frame.GetActiveColorMap();
        if (map.GetCount() > 0)
            for (uint8_t pixel : FramePixels(frame)) colours.push_back(map.GetColor(pixel));
        return colours;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto picture = LoadBytes(Animation());
        TGIFSubImage& source = *picture->GetImages().GetImage(0);
        ASSERT_EQ(source.GetColorMap().GetCount(), 0);
        const std::vector<TColor> colours = coloursOf(source);
        TGIFImage other;
        TGIFSubImage& copy = c.copy(*picture, source, other);
        EXPECT_EQ(coloursOf(copy), colours);
        EXPECT_EQ(copy.GetColorMap().GetCount() > 0, c.localTable);
        // What it shows in its picture's file.
        TGIFImage* holder = copy.GetImage();
        std::vector<TColor> shown;
        EXPECT_NO_THROW({
            auto reloaded = LoadBytes(SaveBytes(*holder));
            shown = coloursOf(*reloaded->GetImages().GetImage(holder->GetImages().IndexOf(&copy)));
        });
        EXPECT_EQ(shown, colours);
    }
}

namespace {

// Time moves only when slept on: a synchronous painting costs no real time.
class SleepingClock : public platform::IClock {
public:
    void Sleep(uint32_t milliseconds) override { tick_ += milliseconds; }
    uint32_t TickCount() override { return tick_; }
    platform::LocalTime Now() override { return {}; }
    bool IsVirtual() const override { return true; }
    void Advance(uint32_t milliseconds) override { tick_ += milliseconds; }

private:
    uint32_t tick_ = 1000;
};

// The frames a synchronous animated painting shows, in order.
std::vector<int> PaintedFrames(TGIFImage& image) {
    SleepingClock clock;
    platform::Services services;
    services.Clock = &clock;
    platform::Install(services);
    struct Uninstall {
        ~Uninstall() { platform::Uninstall(); }
    } uninstall;
    std::vector<int> shown;
    image.OnFrameDone = [&](TObject* sender) { shown.push_back(static_cast<TGIFPainter*>(sender)->GetActiveImage()); };
    vcl::TBitmap target;
    target.SetSize(image.GetWidth(), image.GetHeight());
    image.Paint(target.GetCanvas(), {0, 0, image.GetWidth(), image.GetHeight()}, DrawOption(goAnimate) | DrawOption(goLoop));
    image.OnFrameDone = nullptr;
    return shown;
}

// What a frame writes, extensions included.
Bytes FrameBytes(TGIFSubImage& frame) {
    rtl::TMemoryStream stream;
    frame.SaveToStream(stream, true);
    return stream.Bytes();
}

}  // namespace

// A copy holds every frame of its source, those without pixels as well: the
// extensions such a frame keeps (a trailing comment, a loop extension, a
// control extension) are saved and obeyed like any other.  The copy saves
// the bytes its source saves, and a painter plays it as it plays the source.
TEST(Picture, ACopyKeepsTheFramesWithoutPixels) {
    auto addFrame = [](TGIFImage& image, int left, int top, int width, int height) -> TGIFSubImage& {
        TGIFSubImage& frame = image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
        frame.DoSetBounds(left, top, width, height);
        const Bytes pixels = NoisePixels(frame.GetDataSize(), 4, 11);
        std::copy(pixels.begin(), pixels.end(), frame.GetData());
        return frame;
    };
    auto loop = [](TGIFSubImage& frame, int loops) {
        frame.GetExtensions().Adopt(std::make_unique<TGIFAppExtNSLoop>()).SetLoops(loops);
    };
    auto comment = [](TGIFSubImage& frame, const std::string& text) {
        frame.GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>()).GetText().push_back(text);
    };
    auto built = [&](const std::function<void(TGIFImage&)>& fill) {
        auto image = std::make_unique<TGIFImage>();
        for (TColor colour : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) image->GetGlobalColorMap().Add(colour);
        fill(*image);
        return image;
    };
    const Bytes animation = Animation();
    const Bytes withoutTrailer(animation.begin(), animation.end() - 1);
    struct Case {
        const char* name;
        std::unique_ptr<TGIFImage> source;
    };
    std::vector<Case> cases;
    cases.push_back({"a trailing comment", LoadBytes(Concat({withoutTrailer, {0x21, 0xFE, 0x04}, Text("last"), {0x00, 0x3B}}))});
    cases.push_back({"a trailing loop extension",
                     LoadBytes(Concat({withoutTrailer, {0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x03, 0x00, 0x00, 0x3B}}))});
    cases.push_back({"an empty first frame carrying the loop", built([&](TGIFImage& image) {
                         loop(image.GetImages().Adopt(std::make_unique<TGIFSubImage>()), 2);
                         addFrame(image, 0, 0, 5, 4);
                         addFrame(image, 1, 1, 3, 2);
                     })});
    cases.push_back({"an empty frame in the middle with a control extension", built([&](TGIFImage& image) {
                         addFrame(image, 0, 0, 5, 4);
                         TGIFSubImage& empty = image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
                         empty.DoSetBounds(2, 1, 3, 0);
                         empty.GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>()).SetDelay(70);
                         addFrame(image, 1, 1, 3, 2);
                     })});
    cases.push_back({"a frame with a size but no pixels, a comment and a local table", built([&](TGIFImage& image) {
                         addFrame(image, 0, 0, 5, 4);
                         TGIFSubImage& sized = addFrame(image, 1, 0, 4, 3);
                         sized.FreeImage();
                         comment(sized, "no pixels");
                         for (TColor colour : {0x102030u, 0x405060u}) sized.GetColorMap().Add(colour);
                         loop(addFrame(image, 0, 1, 2, 2), 3);
                     })});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage& source = *c.source;
        TGIFImage copy;
        copy.Assign(&source);
        EXPECT_EQ(SaveBytes(copy), SaveBytes(source));
        ASSERT_EQ(copy.GetImages().GetCount(), source.GetImages().GetCount());
        for (int i = 0; i < source.GetImages().GetCount(); ++i) {
            SCOPED_TRACE(i);
            TGIFSubImage& from = *source.GetImages().GetImage(i);
            TGIFSubImage& to = *copy.GetImages().GetImage(i);
            EXPECT_EQ(to.GetBoundsRect(), from.GetBoundsRect());
            EXPECT_EQ(to.GetEmpty(), from.GetEmpty());
            EXPECT_EQ(to.GetExtensions().GetCount(), from.GetExtensions().GetCount());
            EXPECT_EQ(FrameBytes(to), FrameBytes(from));
        }
        EXPECT_EQ(PaintedFrames(copy), PaintedFrames(source));
    }
}
