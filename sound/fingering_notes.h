#pragma once

#include "chord/chord_catalogue.h"
#include "fretboard/fretboard_view.h"

#include <array>
#include <optional>
#include <vector>

namespace fretmap {

// Pitches are MIDI note numbers: 69 is A4 at 440 Hz, one step a semitone.
using MidiNote = int;

// Standard tuning, string 1 first: E4 B3 G3 D3 A2 E2.
inline constexpr std::array<MidiNote, kStringCount> kOpenStringNotes{64, 59, 55, 50, 45, 40};

// What each string of a fingering sounds, string 1 first: its open pitch,
// the pitch of fret baseFret + cell - 1 where it is stopped, or nothing
// where it is not played.
std::array<std::optional<MidiNote>, kStringCount> fingeringNotes(const FretboardState& state);

// The notes a guitarist strums, in the order struck: from the lowest
// sounding string (string 6) to the highest.
std::vector<MidiNote> strumOrder(const FretboardState& state);

// The frequency of a note in Hz, in equal temperament at A4 = 440 Hz.
double noteFrequency(MidiNote note);

} // namespace fretmap
