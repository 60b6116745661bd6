// The download program's message and caution windows, and every window
// layout with its components where the layout tables put them.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include <memory>

#include "UiTestSupport.h"
#include "support/Glyphs.h"
#include "download/Pelmoracaution.h"
#include "download/Pelmorasmallmsg.h"
#include "ui_TFormAbout.h"
#include "ui_TFormCaution.h"
#include "ui_TFormEngOption.h"
#include "ui_TFormMsg.h"
#include "ui_TMainForm.h"

namespace {

using testsupport::Glyph;
using testsupport::MoveOver;
using testsupport::ShownGlyph;

using uitest::UiTest;
using WindowsTest = UiTest;

const char kCautionKorean[] =
    "* 당사의 펌웨어 업그레이드 과정은 업그레이드 진행시 PC가 자동으로\n"
    "재 부팅한 후 전체 업그레이드 과정이 완료 하도록 구성되어 있습니다.\n\n"
    "따라서 업그레이드가 진행되는 도중에는 PC 전원을 강제로 끄지\n"
    "마십시요.\n\n"
    "혹 펌웨어 업그레이드 후 ODD가 정상적으로 동작하지 않을 경우 \n"
    "펌웨어 업그레이드 과정을 다시 진행하시면 정상적인 사용이\n"
    "가능합니다. \n";

const char kCautionEnglish[] =
    "* The firmware upgrade process of this company is organized so that\n"
    "the entire upgrade process is completed after the PC is automatically\n"
    "rebooted.\n\n"
    "Therefore, do not turn off the PC power supply by force while \n"
    "the upgrade is in progress.\n\n"
    "If the ODD does not operate normally after the firmware upgrade,\n"
    "normal use will be possible if you proceed with the firmware \n"
    "upgrade process again.\n";

struct Language {
    bool korean;
    int okGlyph;  // normal OK glyph; hover is the next one
};
const Language kLanguages[] = {{true, 0}, {false, 2}};

TEST_F(WindowsTest, GlyphListsCarryTheirPictures) {
    const auto form = vcl::Create<TFormCaution>(nullptr, false);
    const std::pair<const vcl::TImageList*, QSize> lists[] = {{&form->ImageListOk, QSize(61, 22)},
                                                              {&form->ImageListCancel, QSize(44, 20)}};
    for (const auto& [list, size] : lists) {
        for (int i = 0; i < list->Count(); ++i) {
            EXPECT_EQ(list->GetBitmap(i).size(), size);
            EXPECT_NE(Glyph(*list, i).pixelColor(size.width() / 2, size.height() / 2).alpha(), 0)
                << "glyph " << i << " is blank";
            if (i > 0) { EXPECT_NE(Glyph(*list, i), Glyph(*list, i - 1)); }
        }
    }
    EXPECT_EQ(form->ImageListOk.Count(), 4);
    EXPECT_EQ(form->ImageListCancel.Count(), 2);
}

TEST_F(WindowsTest, MessageWindowFrameAndGlyphPerLanguage) {
    for (const Language& language : kLanguages) {
        const auto msg = vcl::Create<TFormMsg>(nullptr, language.korean);
        EXPECT_EQ(msg->size(), QSize(286, 163));
        EXPECT_EQ(msg->mask().boundingRect(), QRect(0, 0, 286, 163));
        EXPECT_FALSE(msg->mask().contains(QPoint(0, 0)));
        EXPECT_TRUE(msg->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(msg->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(msg->HoveredButton, 0);
        EXPECT_EQ(ShownGlyph(msg->SpeedButtonOk), Glyph(msg->ImageListOk, language.okGlyph));
        EXPECT_EQ(msg->Label7->text(), "Message");

        // The OK button has no hover of its own: the glyph stays normal.
        MoveOver(msg->SpeedButtonOk);
        MoveOver(msg->ImageMsg);
        EXPECT_EQ(ShownGlyph(msg->SpeedButtonOk), Glyph(msg->ImageListOk, language.okGlyph));
        EXPECT_EQ(msg->HoveredButton, 0);
    }
}

TEST_F(WindowsTest, MessageWindowShowsItsTextThroughTheSeam) {
    const auto msg = vcl::Create<TFormMsg>(nullptr, false);
    msg->Label1->setText(QString::fromUtf8("Download OK!!\nRestart WINDOWS"));
    msg->ShowModal();
    const auto modals = dialogs.ModalForms();
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].ClassName, "TFormMsg");
    EXPECT_EQ(modals[0].Text("Label1"), "Download OK!!\nRestart WINDOWS");
    EXPECT_EQ(modals[0].Text("Label7"), "Message");
}

TEST_F(WindowsTest, CautionWindowFrameTextAndGlyphPerLanguage) {
    for (const Language& language : kLanguages) {
        const auto caution = vcl::Create<TFormCaution>(nullptr, language.korean);
        EXPECT_EQ(caution->size(), QSize(456, 243));
        EXPECT_EQ(caution->mask().boundingRect(), QRect(0, 0, 456, 243));
        EXPECT_TRUE(caution->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_EQ(caution->HoveredButton, 0);
        EXPECT_EQ(ShownGlyph(caution->SpeedButtonOk), Glyph(caution->ImageListOk, language.okGlyph));
        EXPECT_EQ(ShownGlyph(caution->SpeedButtonCancel), Glyph(caution->ImageListCancel, 0));
        EXPECT_EQ(caution->LabelCaution->text().toStdString(),
                  language.korean ? kCautionKorean : kCautionEnglish);
        EXPECT_EQ(caution->Label7->text(), "Caution");
        EXPECT_TRUE(caution->LabelCaution->font().bold());
        EXPECT_EQ(caution->LabelCaution->palette().color(QPalette::WindowText), QColor(0xF8, 0x49, 0x07));
    }
}

TEST_F(WindowsTest, CautionHoverGlyphsFollowTheHoveredButtonRule) {
    struct Case {
        const char* moves;  // O: over OK, C: over the close button, P: over the picture
        int hovered;
        int okIndex;      // 0 normal, 1 hover (before the language offset)
        int cancelIndex;
    };
    const Case cases[] = {
        {"O", 2, 1, 0},
        {"OP", 0, 0, 0},
        {"C", 1, 0, 1},
        {"CP", 0, 0, 0},
        // Straight from OK onto the close button: the picture then restores
        // only the close button, OK keeps its hover glyph.
        {"OCP", 0, 1, 0},
        {"P", 0, 0, 0},
    };
    for (const Language& language : kLanguages) {
        for (const Case& c : cases) {
            const auto caution = vcl::Create<TFormCaution>(nullptr, language.korean);
            for (const char* m = c.moves; *m != '\0'; ++m)
                MoveOver(*m == 'O' ? static_cast<QWidget*>(caution->SpeedButtonOk)
                         : *m == 'C' ? static_cast<QWidget*>(caution->SpeedButtonCancel)
                                     : caution->ImageAbout);
            EXPECT_EQ(caution->HoveredButton, c.hovered) << c.moves;
            EXPECT_EQ(ShownGlyph(caution->SpeedButtonOk), Glyph(caution->ImageListOk, language.okGlyph + c.okIndex))
                << c.moves;
            EXPECT_EQ(ShownGlyph(caution->SpeedButtonCancel), Glyph(caution->ImageListCancel, c.cancelIndex))
                << c.moves;
        }
    }
}

TEST_F(WindowsTest, EveryButtonOfTheSmallWindowsClosesItsRealModalLoop) {
    vcl::InstallDialogs(nullptr);  // the Qt seam
    vcl::TForm main;
    main.setGeometry(50, 40, 517, 384);
    struct Case {
        const char* name;
        std::function<std::unique_ptr<vcl::TForm>()> make;
        std::function<QAbstractButton*(vcl::TForm&)> button;
    };
    const Case cases[] = {
        {"message OK", [&] { return vcl::Create<TFormMsg>(&main, true); },
         [](vcl::TForm& f) { return static_cast<TFormMsg&>(f).SpeedButtonOk; }},
        {"caution OK", [&] { return vcl::Create<TFormCaution>(&main, false); },
         [](vcl::TForm& f) { return static_cast<TFormCaution&>(f).SpeedButtonOk; }},
        {"caution close", [&] { return vcl::Create<TFormCaution>(&main, false); },
         [](vcl::TForm& f) { return static_cast<TFormCaution&>(f).SpeedButtonCancel; }},
    };
    for (const Case& c : cases) {
        std::unique_ptr<vcl::TForm> form = c.make();
        bool wasUp = false;
        QTimer::singleShot(0, [&] {
            wasUp = form->isVisible() && form->InModalState();
            c.button(*form)->click();
        });
        EXPECT_EQ(form->ShowModal(), vcl::mrCancel) << c.name;
        EXPECT_TRUE(wasUp) << c.name;
        EXPECT_FALSE(form->isVisible()) << c.name;
        EXPECT_LE((form->geometry().center() - main.geometry().center()).manhattanLength(), 2) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Layouts

template <class Ui>
std::unique_ptr<QWidget> Load() {
    auto widget = std::make_unique<QWidget>();
    Ui ui;
    ui.setupUi(widget.get());
    return widget;
}

struct Place {
    const char* name;
    int x, y, w, h;     // -1: not given by the layout table
    const char* text;   // nullptr: not checked
};

struct Layout {
    const char* form;
    std::function<std::unique_ptr<QWidget>()> load;
    QSize size;
    const char* title;
    std::vector<Place> places;
};

std::string TextOf(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text().toStdString();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text().toStdString();
    return widget->property("title").toString().toStdString();
}

TEST(WindowLayouts, EveryComponentIsThereWithItsPlaceAndText) {
    const std::vector<Place> frame = {
        {"ImageAbout", 0, 0, 456, 243, nullptr},
        {"SpeedButtonOk", 193, 193, 60, 21, nullptr},
        {"SpeedButtonCancel", 406, 1, 43, 19, nullptr},
    };
    auto with = [](std::vector<Place> places, std::vector<Place> more) {
        places.insert(places.end(), more.begin(), more.end());
        return places;
    };
    const std::vector<Layout> layouts = {
        {"TMainForm", Load<Ui::TMainForm>, QSize(517, 490), "Flash download for Windows",
         {
             {"ImageMain", 0, 0, 517, 384, nullptr},
             {"Label2", 139, 21, -1, -1, "Flash download for windows"},
             {"LabelSelDrv", 69, 74, 105, -1, nullptr},
             {"ComboBoxDrv", 181, 71, 247, -1, nullptr},
             {"LabelDnFile", 69, 102, 105, -1, nullptr},
             {"StaticTextDnFileInfo", 181, 100, 183, 17, nullptr},
             {"SpeedButtonSearch", 365, 99, 60, 19, nullptr},
             {"LabelTarDrv", 69, 162, 105, -1, nullptr},
             {"LabelTarDrvInfo", 181, 162, 241, -1, nullptr},
             {"LabelCurVer", 69, 183, 105, -1, nullptr},
             {"LabelCurVerInfo", 181, 183, -1, -1, nullptr},
             {"LabelNewVer", 69, 205, 105, -1, nullptr},
             {"LabelNewVerInfo", 181, 205, -1, -1, nullptr},
             {"LabelStatus", 69, 227, 105, -1, nullptr},
             {"LabelStatusInfo", 181, 227, 154, -1, nullptr},
             {"SpeedButtonDown", 349, 224, 59, 19, nullptr},
             {"ProgressBar", 70, 267, 376, 12, nullptr},
             {"LabelCaution1", 48, 310, -1, -1, nullptr},
             {"LabelCaution2", 48, 326, -1, -1, nullptr},
             {"LabelCaution3", 48, 342, -1, -1, nullptr},
             {"LabelNoChk", 14, 56, -1, -1, "NOCHECK"},
             {"LabelBootRewrite", 14, 72, -1, -1, "BOOT"},
             {"LabelForceSuffix", 14, 88, -1, -1, "F_SUFFIX"},
             {"LabelForceNonSuffix", 14, 104, -1, -1, "F_NONSUFFIX"},
             {"SpeedButtonHelp", 440, 1, 26, 18, nullptr},
             {"SpeedButtonExit", 466, 1, 42, 18, nullptr},
             {"ButtonOption", 375, 3, -1, -1, "Option"},
             {"Button1", 376, 456, -1, -1, nullptr},
         }},
        {"TFormMsg", Load<Ui::TFormMsg>, QSize(286, 163), nullptr,
         {
             {"ImageMsg", 0, 0, 286, 163, nullptr},
             {"Label7", -1, -1, -1, -1, "Message"},
             {"Label1", 36, 48, 215, 57, nullptr},
             {"SpeedButtonOk", 113, 114, 60, 21, nullptr},
         }},
        {"TFormCaution", Load<Ui::TFormCaution>, QSize(456, 243), nullptr,
         with(frame, {{"Label7", -1, -1, -1, -1, "Caution"}, {"LabelCaution", 33, 46, 394, 138, nullptr}})},
        {"TFormAbout", Load<Ui::TFormAbout>, QSize(456, 243), nullptr,
         with(frame, {{"Label7", -1, -1, -1, -1, "About"},
                      {"Label1", -1, -1, -1, -1, "PELMORA"},
                      {"Label2", -1, -1, -1, -1, "ver 1.00.c"},
                      {"Label3", -1, -1, -1, -1, "Flash Download For Windows"},
                      {"Label4", -1, -1, -1, -1, "2008.06."},
                      {"Image2", 207, 81, 33, 33, nullptr},
                      {"LabelForEngineer", -1, -1, -1, -1, "for engineer"}})},
        {"TFormEngOption", Load<Ui::TFormEngOption>, QSize(397, 371), "Option for engineer",
         {
             {"GroupBox1", -1, -1, -1, -1, "[ Options ]  "},
             {"ChkNoCheck", -1, -1, -1, -1, "NoCheck"},
             {"CheckBoxBootRewrite", -1, -1, -1, -1, "Rewrite Boot Area"},
             {"RadioGroupFwDrvOption", -1, -1, -1, -1, "[ FW ->  Drive ]"},
             {"RadioGroupFwDrvOption_0", -1, -1, -1, -1, "None"},
             {"RadioGroupFwDrvOption_1", -1, -1, -1, -1, "Suffix FW -> Nonsuffix Drive"},
             {"RadioGroupFwDrvOption_2", -1, -1, -1, -1, "Nonsuffix FW -> Suffix Drive"},
             {"GroupBox2", -1, -1, -1, -1, "[ Check-sum Information ]"},
             {"Label1", -1, -1, -1, -1, "Program Area    :"},
             {"Label2", -1, -1, -1, -1, "Boot Area         : "},
             {"Label3", -1, -1, -1, -1, "Param Area      : "},
             {"EditProgram", -1, -1, -1, -1, nullptr},
             {"EditBoot", -1, -1, -1, -1, nullptr},
             {"EditParam", -1, -1, -1, -1, nullptr},
             {"BtnRefresh", -1, -1, -1, -1, "Refresh"},
             {"OKBtn", -1, -1, -1, -1, "&OK"},
             {"CancelBtn", -1, -1, -1, -1, "&Cancel"},
             {"BtnApply", -1, -1, -1, -1, "&Apply"},
         }},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.form);
        const std::unique_ptr<QWidget> form = layout.load();
        EXPECT_EQ(form->objectName().toStdString(), layout.form);
        EXPECT_EQ(form->size(), layout.size);
        if (layout.title != nullptr) { EXPECT_EQ(form->windowTitle().toStdString(), layout.title); }
        for (const Place& place : layout.places) {
            SCOPED_TRACE(place.name);
            const auto* widget = form->findChild<QWidget*>(place.name);
            ASSERT_NE(widget, nullptr);
            const QRect at = widget->geometry();
            if (place.x >= 0) { EXPECT_EQ(at.topLeft(), QPoint(place.x, place.y)); }
            if (place.w >= 0) { EXPECT_EQ(at.width(), place.w); }
            if (place.h >= 0) { EXPECT_EQ(at.height(), place.h); }
            if (place.text != nullptr) { EXPECT_EQ(TextOf(widget), place.text); }
        }
    }
}

// The named child of the given type; a missing one fails the test instead of
// taking the whole program down.
template <class T>
const T* Child(const QWidget& form, const char* name) {
    const T* child = form.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

TEST(WindowLayouts, MainWindowDetailsTheProgramReliesOn) {
    const std::unique_ptr<QWidget> form = Load<Ui::TMainForm>();
    for (const char* name : {"LabelNoChk", "LabelBootRewrite", "LabelForceSuffix", "LabelForceNonSuffix"})
        if (const auto* label = Child<QWidget>(*form, name)) { EXPECT_TRUE(label->isHidden()) << name; }
    for (const char* name : {"LabelSelDrv", "LabelDnFile", "LabelTarDrv", "LabelCurVer", "LabelNewVer", "LabelStatus"})
        if (const auto* label = Child<QLabel>(*form, name)) {
            EXPECT_TRUE(label->alignment().testFlag(Qt::AlignRight)) << name;
        }
    const auto* bar = Child<QProgressBar>(*form, "ProgressBar");
    const auto* picture = Child<QLabel>(*form, "ImageMain");
    const auto* help = Child<QAbstractButton>(*form, "SpeedButtonHelp");
    ASSERT_TRUE(bar != nullptr && picture != nullptr && help != nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    // The skin is the window's JPEG, which the window decodes itself.
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 517, 384));
    EXPECT_FALSE(help->icon().isNull());  // kept until first hovered
}

}  // namespace
