// The picture registry and the JPEG picture class: lookups by extension and
// by clipboard format, registering and unregistering a class, decoding
// through the 4096-byte source, and damaged JPEG streams refused with
// libjpeg's text while the picture keeps what it held.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "tools/JpegEncoder.h"
#include "vcl/Jpeg.h"
#include "vcl/Picture.h"

namespace {

using ::testing::HasSubstr;
using vcl::TJPEGImage;
using vcl::TPicture;

// A picture with detail everywhere, so that its JPEG form is many source
// buffers long: colour ramps with a checker pattern on top.
QImage TestPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int checker = ((x / 8 + y / 8) % 2) * 60;
            image.setPixelColor(x, y, QColor((x * 255 / width + checker) % 256, (y * 255 / height) % 256,
                                             (128 + checker) % 256));
        }
    return image;
}

// The picture in JPEG form (quality 95), optionally with a comment marker of
// commentBytes bytes in front of the frame.
std::string EncodeJpeg(const QImage& picture, size_t commentBytes = 0) {
    return artwork::EncodeJpeg(picture, 95, std::string(commentBytes, 'c'));
}

// A stream over bytes that records how much each read asked for.
class RecordingBuffer : public std::streambuf {
public:
    explicit RecordingBuffer(std::string bytes) : bytes_(std::move(bytes)) {}
    std::vector<std::streamsize> requests;

protected:
    std::streamsize xsgetn(char* out, std::streamsize count) override {
        requests.push_back(count);
        const std::streamsize n = std::min<std::streamsize>(count, static_cast<std::streamsize>(bytes_.size() - at_));
        std::copy_n(bytes_.data() + at_, n, out);
        at_ += static_cast<size_t>(n);
        return n;
    }
    int_type underflow() override {
        return at_ < bytes_.size() ? traits_type::to_int_type(bytes_[at_]) : traits_type::eof();
    }
    int_type uflow() override {
        return at_ < bytes_.size() ? traits_type::to_int_type(bytes_[at_++]) : traits_type::eof();
    }

private:
    std::string bytes_;
    size_t at_ = 0;
};

// The mean difference of a channel over all pixels (lossy coding keeps it
// small; a misplaced piece of the stream does not).
double MeanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
        }
    return sum / (3.0 * a.width() * a.height());
}

// ---------------------------------------------------------------------------
// Decoding

struct SourceCase {
    const char* name;
    size_t commentBytes;  // a comment the decoder skips, across source buffers
};

class JpegSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(JpegSourceTest, DecodesThroughPiecesOf4096BytesAndKeepsTheBytes) {
    const QImage original = TestPicture(517, 384);
    const std::string jpeg = EncodeJpeg(original, GetParam().commentBytes);
    ASSERT_GT(jpeg.size(), 4 * TJPEGImage::kSourceBufferSize);
    const std::string trailing = "bytes after the picture";
    RecordingBuffer buffer(jpeg + trailing);
    std::istream stream(&buffer);

    TJPEGImage picture;
    picture.LoadFromStream(stream);

