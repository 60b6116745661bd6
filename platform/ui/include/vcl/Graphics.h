// Pictures, glyphs, colours and fonts as the class library has them.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QAbstractButton;
class QProgressBar;
class QToolButton;
class QWidget;

namespace vcl {

// A class-library colour value 0x00BBGGRR.
QColor ColorFromTColor(uint32_t color);

// The font with Korean glyphs used where a named font is missing.
inline constexpr const char* kFallbackFont = "NanumGothic";

// A list of glyphs of one size.
class TImageList {
public:
    TImageList() = default;
    TImageList(int width, int height) : width_(width), height_(height) {}
    // Glyphs ":/<prefix>_0.png" ... ":/<prefix>_<count-1>.png"; a missing
    // picture becomes a blank glyph of the list's size.
    static TImageList FromResources(const QString& prefix, int count, int width, int height);

    void Add(const QPixmap& glyph);
    int Count() const { return static_cast<int>(glyphs_.size()); }
    // A copy of one glyph; a blank glyph for an index outside the list.
    QPixmap GetBitmap(int index) const;

private:
    int width_ = 16;
    int height_ = 16;
    std::vector<QPixmap> glyphs_;
};

// A speed button: flat, no focus, glyph only.
void MakeSpeedButton(QToolButton* button);
// Gives a button a glyph at its own size.
void SetGlyph(QAbstractButton* button, const QPixmap& glyph);

// Text colour of a label or other widget.
void SetFontColor(QWidget* widget, uint32_t color);
// Font name; falls back to kFallbackFont where the named font is missing.
void SetFontName(QWidget* widget, const std::string& name);
// The bar colour of a progress bar.
void SetProgressBarColor(QProgressBar* bar, uint32_t color);

}  // namespace vcl
