#pragma once

#include "sound/chord_check.h"
#include "sound/fingering_notes.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fretmap {

// How one strum leaves a string.
enum class StrumStringKind {
    Judged,           // a played string with its verdict
    CantTell,         // a played string that neither the strum nor its strike decides
    NotPlayed,        // the fingering leaves it out and it is silent
    NotPlayedButHeard // the fingering leaves it out, but it sounds
};

struct StrumString {
    int string = 0;                 // 1 (high E) to 6
    std::optional<MidiNote> wanted; // nothing where not played
    int fret = 0;                   // 0 for open
    StrumStringKind kind = StrumStringKind::NotPlayed;
    Verdict verdict;      // Judged; NotPlayedButHeard: the note heard in `heard`
    bool covered = false; // every partial of its note lies on another string's
};

using StrumStrings = std::array<StrumString, kStringCount>; // string 1 first

// The longest a strum takes from its first string to its last.
inline constexpr double kStrumSpanSeconds = 0.25;
// The strum is judged on this much sound after its last string.
inline constexpr double kStrumListenSeconds = 0.7;

// Each string of a strum of the fingering that wants `wanted` (string 1
// first, nothing where left out), against A4 = `referencePitch`: `samples`
// hold the strum from a little before its first string (at least 0.1 s)
// to kStrumListenSeconds after its last; `strikes` are the seconds into
// `samples` where strings were struck (an onset detector's), or empty to
// find them here. Throws std::invalid_argument for a rate of no use.
StrumStrings judgeStrum(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                        int sampleRate, std::span<const float> samples, std::span<const double> strikes = {});

// How the sound after an onset shows a strum of the fingering.
enum class StrumEvidence {
    None,           // one string alone, even over others left ringing
    Faint,          // strings rising by a small share of the loudest: look again later
    FaintOnSeveral, // so on three strings or more, as a strum whose first string is wrong
    FaintOnTwo,     // on two strings by a modest share, as a dense chord's own partials are
    Clear           // at least two of its strings' own partials rise clearly
};

// What `samples` (some 0.1 s after an onset) hold of a strum, against
// `before` (some 0.1 s before it): the strings whose own low partials rose.
StrumEvidence strumEvidence(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                            int sampleRate, std::span<const float> before, std::span<const float> samples);

// Whether a strike after the first in `samples` (an onset's sound from a
// little before it) adds a string of the fingering: most of the power at
// that string's own partials new there, where a pluck's ringing neighbours
// and a room's echo add nothing new.
bool laterStrikeAddsString(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                           int sampleRate, std::span<const float> samples);

// Whether a string of the fingering rose clearly from `earlier` (the first
// moments after an onset) to `samples` (later ones): struck after the
// onset's own string, as a strum's strings are and a pluck's ringing
// neighbours are not.
bool stringRoseLater(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                     int sampleRate, std::span<const float> earlier, std::span<const float> samples);

// How many strings of the fingering already sounded in `before` (some 0.1 s
// before an onset) about as strongly as in `samples` (some 0.1 s after it):
// ringing on, not struck at the onset.
std::size_t stringsRingingBefore(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                                 int sampleRate, std::span<const float> before, std::span<const float> samples);

// The strike times in `samples`, in seconds, from the rise of the spectrum
// in short hops at the partials of the fingering's notes (and of the
// strings it leaves out, open): each string of a strum one.
std::vector<double> strumStrikes(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                                 int sampleRate, std::span<const float> samples);

// Whether what was judged was a strum: at least two of its played strings
// sound. A single string with a swell of others ringing rises like one.
bool soundsAsStrum(const StrumStrings& strings);

// "String 5, fret 3, C3: right", "String 1, open, E4: can't tell in a
// strum", "String 6: not played, but heard E2".
std::string describeStrumString(const StrumString& row);

// "Strum: 4 of 5 strings right; string 2 one fret low; string 6 should not
// sound; string 1 can't tell in a strum: play it alone".
std::string strumSummary(const StrumStrings& strings);

} // namespace fretmap
