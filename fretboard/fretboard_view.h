#pragma once

#include "chord/chord_catalogue.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fretmap {

class ChordSelection;

// What the board currently shows: the marker index of each string (strings[0]
// is string 1) and the base fret. All zero before the first display.
struct FretboardState {
    StringStates strings{};
    std::int16_t baseFret = 0;
};

// The board in words, for a screen reader or any front end that cannot show
// the drawing: "Cm7, base fret 3: string 1 fret 3, ..., string 6 not played".
// Each stopped string is given at the fret it is actually stopped at.
std::string describeFingering(std::string_view caption, const FretboardState& state);

// The three operations a window offers to draw the board.
class BoardSurface {
public:
    virtual ~BoardSurface() = default;
    // Shows or hides marker `index` (a string state: kOpenString to
    // kFretCellCount, or kMutedString) of string `string` (1 to kStringCount).
    virtual void setMarkerVisible(int string, int index, bool shown) = 0;
    virtual void setChordName(std::string_view text) = 0;
    virtual void setBaseFretText(std::string_view text) = 0;
};

// Runs display cycles: hides the previous fingering and shows the one that
// the current selection names.
class FretboardView {
public:
    FretboardView(const ChordSelection& selection, BoardSurface& surface);

    // One display cycle. A selection whose code overflows shows the
    // "unknown" entry, like any other selection the chart does not know.
    void display();

    const FretboardState& state() const { return m_state; }

    // Whether a display has run yet.
    bool hasDisplayed() const { return m_shown != nullptr; }
    // The catalogue entry of the last display; nullptr before the first
    // display and for a chord the chart does not know.
    const ChordEntry* shownChord() const;

    // What the board shows, in words: the fingering of the last display,
    // or that nothing or no known chord is shown.
    std::string description() const;

private:
    const ChordSelection& m_selection;
    BoardSurface& m_surface;
    FretboardState m_state;
    const ChordEntry* m_shown = nullptr; // the entry of the last display, if any
};

} // namespace fretmap
