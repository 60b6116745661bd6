// Renders every window of Pelmora headless, in English and in Korean, to PNG
// files, so that the skin, the glyphs and the texts can be looked at without
// a display.  Not part of Pelmora: it runs the program's windows on a
// simulated machine with one drive and a firmware file that fits it.
//
//   render_windows <output directory>
//
// Files: <window>-<en|ko>.png for TMainForm (as started, and after the file
// was opened), TFormMsg, TFormCaution, TFormAbout and TFormEngOption; and
// glyphs-<en|ko>.png with every glyph of the main window in both states.
// Parts outside a window's rounded region are transparent.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "download/Pelmoraabout.h"
#include "download/Pelmoracaution.h"
#include "download/Pelmoraengineeroption.h"
#include "download/Pelmoramain.h"
#include "download/Pelmorasmallmsg.h"
#include "simdrive/FirmwareImage.h"
#include "simdrive/SimMachine.h"
#include "vcl/Dialogs.h"
#include "vcl/Forms.h"

namespace {

// The window as it shows on the screen: its picture cut to its region.
QImage Capture(QWidget* window) {
    window->show();
    QApplication::processEvents();
    const QImage full = window->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (window->mask().isEmpty()) return full;
    QImage cut(full.size(), QImage::Format_ARGB32_Premultiplied);
    cut.fill(Qt::transparent);
    QPainter painter(&cut);
    painter.setClipRegion(window->mask());
    painter.drawImage(0, 0, full);
    return cut;
}

// Every glyph list of the main window, one row per list: each glyph normal,
// then under the mouse, on the window's white.
QImage GlyphSheet(const TMainForm& form) {
    const std::vector<std::pair<const vcl::TImageList*, int>> lists = {
        {&form.ImageListSearchDownKr, 4}, {&form.ImageListSearch_en, 2}, {&form.ImageListDown_en, 2},
        {&form.ImageListHelp, 2},         {&form.ImageListExit, 2}};
    QImage sheet(4 * 80 + 10, static_cast<int>(lists.size()) * 30 + 10, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int y = 10;
    for (const auto& [list, count] : lists) {
        for (int i = 0; i < count; ++i) painter.drawPixmap(10 + i * 80, y, list->GetBitmap(i));
        y += 30;
    }
    return sheet;
}

bool Save(const QImage& image, const QDir& dir, const std::string& name) {
    const QString path = dir.filePath(QString::fromStdString(name + ".png"));
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "render_windows: cannot write %s\n", qPrintable(path));
    return false;
}

bool RenderLanguage(bool korean, const QDir& dir, const std::string& firmware) {
    const std::string suffix = korean ? "-ko" : "-en";
    sim::SimMachine machine;
    machine.SetNtFamily();
    machine.LanguageId = korean ? 0x412 : 0x409;
    machine.AttachDriveAtLetter('d');
    machine.Install();
    vcl::RecordingDialogs dialogs;
    vcl::InstallDialogs(&dialogs);
    vcl::InstallMessageBoxService();

    vcl::Application.Title = "Pelmora";
    vcl::Application.CreateForm(MainForm);
    vcl::Application.CreateForm(FormAbout, korean);
    vcl::Application.CreateForm(FormEngOption);

    bool ok = Save(Capture(MainForm), dir, "TMainForm" + suffix);
    dialogs.QueueOpenFile(firmware);
    MainForm->SpeedButtonSearchClick();
    ok = Save(Capture(MainForm), dir, "TMainForm-opened" + suffix) && ok;
    ok = Save(GlyphSheet(*MainForm), dir, "glyphs" + suffix) && ok;

    auto message = vcl::Create<TFormMsg>(MainForm, korean);
    message->Label1->setText(QString::fromUtf8(korean ? "드라이브가 변경되었습니다.\nSIMDRIVEDVD-RW SD-1000 1.00"
                                                       : "Change Drive\nSIMDRIVEDVD-RW SD-1000 1.00"));
    ok = Save(Capture(message.get()), dir, "TFormMsg" + suffix) && ok;
    message.reset();

    auto caution = vcl::Create<TFormCaution>(MainForm, korean);
    ok = Save(Capture(caution.get()), dir, "TFormCaution" + suffix) && ok;
    caution.reset();

    ok = Save(Capture(FormAbout), dir, "TFormAbout" + suffix) && ok;
    ok = Save(Capture(FormEngOption), dir, "TFormEngOption" + suffix) && ok;

    vcl::Application.Reset();
    MainForm = nullptr;
    FormAbout = nullptr;
    FormEngOption = nullptr;
    vcl::InstallDialogs(nullptr);
    QApplication::processEvents();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render_windows: cannot make %s\n", argv[1]);
        return 1;
    }
    // A firmware file that fits the simulated drive, with a newer revision.
    sim::FirmwareImageLayout layout;
    layout.Revision = "1.01";
    const std::string firmware = dir.filePath(QStringLiteral("SD1000.BIN")).toStdString();
    std::string error;
    if (!sim::WriteFirmwareImage(firmware, layout, error)) {
        std::fprintf(stderr, "render_windows: %s\n", error.c_str());
        return 1;
    }

    vcl::Application.Initialize(argc, argv);
    bool ok = RenderLanguage(false, dir, firmware);
    ok = RenderLanguage(true, dir, firmware) && ok;
    vcl::Application.Finalize();
    QFile::remove(QString::fromStdString(firmware));
    if (ok) std::printf("render_windows: windows written to %s\n", qPrintable(dir.absolutePath()));
    return ok ? 0 : 1;
}
