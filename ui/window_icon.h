#pragma once

#include "qt_text.h"

#include <QIcon>

#include <span>
#include <string_view>

namespace fretmap {

// One render of a window icon: its resource path and its size in pixels.
struct IconRender {
    std::string_view path;
    int size;
};

// A window icon from renders of one picture at several sizes: title bars,
// task switchers and high-dpi screens each get a render of their own size
// instead of a scaled copy of one image. Given their sizes, the renders are
// read only when a size is asked for, not all of them at start-up.
inline QIcon iconFromRenders(std::span<const IconRender> renders)
{
    QIcon icon;
    for (const IconRender& render : renders)
        icon.addFile(toQString(render.path), QSize(render.size, render.size));
    return icon;
}

} // namespace fretmap
