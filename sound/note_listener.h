#pragma once

#include "sound/note_evidence.h"
#include "sound/onset_detector.h"
#include "sound/pitch_analysis.h"
#include "sound/pitch_units.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fretmap {

// The pitch of a stretch of sound and how surely it is one note: clarity 0
// for noise, near 1 for a clean periodic tone.
struct PitchEstimate {
    double frequency = 0.0; // Hz
    double clarity = 0.0;
};

// One note, as the listener followed it from its onset to its settled pitch.
struct HeardNote {
    std::uint64_t onset = 0;   // the sample where it began, counted from the first fed
    std::uint64_t settled = 0; // the sample where its pitch had settled
    double frequency = 0.0;    // the settled pitch, Hz
};

// What a listener is told of the next note: the string being played
// sounds only from its open note, less a little detuning, up.
struct ExpectedNote {
    double lowestHertz = 0.0;
    double highestHertz = 0.0;
    double wantedHertz = 0.0; // the note it should sound, 0 for any
};

// Follows what a microphone hears, fed block by block in any sizes: the
// level, the pitch of the note sounding now, and each note as it settles.
// A moment the recording loses, as a loaded sound server drops or pads
// samples, does not break a ringing note into two. Deterministic: the same
// samples, in any blocks, give the same results.
class NoteListener {
public:
    // Throws std::invalid_argument for a rate the analysis cannot use.
    explicit NoteListener(int sampleRate);

    int sampleRate() const { return m_sampleRate; }

    void feed(std::span<const float> samples);

    // Samples fed so far.
    std::uint64_t samplesHeard() const { return m_samplesHeard; }

    // The level of the last few tens of milliseconds, in dB of full scale
    // (-120 for silence).
    double level() const;

    // The pitch of the note sounding now, once past its attack; nothing in
    // silence, noise or an attack. Updated at least every 1/15 s of sound.
    std::optional<PitchEstimate> currentPitch() const;

    // Notes whose pitch has settled since the last call, oldest first; each
    // note once.
    std::vector<HeardNote> takeSettledNotes();

    // The sample where the last note began, settled or not: a strum's first
    // string, long before any of its notes settles.
    std::optional<std::uint64_t> lastOnset() const { return m_lastOnset; }

    // The range the next notes must lie in, or nothing for any note. While
    // a range is set, each new note is named from what its onset added to
    // the spectrum, among the notes of the range alone, and a note that
    // lies outside it (another string ringing, or a partial) is not
    // reported.
    void expect(std::optional<ExpectedNote> range) { m_expected = range; }

private:
    // A settled note as it last rang with a pitch.
    struct Ringing {
        double hertz = 0.0;
        double level = 0.0; // the highest energy of its last hops
        std::uint64_t heardAt = 0;
    };

    // The note being followed: from its onset, through its attack, to its
    // settled pitch and on while it rings.
    struct FollowedNote {
        std::uint64_t onset = 0;
        std::uint64_t attackEnd = 0; // the first sample past its attack
        std::vector<double> pitches; // one a frame past the attack, 0 where no pitch stood out
        double loudest = 0.0;        // the highest energy of a hop since the onset
        std::optional<double> settledHertz;
        std::optional<double> lastMeasured;   // the fundamental measured at the frame before
        int silentFrames = 0;                 // frames in a row without a pitch, once settled
        std::vector<double> background;       // the power spectrum of what rang before the onset
        std::optional<Ringing> ringingBefore; // a note that rang up to the onset
        std::vector<double> before;           // the spectrum that the note's evidence rises from
        bool reported = false;
        bool deferred = false; // settled on the edge of a fret: reported later
    };

    void analyseFrame(std::uint64_t end);
    std::optional<std::uint64_t> onsetIn(std::uint64_t hopStart, std::uint64_t end);
    void startNote(std::uint64_t onset, std::uint64_t hopStart);
    std::optional<pitch_analysis::Period> keepNotePeriod(std::optional<pitch_analysis::Period> period) const;
    void followPitch(std::uint64_t end, std::optional<pitch_analysis::Period> period, bool inAttack);
    std::optional<double> steadyPitch(double tolerance) const;
    void settle(std::uint64_t end, double middle, bool apart);
    void nameFromEvidence(std::uint64_t end);
    static bool ringsOn(const FollowedNote& note, double hertz);
    void report(FollowedNote& note, std::uint64_t end, double hertz);
    bool inExpectedRange(double hertz) const;
    bool onFretEdge(double hertz) const;
    bool deferOnEdge(double hertz, std::uint64_t end);
    void reportDeferred(std::uint64_t end, bool atCurrentPitch);
    std::span<const float> heard(std::uint64_t from, std::uint64_t to) const;

    int m_sampleRate;
    std::uint64_t m_samplesHeard = 0;
    std::vector<HeardNote> m_settled;

    pitch_analysis::PitchAnalyzer m_analyzer;
    OnsetDetector m_onsets;
    NoteEvidence m_evidence;
    std::optional<ExpectedNote> m_expected;
    std::size_t m_hop;            // samples between frames of analysis
    std::size_t m_attack;         // samples after an onset that tell no pitch
    std::size_t m_refinement;     // the most samples the fundamental is measured over
    std::size_t m_settledPart;    // samples after an onset before a pluck's pitch holds
    std::vector<float> m_history; // the last samples fed, enough for every frame
    std::uint64_t m_historyStart = 0;
    std::uint64_t m_nextFrameEnd;
    std::array<double, 4> m_recentEnergy{}; // of the last hops, newest first
    std::array<double, 4> m_recentTreble{};
    std::optional<std::uint64_t> m_lastOnset;
    std::optional<FollowedNote> m_note;
    std::optional<Ringing> m_ringing;
    std::optional<PitchEstimate> m_current;
};

// The pitch of one stretch of samples, by a time-domain estimator; nothing
// when no period between kLowestHeardPitch and kHighestHeardPitch stands
// out.
std::optional<PitchEstimate> estimatePitch(std::span<const float> samples, int sampleRate);

} // namespace fretmap
