#include "vcl/Graphics.h"

#include <QAbstractButton>
#include <QFont>
#include <QPalette>
#include <QProgressBar>
#include <QToolButton>
#include <QWidget>

namespace vcl {

QColor ColorFromTColor(uint32_t color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

namespace {
QPixmap Blank(int width, int height) {
    QPixmap blank(width, height);
    blank.fill(Qt::transparent);
    return blank;
}
}  // namespace

TImageList TImageList::FromResources(const QString& prefix, int count, int width, int height) {
    TImageList list(width, height);
    for (int i = 0; i < count; ++i) {
        QPixmap glyph(QStringLiteral(":/%1_%2.png").arg(prefix).arg(i));
        list.Add(glyph.isNull() ? Blank(width, height) : glyph);
    }
    return list;
}

void TImageList::Add(const QPixmap& glyph) { glyphs_.push_back(glyph); }

QPixmap TImageList::GetBitmap(int index) const {
    if (index < 0 || index >= Count()) return Blank(width_, height_);
    return glyphs_[static_cast<size_t>(index)].copy();
}

void MakeSpeedButton(QToolButton* button) {
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
}

void SetGlyph(QAbstractButton* button, const QPixmap& glyph) {
    button->setIcon(QIcon(glyph));
    button->setIconSize(glyph.size());
}

void SetFontColor(QWidget* widget, uint32_t color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ColorFromTColor(color));
    widget->setPalette(palette);
}

void SetFontName(QWidget* widget, const std::string& name) {
    QFont font = widget->font();
    font.setFamilies({QString::fromStdString(name), QString::fromLatin1(kFallbackFont)});
    widget->setFont(font);
}

void SetProgressBarColor(QProgressBar* bar, uint32_t color) {
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, ColorFromTColor(color));
    bar->setPalette(palette);
}

}  // namespace vcl
