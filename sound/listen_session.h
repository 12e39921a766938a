#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/chord_check.h"
#include "sound/note_listener.h"
#include "sound/strum_check.h"
#include "sound/tuner.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fretmap {

// What the board shows, for the check.
enum class BoardContent {
    NothingShown, // before the first display
    UnknownChord, // a chord the chart does not know
    Chord
};

// The tuner's words with no note to read.
inline constexpr std::string_view kNoNote = "No note";
// The sound is followed in steps of this many a second: the tuner takes a
// pitch at each, and a settled note goes to the check at the step it
// settled in.
inline constexpr int kListenStepsPerSecond = 100;

// What a call to the session changed, for a window to show, and what to
// say.
struct ListenUpdate {
    bool checkChanged = false;     // the rows or the summary
    bool tunerChanged = false;     // the tuner's reading
    std::vector<std::string> said; // in order, each one notice
};

// One listening to an input: the notes heard, the tuner, the check of the
// chord on the board string by string or in one strum, and what is said
// when. A strum, at any moment, is judged whole once it has rung, and
// stands in place of the check's rows until the check starts again or the
// next strum; the strings played one at a time meanwhile go unjudged. The tuner
// keeps quiet while the check waits for a string and for a second after
// the check speaks, so that the two never speak over each other. Fed the
// samples as they arrive, it goes by the sound's own clock: the same take,
// in any blocks, gives the same verdicts.
class ListenSession {
public:
    ListenSession() = default;

    // Listens from now on to an input recording at `sampleRate`: the
    // sound's clock, the tuner and the check start again. Throws
    // std::invalid_argument for a rate the analysis cannot use, and is
    // then not listening.
    ListenUpdate start(int sampleRate);
    // Nothing heard is kept; the tuner reads nothing.
    ListenUpdate stop();
    bool listening() const { return m_listener.has_value(); }

    // The samples recorded since the last feed, in any number: what the
    // check writes in one feed is said as one notice, and the tuner speaks
    // at most once a feed, so a window feeds what each poll takes. Nothing
    // happens while not listening.
    ListenUpdate feed(std::span<const float> samples);

    // The chord to check, checked against the A4 set; the check starts
    // again on it.
    ListenUpdate setBoard(BoardContent content, const FretboardState& state = {});
    // A new A4: the tuner reads against it, and the check starts again
    // against it, without a word. Throws std::invalid_argument outside
    // kLowestReferencePitch to kHighestReferencePitch.
    ListenUpdate setReferencePitch(double hertz);
    double referencePitch() const { return m_tuner.referencePitch(); }
    // From the lowest string again.
    ListenUpdate startAgain();

    const ChordCheck& check() const { return m_check; }
    // The last strum's strings while they stand in the rows' place.
    const std::optional<StrumStrings>& strum() const { return m_strum; }
    // Each string's row in words, string 1 first.
    std::array<std::string, kStringCount> rows() const;
    // "Play the strings one at a time, the lowest first", the check's
    // summary once finished, the strum's, or why there is nothing to check.
    std::string summary() const;

    // Nothing while not listening.
    std::optional<TunerReading> tunerReading() const;
    // The reading in words, kNoNote without one: what the tuner shows, and
    // what it says when asked.
    std::string tunerPhrase() const;
    // The level of the last moments in dB of full scale; nothing while not
    // listening.
    std::optional<double> level() const;
    // Of sound heard since the start.
    double seconds() const;

private:
    void hearNotes();
    void checkNote(const HeardNote& note);
    void followStrum(ListenUpdate& update);
    void tellCandidate(std::uint64_t now);
    void releaseHeld();
    void keepRecent(std::span<const float> samples);
    std::span<const float> recent(std::uint64_t from, std::uint64_t to) const;
    std::array<std::optional<MidiNote>, kStringCount> wantedNotes() const;
    bool sayVerdicts(const std::array<StringCheck, kStringCount>& before, ListenUpdate& update);
    void sayForCheck(std::string text, ListenUpdate& update);
    void sayTunerNews(ListenUpdate& update);
    void restartCheck(bool speak, ListenUpdate& update);
    ListenUpdate& noteTunerChange(ListenUpdate& update);

    std::optional<NoteListener> m_listener; // from the input's first sample
    Tuner m_tuner;
    BoardContent m_content = BoardContent::NothingShown;
    FretboardState m_state;
    ChordCheck m_check;
    std::optional<TunerReading> m_spokenReading; // what the tuner said last
    std::optional<double> m_spokenAt;            // when, in seconds of sound
    std::optional<TunerReading> m_shownReading;  // the reading the last update reported

    // The last seconds heard, for a strum's analysis.
    std::vector<float> m_recent;
    std::uint64_t m_recentStart = 0;              // the sample m_recent begins at
    std::optional<std::uint64_t> m_onsetSeen;     // the listener's last onset looked at
    std::optional<std::uint64_t> m_candidate;     // an onset that may begin a strum, until told
    int m_candidateLooks = 0;                     // at it so far
    bool m_holding = false;                       // whether the notes settled meanwhile wait for it
    std::vector<HeardNote> m_held;                // the notes settled meanwhile
    std::optional<std::uint64_t> m_strumFrom;     // the strum being heard, from a little before it
    std::optional<std::vector<double>> m_strikes; // its strikes, in seconds from m_strumFrom
    std::optional<StrumStrings> m_strum;
};

} // namespace fretmap
