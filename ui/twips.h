#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace fretmap {

// The windows are designed in twips, 1/1440 inch; at 96 dots per inch 15 twips
// make one pixel. Every design number passes through here on its way to Qt.
inline constexpr int kTwipsPerPixel = 15;

// A place and size in twips, measured from the top-left of the container's
// client area.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Rounds to the nearest pixel; every design number is a multiple of 15, so
// nothing is actually rounded.
constexpr int twipsToPixels(int twips)
{
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

constexpr QPoint twipsToPixels(QPoint twips)
{
    return {twipsToPixels(twips.x()), twipsToPixels(twips.y())};
}

constexpr QSize twipsToPixels(QSize twips)
{
    return {twipsToPixels(twips.width()), twipsToPixels(twips.height())};
}

constexpr QRect twipsToPixels(const TwipsRect& r)
{
    return {twipsToPixels(r.left), twipsToPixels(r.top),
            twipsToPixels(r.width), twipsToPixels(r.height)};
}

} // namespace fretmap
