// Draws the download program's artwork from shapes and the Nanum fonts
// (SIL Open Font License, Debian package fonts-nanum): the main window's
// skin (517 by 384, written as a JPEG with libjpeg's compression interface),
// every glyph of its image lists in both languages and both states, and the
// about box's icon.  Run at build time; the pictures go with the layouts.
//
//   MakeArtwork <output directory>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "JpegEncoder.h"
#include "PictureTools.h"

namespace {

const char kFontDir[] = "/usr/share/fonts/truetype/nanum/";
QString g_textFamily;  // NanumSquareRound: rounded glyph lettering

// The program's colours.
const QColor kNavy(0x17, 0x33, 0x5E);
const QColor kBlue(0x2C, 0x64, 0xA8);
const QColor kSky(0x6F, 0xA8, 0xDC);
const QColor kOrange(0xF0, 0x8C, 0x1E);
const QColor kPaper(0xF3, 0xF6, 0xFA);
const QColor kLine(0xB5, 0xC5, 0xD9);

QFont TextFont(int pixelSize) {
    QFont font(g_textFamily);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QPainterPath Rounded(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// ---------------------------------------------------------------------------
// Glyphs: a rounded key with its word, cool and quiet normally, warm when the
// mouse is over it.

enum class Look { Normal, Hover };

struct KeyStyle {
    QColor top, bottom, border, text;
};

KeyStyle StyleOf(Look look, bool onBand) {
    if (look == Look::Hover)
        return {QColor(0xFA, 0xA6, 0x3C), QColor(0xD2, 0x68, 0x06), QColor(0x9A, 0x4B, 0x02), Qt::white};
    if (onBand) return {QColor(0x4A, 0x80, 0xC4), QColor(0x23, 0x4F, 0x8C), QColor(0x12, 0x2A, 0x4E), Qt::white};
    return {Qt::white, QColor(0xD5, 0xE2, 0xF1), QColor(0x7E, 0x9C, 0xC4), kNavy};
}

void DrawKey(QPainter& painter, const QRectF& rect, const KeyStyle& style) {
    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0, style.top);
    fill.setColorAt(1, style.bottom);
    painter.setPen(QPen(style.border, 1));
    painter.setBrush(fill);
    painter.drawPath(Rounded(rect, rect.height() / 2.5));
    // A soft shine over the upper half.
    QLinearGradient shine(rect.topLeft(), QPointF(rect.left(), rect.center().y()));
    shine.setColorAt(0, QColor(255, 255, 255, 110));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawPath(Rounded(rect.adjusted(2, 1, -2, -rect.height() / 2), rect.height() / 3));
}

using Face = std::function<void(QPainter&, const KeyStyle&, const QRectF&)>;

// A key of the given size with its face drawn over it.
QImage Key(int width, int height, Look look, bool onBand, const Face& face) {
    return artwork::DrawPicture(width, height, QImage::Format_ARGB32_Premultiplied, [&](QPainter& painter) {
        const KeyStyle style = StyleOf(look, onBand);
        DrawKey(painter, QRectF(0.5, 0.5, width - 1, height - 1), style);
        face(painter, style, QRectF(0, 0, width, height));
    });
}

// A key with a word (or a sign) on it, its letters textScale of its height.
auto Word(const char* text, bool onBand = false, double textScale = 0.55) {
    return [=](int width, int height, Look look) {
        return Key(width, height, look, onBand, [&](QPainter& painter, const KeyStyle& style, const QRectF& rect) {
            painter.setFont(TextFont(static_cast<int>(height * textScale)));
            painter.setPen(style.text);
            painter.drawText(rect, Qt::AlignCenter, QString::fromUtf8(text));
        });
    };
}

// The frame's close key: a cross.
QImage CloseKey(int width, int height, Look look) {
    return Key(width, height, look, false, [&](QPainter& painter, const KeyStyle& style, const QRectF& rect) {
        painter.setPen(QPen(style.text, 2.2, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = rect.center();
        const qreal r = height * 0.2;
        painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
    });
}

// ---------------------------------------------------------------------------
// The skin

// A stylised optical disc: silver rings with a rainbow sheen and a hole.
void DrawDisc(QPainter& painter, const QPointF& centre, qreal radius) {
    QRadialGradient silver(centre, radius);
    silver.setColorAt(0.0, QColor(0xF4, 0xF7, 0xFB));
    silver.setColorAt(0.55, QColor(0xC9, 0xD6, 0xE6));
    silver.setColorAt(0.8, QColor(0xE9, 0xD7, 0xF0));
    silver.setColorAt(0.92, QColor(0xCF, 0xEA, 0xE4));
    silver.setColorAt(1.0, QColor(0x9F, 0xB3, 0xCC));
    painter.setPen(QPen(QColor(0x0E, 0x22, 0x40), 1));
    painter.setBrush(silver);
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 140), 1));
    painter.drawEllipse(centre, radius * 0.72, radius * 0.72);
    painter.setPen(QPen(QColor(0x7D, 0x93, 0xB0), 1));
    painter.setBrush(QColor(0xDD, 0xE5, 0xEF));
    painter.drawEllipse(centre, radius * 0.34, radius * 0.34);
    painter.setBrush(kNavy);
    painter.drawEllipse(centre, radius * 0.13, radius * 0.13);
}

// A down arrow into a tray: the firmware going into the drive.
void DrawDownArrow(QPainter& painter, const QRectF& box, const QColor& color) {
    const qreal w = box.width();
    const qreal h = box.height();
    QPolygonF arrow;
    arrow << QPointF(box.left() + w * 0.35, box.top()) << QPointF(box.left() + w * 0.65, box.top())
          << QPointF(box.left() + w * 0.65, box.top() + h * 0.45) << QPointF(box.left() + w * 0.9, box.top() + h * 0.45)
          << QPointF(box.left() + w * 0.5, box.top() + h * 0.85) << QPointF(box.left() + w * 0.1, box.top() + h * 0.45)
          << QPointF(box.left() + w * 0.35, box.top() + h * 0.45);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPolygon(arrow);
    painter.drawRoundedRect(QRectF(box.left(), box.top() + h * 0.9, w, h * 0.1), 1, 1);
}

void DrawWarningSign(QPainter& painter, const QRectF& box) {
    QPolygonF triangle;
    triangle << QPointF(box.center().x(), box.top()) << box.bottomRight() << box.bottomLeft();
    painter.setPen(QPen(QColor(0xA8, 0x5A, 0x00), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, QColor(0xFF, 0xD2, 0x4A));
    fill.setColorAt(1, QColor(0xF4, 0x9E, 0x12));
    painter.setBrush(fill);
    painter.drawPolygon(triangle);
    painter.setPen(QPen(QColor(0x4A, 0x2A, 0x00), 2.4, Qt::SolidLine, Qt::RoundCap));
    const qreal x = box.center().x();
    painter.drawLine(QPointF(x, box.top() + box.height() * 0.38), QPointF(x, box.top() + box.height() * 0.68));
    painter.drawPoint(QPointF(x, box.top() + box.height() * 0.84));
}

QImage Skin() {
    const int width = 517;
    const int height = 384;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Body: a light paper colour, a little cooler towards the bottom.
    QLinearGradient body(0, 0, 0, height);
    body.setColorAt(0, Qt::white);
    body.setColorAt(1, QColor(0xE4, 0xEB, 0xF4));
    painter.fillRect(0, 0, width, height, body);

    // Title band with its shine and an orange rule under it.
    QLinearGradient band(0, 0, 0, 46);
    band.setColorAt(0, kBlue);
    band.setColorAt(1, kNavy);
    painter.fillRect(0, 0, width, 46, band);
    QLinearGradient bandShine(0, 0, 0, 22);
    bandShine.setColorAt(0, QColor(255, 255, 255, 70));
    bandShine.setColorAt(1, QColor(255, 255, 255, 10));
    painter.fillRect(0, 0, width, 22, bandShine);
    // Faint tracks running across the band, like a disc's grooves seen edge on.
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (int i = 0; i < 6; ++i) painter.drawArc(QRectF(300 + i * 14, -80 + i * 6, 420, 200), 180 * 16, 60 * 16);
    painter.fillRect(0, 46, width, 3, kOrange);
    painter.fillRect(0, 49, width, 1, QColor(0xC0, 0x66, 0x0A));

    // The program's mark in front of the title: a disc with the arrow.
    DrawDisc(painter, QPointF(112, 26), 17);
    DrawDownArrow(painter, QRectF(104, 14, 16, 20), kOrange);

    // The drive and file panel.
    const QRectF panel(54, 60, 410, 192);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1B, 0x36, 0x5F, 28));
    painter.drawPath(Rounded(panel.translated(2, 3), 8));
    painter.setPen(QPen(kLine, 1));
    painter.setBrush(Qt::white);
    painter.drawPath(Rounded(panel, 8));
    // Its left strip behind the names.
    QPainterPath strip = Rounded(panel, 8).intersected(Rounded(QRectF(panel.left(), panel.top(), 124, panel.height()), 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPaper);
    painter.drawPath(strip);
    painter.setPen(QPen(kLine, 1));
    painter.drawLine(QPointF(panel.left() + 124, panel.top() + 1), QPointF(panel.left() + 124, panel.bottom() - 1));
    // The rule between the choice of drive and file and what they show.
    painter.setPen(QPen(QColor(0xD6, 0xE0, 0xEC), 1, Qt::DashLine));
    painter.drawLine(QPointF(panel.left() + 8, 139.5), QPointF(panel.right() - 8, 139.5));
    // Small discs by the two halves.
    for (qreal y : {86.0, 194.0}) {
        painter.setPen(QPen(kSky, 1.4));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(63, y), 4, 4);
        painter.setBrush(kSky);
        painter.drawEllipse(QPointF(63, y), 1.2, 1.2);
    }
    // Wells behind the values.
    painter.setPen(QPen(QColor(0xDD, 0xE5, 0xEF), 1));
    painter.setBrush(QColor(0xF7, 0xF9, 0xFC));
    for (const QRectF& well : {QRectF(178, 160, 248, 19), QRectF(178, 181, 248, 19), QRectF(178, 203, 248, 19),
                               QRectF(178, 225, 160, 19)})
        painter.drawRoundedRect(well.adjusted(0.5, -0.5, 0.5, -0.5), 4, 4);

