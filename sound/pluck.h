#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/fingering_notes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace fretmap {

// How a fingering is played: all its strings in one strum, or one string at
// a time so that each can be heard alone.
enum class PlayStyle {
    Chord,
    StringByString
};

// The timing of the two styles, in seconds.
inline constexpr double kStrumSpacing = 0.035;        // between the strings of a strum
inline constexpr double kStringByStringSpacing = 0.5; // between strings played alone
inline constexpr double kRingTime = 3.0;              // from the last string struck to the end
// The loudest sample, as a fraction of full scale: a little headroom.
inline constexpr double kPeakLevel = 0.89;
// The sample rates a render accepts, in Hz.
inline constexpr int kMinSampleRate = 8000;
inline constexpr int kMaxSampleRate = 192000;

// Renders `notes` as plucked strings, struck in the order given: mono,
// signed 16-bit samples at `sampleRate`. The same arguments always give the
// same samples; the peak is kPeakLevel of full scale and the last sample is
// silence. No notes give no samples. Throws std::invalid_argument for a
// sample rate outside kMinSampleRate to kMaxSampleRate, or a note whose
// pitch the rate cannot carry.
std::vector<std::int16_t> renderPluckedNotes(std::span<const MidiNote> notes, PlayStyle style, int sampleRate);

// The sound of a fingering: its strings in strum order, rendered.
std::vector<std::int16_t> renderFingering(const FretboardState& state, PlayStyle style, int sampleRate);

} // namespace fretmap
