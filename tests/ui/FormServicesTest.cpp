// Window services of TForm and the picture, colour and font helpers.
#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "vcl/Graphics.h"

namespace {

using uitest::UiTest;
using FormServicesTest = UiTest;

class ServiceForm : public vcl::TForm {
public:
    ServiceForm() {
        edit = new QLineEdit(this);
        button = new QPushButton("Go", this);
        button->setGeometry(10, 40, 60, 20);
        picture = new QLabel(this);
        picture->setGeometry(0, 100, 50, 50);
        SetKeyPreview(true);
    }
    QLineEdit* edit;
    QPushButton* button;
    QLabel* picture;
    std::vector<int> keys;

protected:
    void FormKeyDown(int key) override { keys.push_back(key); }
};

void Click(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

void Press(QWidget* widget, int qtKey, const QString& text = QString()) {
    QKeyEvent key(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &key);
}

TEST_F(FormServicesTest, WhileCapturedClicksOnTheFormsControlsAreIgnored) {
    ServiceForm form;
    int clicks = 0;
    vcl::OnClick(form.button, [&] { ++clicks; });
    int downs = 0;
    vcl::OnMouseDown(form.picture, [&](int, int) { ++downs; });

    Click(form.button);
    Click(form.picture);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);

    form.SetCapture();
    Click(form.button);
    Click(form.picture);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);

    // Another window is not captured by this one.
    ServiceForm other;
    int otherClicks = 0;
    vcl::OnClick(other.button, [&] { ++otherClicks; });
    Click(other.button);
    EXPECT_EQ(otherClicks, 1);

    form.BeginSystemMove();  // a drag releases the capture (and is harmless offscreen)
    EXPECT_FALSE(form.HasCapture());
    Click(form.button);
    EXPECT_EQ(clicks, 2);
}

TEST_F(FormServicesTest, KeyPreviewSeesEachKeyOnceBeforeTheControlGetsIt) {
    ServiceForm form;
    Press(form.edit, Qt::Key_F9);   // the edit ignores it: Qt hands it on to the form
    Press(form.edit, Qt::Key_F8);
    Press(form.edit, Qt::Key_A, "a");  // the edit takes it
    Press(&form, Qt::Key_Shift);    // no virtual key of ours
    EXPECT_EQ(form.keys, (std::vector<int>{vcl::VK_F9, vcl::VK_F8, 'A'}));
    EXPECT_EQ(form.edit->text(), "a");

    form.SetKeyPreview(false);
    Press(form.edit, Qt::Key_F9);
    EXPECT_EQ(form.keys.size(), 3u);
}

TEST_F(FormServicesTest, VirtualKeysOfQtKeys) {
    const std::pair<int, int> cases[] = {
        {Qt::Key_F1, 0x70}, {Qt::Key_F8, 0x77}, {Qt::Key_F9, 0x78},  {Qt::Key_F12, 0x7B},
        {Qt::Key_Return, 0x0D}, {Qt::Key_Enter, 0x0D}, {Qt::Key_Escape, 0x1B}, {Qt::Key_7, '7'},
        {Qt::Key_Z, 'Z'}, {Qt::Key_F13, 0}, {Qt::Key_Shift, 0},
    };
    for (const auto& [qt, vk] : cases) EXPECT_EQ(vcl::VirtualKeyFromQt(qt), vk) << qt;
}

TEST_F(FormServicesTest, MouseMoveHooksReportPositionsWithoutAButton) {
    ServiceForm form;
    std::vector<QPoint> moves;
    vcl::OnMouseMove(form.picture, [&](int x, int y) { moves.emplace_back(x, y); });
    EXPECT_TRUE(form.picture->hasMouseTracking());
    QMouseEvent move(QEvent::MouseMove, QPointF(7, 9), form.picture->mapToGlobal(QPointF(7, 9)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.picture, &move);
    EXPECT_EQ(moves, (std::vector<QPoint>{QPoint(7, 9)}));
}

TEST_F(FormServicesTest, RoundRectRegionCoversTheWindowButItsCorners) {
    vcl::TForm form;
    form.SetClientSize(517, 384);
    form.SetRoundRectRegion(517, 384, 9, 9);
    const QRegion mask = form.mask();
    EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 517, 384));
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(516, 383)));
    EXPECT_TRUE(mask.contains(QPoint(5, 0)));
    EXPECT_TRUE(mask.contains(QPoint(258, 192)));
    EXPECT_FALSE(mask.contains(QPoint(376, 456)));  // where the unreachable button lies
}

TEST_F(FormServicesTest, ScreenCursorHourglassAndBack) {
    vcl::Screen.SetCursor(vcl::crHourGlass);
    vcl::Screen.SetCursor(vcl::crHourGlass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    vcl::Screen.SetCursor(vcl::crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // one restore for any number of sets

    std::thread worker([] { vcl::Screen.SetCursor(vcl::crHourGlass); });
    worker.join();
    ASSERT_TRUE(RunUntil([] { return QGuiApplication::overrideCursor() != nullptr; }));
    vcl::Screen.SetCursor(vcl::crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FormServicesTest, ColourValuesAreBlueGreenRed) {
    const std::pair<uint32_t, QColor> cases[] = {
        {0x00B56800, QColor(0x00, 0x68, 0xB5)},  // the progress bar
        {0x0749F8, QColor(0xF8, 0x49, 0x07)},    // the caution text
        {0x800000, QColor(0, 0, 0x80)},          // navy
        {0x000080, QColor(0x80, 0, 0)},          // maroon
    };
    for (const auto& [value, colour] : cases) EXPECT_EQ(vcl::ColorFromTColor(value), colour) << value;

    QProgressBar bar;
    vcl::SetProgressBarColor(&bar, 0x00B56800);
    EXPECT_EQ(bar.palette().color(QPalette::Highlight), QColor(0x00, 0x68, 0xB5));
    QLabel label;
    vcl::SetFontColor(&label, 0x0749F8);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0xF8, 0x49, 0x07));
}

TEST_F(FormServicesTest, AMissingFontFallsBackToOneWithKoreanGlyphs) {
    QLabel label;
    vcl::SetFontName(&label, "굴림");
    EXPECT_EQ(label.font().families(), (QStringList{QString::fromUtf8("굴림"), vcl::kFallbackFont}));
    const QFontInfo used(label.font());
    EXPECT_TRUE(QFontDatabase::hasFamily(QString::fromUtf8("굴림")) || used.family() == vcl::kFallbackFont)
        << used.family().toStdString();
}

TEST_F(FormServicesTest, ImageListsGiveCopiesAndBlankGlyphsOutsideTheList) {
    vcl::TImageList list(61, 22);
    QPixmap red(61, 22);
    red.fill(Qt::red);
    list.Add(red);
    EXPECT_EQ(list.GetBitmap(0).toImage(), red.toImage());
    for (int index : {-1, 1, 99}) {
        const QPixmap blank = list.GetBitmap(index);
        EXPECT_EQ(blank.size(), QSize(61, 22));
        EXPECT_EQ(blank.toImage().pixelColor(3, 3).alpha(), 0);
    }
    const vcl::TImageList missing = vcl::TImageList::FromResources("no/such/list", 2, 44, 20);
    EXPECT_EQ(missing.Count(), 2);
    EXPECT_EQ(missing.GetBitmap(1).size(), QSize(44, 20));
}

}  // namespace
