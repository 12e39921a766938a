#pragma once

#include <QBackingStore>
#include <QImage>
#include <QWidget>
#include <qpa/qplatformbackingstore.h>

// What the window of `widget` shows of it now: its part of the window's
// backing store, as the last paint left it. Unlike QWidget::grab(), which
// paints the widget afresh, this shows a change that asked for no repaint
// as missing. For the offscreen platform, whose backing store is an image.
inline QImage onScreen(const QWidget& widget)
{
    const QWidget* window = widget.window();
    QBackingStore* store = window->backingStore();
    if (!store || !store->handle())
        return {};
    const qreal ratio = window->devicePixelRatio();
    const QRect place(widget.mapTo(window, QPoint(0, 0)) * ratio, widget.size() * ratio);
    return store->handle()->toImage().copy(place).convertToFormat(QImage::Format_RGB32);
}
