#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace fretmap {

// String states: 0 open, 1 to 4 stopped in that fret cell, 6 not played.
inline constexpr std::int16_t kOpenString = 0;
inline constexpr std::int16_t kMutedString = 6;

// One fingering of the chord chart. strings[0] is string 1, the top row of
// the board (the highest-pitched string); fret cell c stands for fret
// baseFret + c - 1.
struct ChordEntry {
    std::int32_t code;
    std::string_view caption;
    std::array<std::int16_t, 6> strings;
    std::int16_t baseFret;
};

// The entry whose code is exactly `code`, or the "unknown" entry (all strings
// open, base fret 1) for any code that is not catalogued.
const ChordEntry& lookupChord(std::int32_t code);

// The 432 catalogued entries (36 chord types on 12 roots), sorted by code.
std::span<const ChordEntry> chordCatalogue();

} // namespace fretmap