    ASSERT_EQ(picture.Width(), 517);
    ASSERT_EQ(picture.Height(), 384);
    EXPECT_LT(MeanDifference(picture.Bitmap(), original), 4.0);
    EXPECT_GE(buffer.requests.size(), jpeg.size() / TJPEGImage::kSourceBufferSize);
    for (std::streamsize request : buffer.requests) EXPECT_EQ(request, 4096);
    std::ostringstream saved;
    picture.SaveToStream(saved);
    EXPECT_TRUE(saved.str() == jpeg) << "saved " << saved.str().size() << " of " << jpeg.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Sources, JpegSourceTest,
                         ::testing::Values(SourceCase{"Plain", 0}, SourceCase{"LongCommentSkipped", 10000},
                                           SourceCase{"CommentOfOneBufferSkipped", 4096}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DamageCase {
    const char* name;
    // The damaged stream made from a good one.
    std::string (*damage)(const std::string& good);
    const char* libjpegText;
};

const DamageCase kDamage[] = {
    {"Empty", [](const std::string&) { return std::string(); }, "Empty input file"},
    {"NotAJpeg", [](const std::string&) { return std::string("\x89PNG\r\n\x1a\n0000000000000000", 24); },
     "Not a JPEG file"},
    {"CutInTheHeader", [](const std::string& good) { return good.substr(0, 100); },
     "Premature end of input file"},
    {"CutInTheScan", [](const std::string& good) { return good.substr(0, good.size() / 2); },
     "Premature end of input file"},
    {"EndMarkerMissing", [](const std::string& good) { return good.substr(0, good.size() - 2); },
     "Premature end of input file"},
    {"MarkerInTheScan",
     [](const std::string& good) {
         std::string bad = good;
         const size_t at = bad.size() / 2;
         bad[at] = '\xFF';
         bad[at + 1] = '\xD3';  // a restart marker the stream never announced
         return bad;
     },
     "Corrupt JPEG data"},
};

class JpegDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(JpegDamageTest, IsRefusedWithLibjpegsTextAndThePictureStays) {
    const std::string good = EncodeJpeg(TestPicture(300, 200));
    TJPEGImage picture;
    std::istringstream first(good);
    picture.LoadFromStream(first);
    int changes = 0;
    picture.OnChange = [&](vcl::TGraphic&) { ++changes; };

    std::istringstream damaged(GetParam().damage(good));
    try {
        picture.LoadFromStream(damaged);
        FAIL() << "a damaged stream was taken";
    } catch (const vcl::EJPEG& error) {
        EXPECT_THAT(error.what(), HasSubstr("The JPEG picture cannot be decoded"));
        EXPECT_THAT(error.what(), HasSubstr(GetParam().libjpegText));
    }
    EXPECT_EQ(picture.Width(), 300);
    EXPECT_EQ(picture.Height(), 200);
    EXPECT_EQ(changes, 0);
    std::ostringstream saved;
    picture.SaveToStream(saved);
    EXPECT_TRUE(saved.str() == good);
}

INSTANTIATE_TEST_SUITE_P(Damage, JpegDamageTest, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The registry

// A graphic class of the test's own, registered as the GIF unit would be.
class FakeGraphic : public vcl::TGraphic {
public:
    static constexpr const char* kClassName = "TFakeGraphic";
    vcl::TGraphicClass ClassType() const override { return vcl::ClassOf<FakeGraphic>(); }
    bool Empty() const override { return true; }
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    void Draw(QPainter&, const QRect&) const override {}
    void LoadFromStream(std::istream&) override {}
    void SaveToStream(std::ostream&) const override {}
};

class PictureRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { TPicture::UnregisterGraphicClass(vcl::ClassOf<FakeGraphic>()); }
    const vcl::TGraphicClass jpeg = vcl::ClassOf<TJPEGImage>();
    const vcl::TGraphicClass fake = vcl::ClassOf<FakeGraphic>();
};

TEST_F(PictureRegistryTest, FindsTheJpegClassByItsExtensionsInAnyCase) {
    const struct {
        const char* extension;
        bool jpegFound;
    } cases[] = {{"jpg", true}, {"JPG", true}, {".jpeg", true}, {"Jpeg", true},
                 {"gif", false}, {"", false}, {"jp", false}, {"jpgx", false}};
    for (const auto& c : cases)
        EXPECT_EQ(TPicture::FileFormat(c.extension), c.jpegFound ? jpeg : nullptr) << c.extension;
    EXPECT_EQ(TPicture::GraphicExtension(jpeg), "jpg");
    EXPECT_EQ(jpeg->ClassName, "TJPEGImage");
    EXPECT_EQ(jpeg->Create()->ClassType(), jpeg);
}

TEST_F(PictureRegistryTest, RegistersAndUnregistersAClassByExtensionAndClipboardFormat) {
    const uint16_t format = vcl::RegisterClipboardFormat("Fake Picture");
    ASSERT_NE(format, 0);
    EXPECT_EQ(TPicture::FileFormat("GIF"), nullptr);
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(format));

    TPicture::RegisterFileFormat("GIF", "Fake Picture", fake);
    TPicture::RegisterClipboardFormat(format, fake);
    EXPECT_EQ(TPicture::FileFormat("gif"), fake);
    EXPECT_EQ(TPicture::GraphicExtension(fake), "gif");
    EXPECT_EQ(TPicture::ClipboardFormat(format), fake);
    const std::vector<vcl::TFileFormat> formats = TPicture::FileFormats();
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front().Extension, "gif");
    EXPECT_EQ(formats.front().Description, "Fake Picture");

