#pragma once

// The design of the about window in one place. Places and sizes are in twips,
// as drawn in the forms designer, and reach Qt only through twipsToPixels();
// the few numbers in pixels (the font's size, a line's thickness) and in
// points say so where they stand.

#include "twips.h"
#include "window_icon.h"

#include <array>
#include <string_view>

namespace fretmap::frmabout {

// Six characters: the trailing space is part of the caption.
inline constexpr std::string_view kCaption = "About ";

// The client area, placed on the screen itself: not centred, and not
// relative to the main window.
inline constexpr TwipsRect kClientArea{2340, 1935, 5730, 3375};

// The window keeps its designed colours whatever the desktop's palette:
// black texts on a light grey face, on which the grey and white rule reads as
// an etched groove. The button face of the classic light desktop.
inline constexpr unsigned kFaceRgb = 0xF0F0F0;

// The window icon, rendered at each size a title bar or task switcher asks for.
inline constexpr std::array kIcon{
    IconRender{":/icons/frmabout-16.png", 16}, IconRender{":/icons/frmabout-32.png", 32},
    IconRender{":/icons/frmabout-48.png", 48}, IconRender{":/icons/frmabout-64.png", 64},
    IconRender{":/icons/frmabout-128.png", 128}};
// The picture in picIcon, 32 x 32 pixels as designed, with a render at twice
// the size for screens of twice the density.
inline constexpr int kPictureSize = 32; // pixels
inline constexpr std::array kPicture{IconRender{":/icons/about_picture-32.png", 32},
                                     IconRender{":/icons/about_picture-64.png", 64}};
// What a screen reader calls the picture, which takes the focus by Tab.
inline constexpr std::string_view kPictureName = "Acoustic guitar";

// The window's default font, used by every control without a font of its
// own. It is given in pixels because the label boxes are: at 11 pixels each
// one-line text fits its 12-pixel-high box.
inline constexpr std::string_view kFontFamily = "Liberation Sans";
inline constexpr int kFontPixelSize = 11;

enum class Kind {
    Button,
    Picture,
    Label
};

struct ControlDesign {
    std::string_view name;
    Kind kind;
    TwipsRect place;
    std::string_view text;
    // Labels only: centred (else left-aligned), wrapped at word boundaries.
    bool centred = false;
    bool wrapped = false;
    // A font of the control's own; an empty family means the window's font.
    std::string_view fontFamily = {};
    double pointSize = 0;
    bool bold = false;
};

// In tab order.
// clang-format off
inline constexpr std::array kControls{
    // The one button: default and cancel button, so Enter and Esc press it.
    ControlDesign{"cmdOK", Kind::Button, {4245, 2625, 1380, 345}, "OK"},
    // The program's picture, kPicture, in a sunken box just big enough for it.
    ControlDesign{"picIcon", Kind::Picture, {2400, 120, 540, 540}, ""},
    // Bottom left, beside OK.
    ControlDesign{"lblDisclaimer", Kind::Label, {255, 2625, 3870, 585},
                  "Caution:... It is free software . Please use at your own risk.",
                  false, true},
    // The program's name, large, under the picture.
    ControlDesign{"lblTitle", Kind::Label, {720, 960, 3885, 480}, "Fretmap",
                  true, false, "Times New Roman", 20.25, true},
    ControlDesign{"lblVersion", Kind::Label, {2160, 1560, 1005, 180}, "Version 1.0.0", true},
    // What the program is.
    ControlDesign{"lblDescription", Kind::Label, {1800, 1800, 1665, 180},
                  "Guitar chord chart", true},
    // When it was made.
    ControlDesign{"lblYear", Kind::Label, {2400, 2040, 585, 180}, "\u00A9 2026", true},
};
// clang-format on

// The etched rule between the texts and the disclaimer: a grey line with a
// white one under it. Both are elements of the line array Line1.
struct LineDesign {
    int index;
    int left;
    int right;
    int top;
    int thickness; // pixels
    unsigned rgb;
};

inline constexpr std::array kLine1{
    LineDesign{1, 90, 5654, 2445, 1, 0x808080},
    LineDesign{0, 105, 5654, 2460, 2, 0xFFFFFF},
};

} // namespace fretmap::frmabout
