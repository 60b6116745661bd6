#include "gif/GIFGraphic.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <iterator>

namespace gif {

void TGIFGraphic::Draw(QPainter& canvas, const QRect& rect) const {
    if (FImage.GetEmpty() || FImage.GetWidth() == 0 || FImage.GetHeight() == 0) return;
    TGIFSubImage& frame = *FImage.GetImages().GetImage(0);
    if (frame.GetEmpty()) return;
    QImage screen(FImage.GetWidth(), FImage.GetHeight(), QImage::Format_ARGB32);
    screen.fill(Qt::transparent);
    const TGIFColorMap& map = frame.GetActiveColorMap();
    const int transparent = frame.GetTransparentIndex();
    for (int y = 0; y < frame.GetHeight() && frame.GetTop() + y < screen.height(); ++y) {
        const uint8_t* row = frame.GetScanline(y);
        for (int x = 0; x < frame.GetWidth() && frame.GetLeft() + x < screen.width(); ++x) {
            if (row[x] == transparent) continue;
            // Indexes beyond the table show its first colour.
            const TGIFColor c = map.GetCount() == 0 ? TGIFColor{0, 0, 0} : map.GetEntry(row[x] < map.GetCount() ? row[x] : 0);
            screen.setPixel(frame.GetLeft() + x, frame.GetTop() + y, qRgb(c.Red, c.Green, c.Blue));
        }
    }
    canvas.drawImage(rect, screen);
}

void TGIFGraphic::LoadFromStream(std::istream& stream) {
    rtl::TMemoryStream bytes(std::vector<uint8_t>(std::istreambuf_iterator<char>(stream), {}));
    try {
        FImage.LoadFromStream(bytes);
    } catch (const rtl::Exception& e) {
        throw vcl::EInvalidGraphic(e.Message());
    }
    Changed();
}

void TGIFGraphic::SaveToStream(std::ostream& stream) const {
    rtl::TMemoryStream bytes;
    try {
        FImage.SaveToStream(bytes);
    } catch (const rtl::Exception& e) {
        throw vcl::EInvalidGraphic(e.Message());
    }
    stream.write(reinterpret_cast<const char*>(bytes.Memory()), static_cast<std::streamsize>(bytes.GetSize()));
}

void GIFUnitInitialize() {
    vcl::TPicture::RegisterFileFormat("GIF", _sGIFImageFile, vcl::ClassOf<TGIFGraphic>());
    CF_GIF = vcl::RegisterClipboardFormat(_sGIFImageFile);
    vcl::TPicture::RegisterClipboardFormat(CF_GIF, vcl::ClassOf<TGIFGraphic>());
    // Before the application object exists there is no screen to ask; the
    // displays this runs on are then taken as true-colour.
    int bitsPerPixel = 24;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr && QGuiApplication::primaryScreen())
        bitsPerPixel = QGuiApplication::primaryScreen()->depth();
    PaletteDevice = bitsPerPixel <= 8;
    DoAutoDither = PaletteDevice;
}

void GIFUnitFinalize() {
    FreeExtensionRegistries();
    vcl::TPicture::UnregisterGraphicClass(vcl::ClassOf<TGIFGraphic>());
}

}  // namespace gif
