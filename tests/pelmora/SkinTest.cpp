// The main window's skin: the JPEG stored with its layout, decoded by the
// JPEG picture class; a skin that cannot be read is reported with libjpeg's
// cause and the window opens all the same.
#include <gmock/gmock.h>

#include <QByteArray>
#include <QComboBox>
#include <QFile>
#include <QLabel>

#include <fstream>
#include <sstream>

#include "PelmoraTestSupport.h"
#include "vcl/Jpeg.h"

namespace {

using pelmoratest::Lines;
using pelmoratest::PelmoraTest;
using ::testing::HasSubstr;

std::string StoredSkin() {
    QFile file(QString::fromLatin1(kSkinPicture));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

using SkinTest = PelmoraTest;

TEST_F(SkinTest, ImageMainShowsTheStoredJpegAsTheJpegClassDecodesIt) {
    const std::string stored = StoredSkin();
    ASSERT_GT(stored.size(), 2 * vcl::TJPEGImage::kSourceBufferSize);
    ASSERT_EQ(stored.substr(0, 2), "\xFF\xD8");  // a JPEG stream
    vcl::TJPEGImage expected;
    std::istringstream stream(stored);
    expected.LoadFromStream(stream);

    AttachDrive();
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Shown(), Lines{});
    const QImage shown = MainForm->ImageMain->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(shown.size(), QSize(517, 384));
    EXPECT_TRUE(shown == expected.Bitmap());
}

struct DamagedSkin {
    const char* name;
    std::string (*bytes)(const std::string& stored);  // nullptr: no file at all
    const char* cause;
};

const DamagedSkin kDamagedSkins[] = {
    {"Truncated", [](const std::string& stored) { return stored.substr(0, stored.size() / 3); },
     "Premature end of input file"},
    {"NotAJpeg", [](const std::string&) { return std::string("GIF89a and then some"); }, "Not a JPEG file"},
    {"Missing", nullptr, "Cannot open the picture"},
};

class DamagedSkinTest : public PelmoraTest, public ::testing::WithParamInterface<DamagedSkin> {};

TEST_P(DamagedSkinTest, IsReportedWithItsCauseAndTheWindowStillOpens) {
    skinPicture = dir + "/ImageMain.jpg";
    if (GetParam().bytes != nullptr) std::ofstream(skinPicture, std::ios::binary) << GetParam().bytes(StoredSkin());
    AttachDrive();
    Start();
    ASSERT_TRUE(Settle());

    const Lines shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], HasSubstr("box Pelmora: The main window's picture \"" + skinPicture + "\" cannot be shown."));
    EXPECT_THAT(shown[0], HasSubstr(GetParam().cause));
    ASSERT_NE(MainForm, nullptr);
    EXPECT_FALSE(Ended());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_TRUE(MainForm->ImageMain->pixmap().isNull());
    EXPECT_EQ(MainForm->ComboBoxDrv->count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Skins, DamagedSkinTest, ::testing::ValuesIn(kDamagedSkins),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
