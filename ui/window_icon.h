#pragma once

#include "qt_text.h"

#include <QIcon>

#include <span>
#include <string_view>

namespace fretmap {

// A window icon from renders of one picture at several sizes: title bars,
// task switchers and high-dpi screens each get a render of their own size
// instead of a scaled copy of one image.
inline QIcon iconFromRenders(std::span<const std::string_view> renders)
{
    QIcon icon;
    for (std::string_view path : renders)
        icon.addFile(toQString(path));
    return icon;
}

} // namespace fretmap
