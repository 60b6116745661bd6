// Draws the download program's placeholder pictures: the skin of the main
// window and the glyphs of its image lists, each of its right size with its
// text on it.  The program's own artwork replaces them later.
//
//   MakePlaceholders <output directory>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>

#include <cstdio>
#include <vector>

namespace {

struct GlyphList {
    const char* name;
    int width;
    int height;
    // Each text gives two glyphs: normal, then hover.
    std::vector<const char*> texts;
};

const std::vector<GlyphList> kLists = {
    {"ImageListOk", 61, 22, {"확인", "OK"}},
    {"ImageListCancel", 44, 20, {"X"}},
    {"ImageListSearchDownKr", 61, 20, {"다운로드", "찾기"}},
    {"ImageListSearch_en", 61, 20, {"Search"}},
    {"ImageListDown_en", 70, 20, {"Download"}},
    {"ImageListHelp", 27, 19, {"?"}},
    {"ImageListExit", 43, 19, {"Exit"}},
};

QFont GlyphFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("NanumGothic"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

QImage Glyph(int width, int height, const QString& text, bool hover) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(hover ? QColor(0x3A, 0x6E, 0xA5) : QColor(0xE8, 0xE8, 0xE8));
    QPainter painter(&image);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.setPen(hover ? Qt::white : QColor(0x1F, 0x3F, 0x7A));
    painter.setFont(GlyphFont(height * 11 / 20));
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

QImage MainPicture() {
    QImage image(517, 384, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QLinearGradient band(0, 0, 517, 0);
    band.setColorAt(0, QColor(0x1F, 0x3F, 0x7A));
    band.setColorAt(1, QColor(0x3A, 0x6E, 0xA5));
    painter.fillRect(0, 0, 517, 48, band);
    painter.setPen(QColor(0xB0, 0xC4, 0xDE));
    painter.drawRect(0, 0, 516, 383);
    painter.drawLine(40, 300, 476, 300);
    return image;
}

QImage Icon() {
    QImage image(33, 33, QImage::Format_ARGB32);
    image.fill(QColor(0x1F, 0x3F, 0x7A));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.setFont(GlyphFont(22));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("P"));
    return image;
}

bool Save(const QImage& image, const QDir& dir, const QString& name) {
    if (image.save(dir.filePath(name), "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    bool ok = Save(MainPicture(), dir, QStringLiteral("ImageMain.png")) &&
              Save(Icon(), dir, QStringLiteral("Image2.png"));
    for (const GlyphList& list : kLists) {
        int index = 0;
        for (const char* text : list.texts)
            for (bool hover : {false, true})
                ok = ok && Save(Glyph(list.width, list.height, QString::fromUtf8(text), hover), dir,
                                QStringLiteral("%1_%2.png").arg(QLatin1String(list.name)).arg(index++));
    }
    return ok ? 0 : 1;
}