    TPicture::UnregisterGraphicClass(fake);
    EXPECT_EQ(TPicture::FileFormat("gif"), nullptr);
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(format));
    EXPECT_EQ(TPicture::GraphicExtension(fake), "");
    EXPECT_EQ(TPicture::FileFormat("jpg"), jpeg);  // the others stay
}

TEST_F(PictureRegistryTest, TheLatestRegistrationWinsUntilItsClassGoes) {
    TPicture::RegisterFileFormat("jpg", "Fake Picture", fake);
    EXPECT_EQ(TPicture::FileFormat("jpg"), fake);
    EXPECT_EQ(TPicture::FileFormat("jpeg"), jpeg);
    TPicture::UnregisterGraphicClass(fake);
    EXPECT_EQ(TPicture::FileFormat("jpg"), jpeg);
}

TEST_F(PictureRegistryTest, ClipboardFormatNamesKeepTheirIdentifiers) {
    const uint16_t first = vcl::RegisterClipboardFormat("Picture One");
    const uint16_t second = vcl::RegisterClipboardFormat("Picture Two");
    EXPECT_GE(first, 0xC000);
    EXPECT_GE(second, 0xC000);
    EXPECT_NE(first, second);
    EXPECT_EQ(vcl::RegisterClipboardFormat("picture one"), first);
    EXPECT_EQ(vcl::RegisterClipboardFormat(""), 0);
}

// ---------------------------------------------------------------------------
// The picture

class PictureFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::path(testing::TempDir()) / "picture-test";
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(PictureFileTest, LoadsByExtensionAndKeepsThePictureOnFailure) {
    TPicture picture;
    picture.LoadFromFile(Write("skin.JPG", EncodeJpeg(TestPicture(64, 48))));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->ClassType(), vcl::ClassOf<TJPEGImage>());
    EXPECT_EQ(picture.Width(), 64);

    const struct {
        std::string path;
        const char* text;
    } failures[] = {
        {Write("skin.xyz", EncodeJpeg(TestPicture(8, 8))), "Unknown picture file extension (.xyz)"},
        {Write("noextension", "x"), "Unknown picture file extension (.)"},
        {(dir / "missing.jpg").string(), "Cannot open the picture"},
        {Write("cut.jpg", EncodeJpeg(TestPicture(64, 48)).substr(0, 700)), "Premature end of input file"},
    };
    for (const auto& failure : failures) {
        try {
            picture.LoadFromFile(failure.path);
            ADD_FAILURE() << failure.path << " was taken";
        } catch (const vcl::EInvalidGraphic& error) {
            EXPECT_THAT(error.what(), HasSubstr(failure.text)) << failure.path;
        }
        EXPECT_EQ(picture.Width(), 64) << failure.path;
        EXPECT_EQ(picture.Height(), 48) << failure.path;
    }
}

TEST_F(PictureFileTest, ShowsAPictureAtItsOwnSizeAndClearsForAnEmptyOne) {
    TPicture picture;
    picture.LoadFromFile(Write("small.jpg", EncodeJpeg(TestPicture(40, 30))));
    QLabel image;
    image.resize(100, 100);
    vcl::ShowPicture(&image, picture);
    EXPECT_EQ(image.pixmap().size(), QSize(40, 30));
    TPicture empty;
    vcl::ShowPicture(&image, empty);
    EXPECT_TRUE(image.pixmap().isNull());
}

}  // namespace
