#pragma once

// The design of the main window in one place: every number is in twips, as
// drawn in the forms designer, and reaches Qt only through twipsToPixels().

#include "chord/chord_catalogue.h"
#include "chord/chord_selection.h"
#include "twips.h"
#include "window_icon.h"

#include <QFrame>
#include <QRgb>

#include <algorithm>
#include <array>
#include <functional>
#include <span>
#include <string_view>

namespace fretmap::form1 {

inline constexpr std::string_view kCaption = "Fretmap";
// The window icon, rendered at each size a title bar or task switcher asks for.
inline constexpr std::array kIcon{
    IconRender{":/icons/fretmap-16.png", 16}, IconRender{":/icons/fretmap-32.png", 32},
    IconRender{":/icons/fretmap-48.png", 48}, IconRender{":/icons/fretmap-64.png", 64},
    IconRender{":/icons/fretmap-128.png", 128}};
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
    std::string_view accessibleName = {}; // what a screen reader calls it, where its text does not say
};

inline constexpr ControlDesign kPicture1{"Picture1", {3120, 240, 3735, 3015}, "Fretboard"};
inline constexpr ControlDesign kCommand1{"Command1", {960, 2880, 1215, 375}};
inline constexpr std::string_view kCommand1Caption = "display";
inline constexpr std::string_view kCommand1Description = "Shows the chosen chord on the board";

// A border: a QFrame shape and shadow, and its width in pixels.
struct BorderDesign {
    int style;
    int lineWidth;
};

// The board's standard sunken border: two pixels, whatever the style, so the
// drawing inside keeps the same offset.
inline constexpr BorderDesign kPicture1Border{QFrame::Panel | QFrame::Sunken, 2};
// The frames draw only an etched rectangle.
inline constexpr BorderDesign kFrameBorder{QFrame::Box | QFrame::Sunken, 1};
// A list box's standard border, two pixels, sunken: the list heights allow
// exactly that around the rows.
inline constexpr BorderDesign kListBorder{QFrame::WinPanel | QFrame::Sunken, 2};

// Sound: the board's context menu, the key that plays from anywhere in the
// window (used by no access key, no list's type-to-find and no standard Qt
// key), and what a screen reader hears when there is nothing to play.
inline constexpr std::string_view kPlayChordCaption = "Play chord";
inline constexpr std::string_view kPlayStringsCaption = "Play string by string";
inline constexpr std::string_view kPlayKey = "F9";
inline constexpr std::string_view kNothingShownToPlay = "No chord shown: nothing to play";
inline constexpr std::string_view kUnknownChordToPlay = "Unknown chord: nothing to play";
inline constexpr std::string_view kNoSoundTitle = "Fretmap: no sound";

// Listening: the board's context menu, after the play items, and the key
// that opens the listening window from anywhere in the main window (used by
// nothing else there either).
inline constexpr std::string_view kListenCaption = "Listen\u2026";
inline constexpr std::string_view kListenKey = "F8";

// The help file that Contents asks for: a bare name, looked for where a help
// viewer looks.
inline constexpr std::string_view kHelpFile = "help.hlp";

// Frames with no caption, in the order they are stacked from the bottom.
// Named for a screen reader after the lists they group.
inline constexpr std::array kFrames{
    ControlDesign{"Frame3", {120, 120, 735, 2655}, "Root note"},
    ControlDesign{"Frame4", {840, 120, 735, 2655}, "Triad"},
    ControlDesign{"Frame5", {1560, 120, 1335, 2655}, "Added notes"},
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
    std::string_view accessibleName; // the list's role, as a screen reader says it
};

// In design order, which is both the tab order and, for the lists that lie
// on the window over the frames, the stacking from the bottom up.
inline constexpr std::array kLists{
    ListDesign{"List1", 1, Container::Frame3, {120, 240, 495, 2220}, kList1Items, "Root"},
    ListDesign{"List2", 2, Container::Frame4, {120, 240, 495, 1140}, kList2Items, "Triad quality"},
    ListDesign{"List4", 4, Container::Frame5, {120, 240, 495, 420}, kList4Items, "Sixth"},
    ListDesign{"List7", 7, Container::Window, {1680, 1920, 495, 780}, kList7Items, "Ninth"},
    ListDesign{"List6", 6, Container::Window, {1680, 960, 495, 780}, kList6Items, "Fifth"},
    ListDesign{"List8", 8, Container::Window, {2280, 960, 495, 780}, kList8Items, "Eleventh"},
    ListDesign{"List9", 9, Container::Window, {2280, 1920, 495, 600}, kList9Items, "Thirteenth"},
    ListDesign{"List5", 5, Container::Window, {2280, 360, 495, 420}, kList5Items, "Seventh"},
    ListDesign{"List3", 3, Container::Window, {960, 1800, 495, 600}, kList3Items, "Major seventh or added ninth"},
};

// Every list holds exactly the items that the chord selection counts for it.
constexpr bool listsMatchTheSelection()
{
    return std::ranges::all_of(kLists, [](const ListDesign& list) {
        return std::ssize(list.items) == ChordSelection::itemCount(list.number);
    });
}
static_assert(listsMatchTheSelection(), "a list's items differ from what the chord selection counts for it");

// The menu bar. Each item runs one command of the window; a separator none.
enum class MenuCommand {
    Separator,
    Exit,
    Contents,
    About
};

struct MenuItemDesign {
    std::string_view name;
    std::string_view caption;
    MenuCommand command;
};

inline constexpr MenuItemDesign kFileItems[] = {{"exit", "Exit(&E)", MenuCommand::Exit}};
inline constexpr MenuItemDesign kHelpItems[] = {{"index", "Contents(&C)", MenuCommand::Contents},
                                                {"bar2", "-", MenuCommand::Separator},
                                                {"about", "About(&A)", MenuCommand::About}};

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

// The board is a drawing on paper: black ink on white, whatever the desktop's
// colours, so that a dark theme cannot draw light ink on the white paper.
inline constexpr QRgb kPaper = qRgb(255, 255, 255);
inline constexpr QRgb kInk = qRgb(0, 0, 0);

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
    MarkerDesign{kOpenString, "", 240, 120, 75, 240, 12.0},
    MarkerDesign{1, "\u25CF", 720, 240, 435, 435, 21.75},
    MarkerDesign{2, "\u25CF", 1320, 240, 435, 435, 21.75},
    MarkerDesign{3, "\u25CF", 1920, 240, 435, 435, 21.75},
    MarkerDesign{4, "\u25CF", 2520, 240, 435, 435, 21.75},
    MarkerDesign{kMutedString, "\u00D7", 240, 120, 240, 240, 12.0},
};

// One marker for each string state, so that a display can show any fingering.
static_assert(kMarkers.size() == kFretCellCount + 2
                  && std::ranges::all_of(kMarkers, [](const MarkerDesign& m) { return isStringState(m.index); })
                  && std::ranges::adjacent_find(kMarkers, std::ranges::greater_equal{}, &MarkerDesign::index) == kMarkers.end(),
              "a string's markers must be one for each string state, in order");

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
