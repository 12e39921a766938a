#pragma once

// The design of the main window in one place: every number is in twips, as
// drawn in the forms designer, and reaches Qt only through twipsToPixels().

#include "twips.h"

#include <array>
#include <span>
#include <string_view>

namespace fretmap::form1 {

inline constexpr std::string_view kCaption = "Fretmap";
inline constexpr int kClientWidth = 7005;
inline constexpr int kClientHeight = 3525;

// The font of the lists, the button and the frames: small enough for a list
// row of 12 pixels and for "sus4" within a list's width.
inline constexpr double kClientFontPointSize = 7.5;

// Container of a control: the window's client area, or one of the frames.
enum class Container {
    Window,
    Frame3,
    Frame4,
    Frame5
};

struct ControlDesign {
    std::string_view name;
    TwipsRect place;
};

inline constexpr ControlDesign kPicture1{"Picture1", {3120, 240, 3735, 3015}};
inline constexpr ControlDesign kCommand1{"Command1", {960, 2880, 1215, 375}};
inline constexpr std::string_view kCommand1Caption = "display";

// Frames with no caption, in the order they are stacked from the bottom.
inline constexpr std::array kFrames{
    ControlDesign{"Frame3", {120, 120, 735, 2655}},
    ControlDesign{"Frame4", {840, 120, 735, 2655}},
    ControlDesign{"Frame5", {1560, 120, 1335, 2655}},
};

// Every list row is 180 twips (12 pixels) high; the list's height is its
// rows plus 60 twips of border, so that no list ever needs to scroll.
inline constexpr int kListRowHeight = 180;

inline constexpr std::string_view kList1Items[] = {"C", "C#", "D", "Eb", "E", "F",
                                                   "F#", "G", "G#", "A", "Bb", "B"};
inline constexpr std::string_view kList2Items[] = {"\t", "m", "sus2", "sus4", "dim", "aug"};
inline constexpr std::string_view kList3Items[] = {"\t", "M", "add"};
inline constexpr std::string_view kList4Items[] = {" ", "6"};
inline constexpr std::string_view kList5Items[] = {" ", "7"};
inline constexpr std::string_view kList6Items[] = {" ", "5", "+5", "-5"};
inline constexpr std::string_view kList7Items[] = {" ", "9", "+9", "-9"};
inline constexpr std::string_view kList8Items[] = {" ", "11", "+11", "-11"};
inline constexpr std::string_view kList9Items[] = {" ", "13", "-13"};

struct ListDesign {
    std::string_view name;
    int number; // the list number that the chord selection knows it by
    Container container;
    TwipsRect place; // inside its container
    std::span<const std::string_view> items;
};

// In design order, which is both the tab order and, for the lists that lie
// on the window over the frames, the stacking from the bottom up.
inline constexpr std::array kLists{
    ListDesign{"List1", 1, Container::Frame3, {120, 240, 495, 2220}, kList1Items},
    ListDesign{"List2", 2, Container::Frame4, {120, 240, 495, 1140}, kList2Items},
    ListDesign{"List4", 4, Container::Frame5, {120, 240, 495, 420}, kList4Items},
    ListDesign{"List7", 7, Container::Window, {1680, 1920, 495, 780}, kList7Items},
    ListDesign{"List6", 6, Container::Window, {1680, 960, 495, 780}, kList6Items},
    ListDesign{"List8", 8, Container::Window, {2280, 960, 495, 780}, kList8Items},
    ListDesign{"List9", 9, Container::Window, {2280, 1920, 495, 600}, kList9Items},
    ListDesign{"List5", 5, Container::Window, {2280, 360, 495, 420}, kList5Items},
    ListDesign{"List3", 3, Container::Window, {960, 1800, 495, 600}, kList3Items},
};

// The menu bar. A caption of "-" is a separator.
struct MenuItemDesign {
    std::string_view name;
    std::string_view caption;
};

inline constexpr MenuItemDesign kFileItems[] = {{"exit", "Exit(&E)"}};
inline constexpr MenuItemDesign kHelpItems[] = {
    {"index", "Contents(&C)"}, {"bar2", "-"}, {"about", "About(&A)"}};

struct MenuDesign {
    std::string_view name;
    std::string_view caption;
    std::span<const MenuItemDesign> items;
};

inline constexpr std::array kMenus{
    MenuDesign{"file", "File(&F)", kFileItems},
    MenuDesign{"help", "Help(&H)", kHelpItems},
};

// The board, inside the client area of Picture1.
namespace board {

inline constexpr std::string_view kFontFamily = "DejaVu Sans";

inline constexpr int kStringCount = 6;
inline constexpr int kStringSpacing = 360; // string n lies at y = 360 n
inline constexpr int kStringLeft = 600;
inline constexpr int kStringRight = 3360;

inline constexpr std::array kFretXs{600, 1200, 1800, 2400, 3000}; // the nut first
inline constexpr int kFretTop = 360;
inline constexpr int kFretBottom = 2160;

// One element of a string's marker array. Its top is 360 n - rise for string n.
struct MarkerDesign {
    int index;
    std::string_view caption;
    int left;
    int rise;
    int width;
    int height;
    double pointSize;
};

inline constexpr std::array kMarkers{
    MarkerDesign{0, "", 240, 120, 75, 240, 12.0},
    MarkerDesign{1, "\u25CF", 720, 240, 435, 435, 21.75},
    MarkerDesign{2, "\u25CF", 1320, 240, 435, 435, 21.75},
    MarkerDesign{3, "\u25CF", 1920, 240, 435, 435, 21.75},
    MarkerDesign{4, "\u25CF", 2520, 240, 435, 435, 21.75},
    MarkerDesign{6, "\u00D7", 240, 120, 240, 240, 12.0},
};

// The two texts; each label takes the size of its text.
struct TextDesign {
    std::string_view name;
    int left;
    int top;
    std::string_view caption;
    double pointSize;
    bool centred;
};

inline constexpr TextDesign kLabel7{"Label7", 840, 2280, "1", 12.0, false}; // base fret
inline constexpr TextDesign kLabel8{"Label8", 1800, 2520, "", 15.75, true}; // chord name

} // namespace board

} // namespace fretmap::form1
