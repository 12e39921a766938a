#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/fingering_notes.h"
#include "sound/note_listener.h"
#include "sound/tuner.h"

#include <array>
#include <optional>
#include <string>

namespace fretmap {

// How a note heard for a string compares with the note the fingering wants.
enum class VerdictKind {
    Right,     // within kRightCents of the wanted note
    OutOfTune, // the wanted note, kRightCents to kOutOfTuneCents off
    WrongFret, // another note: so many frets high or low
    NotHeard   // nothing settled in kNotHeardSeconds
};

inline constexpr double kRightCents = 20.0;
inline constexpr double kOutOfTuneCents = 50.0;
inline constexpr double kNotHeardSeconds = 5.0;

struct Verdict {
    VerdictKind kind = VerdictKind::NotHeard;
    std::optional<MidiNote> heard; // the nearest note to what was heard
    double cents = 0.0;            // OutOfTune: + sharp, - flat, against the wanted note
    int frets = 0;                 // WrongFret: + high, - low, in semitones
};

// The verdict on `frequency` heard for `wanted`, against A4 = `referencePitch`.
Verdict judgeNote(MidiNote wanted, double frequency, double referencePitch = kDefaultReferencePitch);

// Where a string stands in a check.
enum class StringStatus {
    NotPlayed, // the fingering leaves it out
    Waiting,   // its turn has not come
    PlayNow,   // the one to play next
    Judged     // its verdict is in
};

struct StringCheck {
    int string = 0;                 // 1 (high E) to 6
    std::optional<MidiNote> wanted; // nothing where not played
    int fret = 0;                   // 0 for open
    StringStatus status = StringStatus::NotPlayed;
    Verdict verdict; // once Judged
};

// "String 5, fret 3, C3: right", "String 2, fret 1, C4: B3, one fret low",
// "String 4, open, D3: not heard", "String 6: not played",
// "String 3, open, G3: play it now"; a waiting string reads "waiting".
std::string describeStringCheck(const StringCheck& check);

// What a summary says of a string that was not right: "one fret low",
// "12 cents flat", "not heard".
std::string describeFault(const Verdict& verdict);

// The start of a summary: "4 of 5 strings right", "1 of 1 string right".
std::string rightOfPlayed(int right, int played);

// "A2, 12 cents flat", "E2, in tune".
std::string describeTunerReading(const TunerReading& reading);

// "C#3", "Bb2": the chart's own spelling of the twelve notes, and the octave.
std::string noteName(MidiNote note);

// The string-by-string check of one fingering: the lowest sounding string
// first, each played string in turn, up to string 1.
class ChordCheck {
public:
    // A check with nothing to check: no chord shown, or the unknown chord.
    ChordCheck() = default;
    explicit ChordCheck(const FretboardState& state, double referencePitch = kDefaultReferencePitch);

    bool hasChord() const { return m_hasChord; }
    // Strings 1 to 6, string 1 first.
    const std::array<StringCheck, kStringCount>& strings() const { return m_strings; }
    // The string to play now, if the check is not finished.
    std::optional<int> current() const;
    // What that string can sound: from its open note, less half a semitone
    // of detuning, up two octaves (or as high as the listener hears).
    std::optional<ExpectedNote> expected() const;
    bool finished() const;

    // A note that settled at `seconds` of sound, its onset at `onsetSeconds`:
    // judged for the current string when it began after that string's turn
    // came; a note still ringing from before is passed over. Returns
    // whether a verdict was written.
    bool hear(double frequency, double onsetSeconds, double seconds);
    // The time of the sound is now `seconds`: a string whose turn came
    // kNotHeardSeconds ago with nothing heard is not heard. Returns whether
    // a verdict was written.
    bool elapse(double seconds);
    // From the lowest sounding string again, the turn starting at `seconds`.
    void restart(double seconds);

    // Once finished: "4 of 5 strings right; string 2 one fret low".
    std::string summary() const;

private:
    bool m_hasChord = false;
    double m_referencePitch = kDefaultReferencePitch;
    std::array<StringCheck, kStringCount> m_strings{};
    double m_turnStarted = 0.0;
};

} // namespace fretmap
