// The glyphs a window's buttons show, beside those of its image lists, and
// the mouse moved over a widget (buttons show their hover glyph then).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include "vcl/Graphics.h"

namespace testsupport {

inline QImage ShownGlyph(const QAbstractButton* button) {
    return button->icon().pixmap(button->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32);
}

inline QImage Glyph(const vcl::TImageList& list, int index) {
    return list.GetBitmap(index).toImage().convertToFormat(QImage::Format_ARGB32);
}

inline void MoveOver(QWidget* widget) {
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

}  // namespace testsupport
