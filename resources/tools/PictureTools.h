// What the programs that draw the pictures at build time share: a canvas to
// draw a picture on, the output directory from the command line, and saving
// a picture there with a message when it cannot be written.
#pragma once

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>

namespace artwork {

// A width by height picture, cleared to transparent (black where the format
// has no alpha), drawn by draw(QPainter&) with antialiasing.
template <typename Draw>
QImage DrawPicture(int width, int height, QImage::Format format, Draw&& draw) {
    QImage image(width, height, format);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

// The directory named by the only argument, made when it is missing.  0, or
// the exit status after the reason went to stderr (2: usage, 1: cannot make).
inline int OutputDirectory(int argc, char** argv, QDir& dir) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    dir = QDir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    return 0;
}

// Writes the picture as dir/name in the format ("PNG", "BMP"); false after
// saying so on stderr.
inline bool SavePicture(const QImage& image, const QDir& dir, const QString& name, const char* format) {
    if (image.save(dir.filePath(name), format)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
    return false;
}

}  // namespace artwork