    // The progress groove.
    const QRectF groove(64, 261, 388, 24);
    QLinearGradient grooveFill(groove.topLeft(), groove.bottomLeft());
    grooveFill.setColorAt(0, QColor(0xC9, 0xD5, 0xE5));
    grooveFill.setColorAt(1, QColor(0xF2, 0xF5, 0xF9));
    painter.setPen(QPen(QColor(0x93, 0xA8, 0xC4), 1));
    painter.setBrush(grooveFill);
    painter.drawPath(Rounded(groove.adjusted(0.5, 0.5, -0.5, -0.5), 12));

    // The caution note.
    const QRectF note(12, 298, 493, 68);
    painter.setPen(QPen(QColor(0xE6, 0xC2, 0x72), 1));
    painter.setBrush(QColor(0xFF, 0xF8, 0xE4));
    painter.drawPath(Rounded(note.adjusted(0.5, 0.5, -0.5, -0.5), 7));
    painter.fillRect(QRectF(note.left() + 1, note.top() + 8, 3, note.height() - 16), kOrange);
    DrawWarningSign(painter, QRectF(20, 313, 22, 20));

    // The window's edge, inside its rounded region.
    painter.setPen(QPen(QColor(0x0E, 0x22, 0x40), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(Rounded(QRectF(0.5, 0.5, width - 1, height - 1), 4.5));
    return image;
}

// The about box's icon (33 by 33): the disc and the arrow.
QImage Icon() {
    return artwork::DrawPicture(33, 33, QImage::Format_ARGB32_Premultiplied, [](QPainter& painter) {
        DrawDisc(painter, QPointF(16.5, 16.5), 15.5);
        DrawDownArrow(painter, QRectF(9, 6, 15, 20), kOrange);
    });
}

// ---------------------------------------------------------------------------
// Writing

bool WriteJpeg(const QImage& picture, const QString& path) {
    const std::string bytes = artwork::EncodeJpeg(picture, 92);
    std::FILE* file = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

struct GlyphList {
    const char* name;
    int width;
    int height;
    // Each entry gives two glyphs: normal, then hover.
    std::vector<std::function<QImage(int, int, Look)>> keys;
};

}  // namespace

int main(int argc, char** argv) {
    QDir dir;
    if (const int status = artwork::OutputDirectory(argc, argv, dir); status != 0) return status;
    QGuiApplication app(argc, argv);
    const int font = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontDir) + "NanumSquareRoundB.ttf");
    if (font < 0 || QFontDatabase::applicationFontFamilies(font).isEmpty()) {
        std::fprintf(stderr, "cannot load %sNanumSquareRoundB.ttf (Debian package fonts-nanum)\n", kFontDir);
        return 1;
    }
    g_textFamily = QFontDatabase::applicationFontFamilies(font).front();

