#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace fretmap {

// A fingering gives one state to each of the six strings, string 1 first.
inline constexpr int kStringCount = 6;

// The twelve roots as the chart writes them, C first: the names of List1,
// and of every note the program names.
inline constexpr std::array<std::string_view, 12> kRootNames{"C", "C#", "D", "Eb", "E", "F",
                                                             "F#", "G", "G#", "A", "Bb", "B"};

// String states: 0 open, 1 to 4 stopped in that fret cell, 6 not played.
// A state is also the index of the marker that shows it on the board, so the
// marker indices run from kOpenString to kMutedString, with no 5.
inline constexpr std::int16_t kOpenString = 0;
inline constexpr std::int16_t kFretCellCount = 4;
inline constexpr std::int16_t kMutedString = 6;

constexpr bool isStringState(int state)
{
    return (state >= kOpenString && state <= kFretCellCount) || state == kMutedString;
}

using StringStates = std::array<std::int16_t, kStringCount>;

// One fingering of the chord chart. strings[0] is string 1, the top row of
// the board (the highest-pitched string); fret cell c stands for fret
// baseFret + c - 1.
struct ChordEntry {
    std::int32_t code;
    std::string_view caption;
    StringStates strings;
    std::int16_t baseFret;
};

// The entry whose code is exactly `code`, or the "unknown" entry (all strings
// open, base fret 1) for any code that is not catalogued.
const ChordEntry& lookupChord(std::int32_t code);

// The 432 catalogued entries (36 chord types on 12 roots), sorted by code.
std::span<const ChordEntry> chordCatalogue();

} // namespace fretmap
