// Draws the diagnostic program's pictures: the 500 x 500 splash (24 bits per
// pixel) and the about box's 32 x 32 icon, both the program's own artwork.
//
//   MakeCorvanPictures <output directory>
#include <QColor>
#include <QConicalGradient>
#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QString>

#include "PictureTools.h"

namespace {

// An optical disc seen from above: the rainbow of the data side, the clear
// ring and the hole.
void DrawDisc(QPainter& painter, QPointF centre, double radius) {
    QConicalGradient shine(centre, 30);
    const QColor colours[] = {QColor(0xC8, 0xD8, 0xF0), QColor(0xF0, 0xC8, 0xE8), QColor(0xF8, 0xF0, 0xC0),
                              QColor(0xC0, 0xF0, 0xD8), QColor(0xC8, 0xD8, 0xF0)};
    for (int i = 0; i < 5; ++i) shine.setColorAt(i / 4.0, colours[i]);
    painter.setPen(QPen(QColor(0x70, 0x80, 0x98), radius / 60));
    painter.setBrush(shine);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xE8, 0xEC, 0xF2));
    painter.drawEllipse(centre, radius * 0.32, radius * 0.32);
    painter.setBrush(QColor(0x1A, 0x2A, 0x48));
    painter.drawEllipse(centre, radius * 0.12, radius * 0.12);
}

QImage Splash() {
    return artwork::DrawPicture(500, 500, QImage::Format_RGB888, [](QPainter& painter) {
        QLinearGradient sky(0, 0, 0, 500);
        sky.setColorAt(0, QColor(0x10, 0x22, 0x44));
        sky.setColorAt(1, QColor(0x2C, 0x5A, 0x8C));
        painter.fillRect(QRect(0, 0, 500, 500), sky);
        DrawDisc(painter, QPointF(250, 210), 150);
        // The laser's track across the disc.
        painter.setPen(QPen(QColor(0xFF, 0x50, 0x40), 3));
        painter.drawLine(QPointF(250, 210), QPointF(390, 120));
        painter.setPen(Qt::white);
        QFont title;
        title.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
        title.setPixelSize(46);
        title.setBold(true);
        painter.setFont(title);
        painter.drawText(QRect(0, 380, 500, 56), Qt::AlignCenter, QStringLiteral("Corvan CE"));
        QFont line = title;
        line.setPixelSize(18);
        line.setBold(false);
        painter.setFont(line);
        painter.drawText(QRect(0, 436, 500, 28), Qt::AlignCenter, QStringLiteral("CD / DVD drive diagnostic"));
    });
}

QImage Icon() {
    return artwork::DrawPicture(32, 32, QImage::Format_ARGB32,
                                [](QPainter& painter) { DrawDisc(painter, QPointF(16, 16), 15); });
}

}  // namespace

int main(int argc, char** argv) {
    QDir dir;
    if (const int status = artwork::OutputDirectory(argc, argv, dir); status != 0) return status;
    QGuiApplication app(argc, argv);
    const bool ok = artwork::SavePicture(Splash(), dir, QStringLiteral("Splash.bmp"), "BMP") &&
                    artwork::SavePicture(Icon(), dir, QStringLiteral("Icon.png"), "PNG");
    return ok ? 0 : 1;
}