    bool ok = true;
    const auto save = [&](const QImage& image, const QString& name) {
        ok = artwork::SavePicture(image, dir, name, "PNG") && ok;
    };
    if (!WriteJpeg(Skin(), dir.filePath(QStringLiteral("ImageMain.jpg")))) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(QStringLiteral("ImageMain.jpg"))));
        ok = false;
    }
    save(Icon(), QStringLiteral("Image2.png"));

    const std::vector<GlyphList> lists = {
        {"ImageListOk", 61, 22, {Word("확인"), Word("OK")}},
        {"ImageListCancel", 44, 20, {CloseKey}},
        {"ImageListSearchDownKr", 61, 20, {Word("다운로드"), Word("찾기")}},
        {"ImageListSearch_en", 61, 20, {Word("Search")}},
        {"ImageListDown_en", 70, 20, {Word("Download")}},
        {"ImageListHelp", 27, 19, {Word("?", true, 0.75)}},
        {"ImageListExit", 43, 19, {Word("Exit", true)}},
    };
    for (const GlyphList& list : lists) {
        int index = 0;
        for (const auto& key : list.keys)
            for (Look look : {Look::Normal, Look::Hover})
                save(key(list.width, list.height, look),
                     QStringLiteral("%1_%2.png").arg(QLatin1String(list.name)).arg(index++));
    }
    return ok ? 0 : 1;
}
