#include "sound/note_listener.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace fretmap {
namespace {

using pitch_analysis::median;
using pitch_analysis::Period;

// The rates the analysis works at: below 8 kHz the high E's partials are
// lost; far above, the work grows for nothing.
constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 384000;

// A frame of analysis every 10 ms: the pitch follows a note quickly and
// the tuner's reading can move 100 times a second.
constexpr double kHopSeconds = 0.010;
// A pluck starts with noise and a pitch a little sharp: nothing of its
// first 45 ms counts towards the note's pitch.
constexpr double kAttackSeconds = 0.045;
// Past this, a pluck's sharpness has died away.
constexpr double kSettledPartSeconds = 0.1;
// The longest stretch the fundamental is measured over.
constexpr double kRefinementSeconds = 0.25;
// How much of the past the level reads.
constexpr double kLevelSeconds = 0.030;

// Mean squares below this are silence (-80 dB of full scale).
constexpr double kSilence = 1e-8;
// A hop whose energy is this many times that of the hops before it, or
// whose treble (the energy of its first difference) jumps this much,
// starts a note: a new pluck adds a burst of treble even under a string
// that still rings, while two strings that beat swell by less.
constexpr double kEnergyJump = 3.0;
constexpr double kTrebleJump = 4.0;
// Two onsets closer than this are one pluck.
constexpr double kLeastOnsetSpacing = 0.060;
constexpr double kPluckSettlingSeconds = 0.2;

// A frame whose window repeats this clearly has a pitch; a new note heard
// apart from strings that still ring is rougher, and its fundamental must
// then be measured before it counts.
constexpr double kVoicedClarity = 0.8;
constexpr double kVoicedApartClarity = 0.6;
// A note has settled when this many frames in a row, past its attack, lie
// within kSteadyCents of their median.
constexpr std::size_t kSteadyFrames = 3;
constexpr double kSteadyCents = 5.0;
// A new note heard apart from strings that still ring is measured more
// roughly.
constexpr double kSteadyApartCents = 30.0;
// The fundamental measured alone is trusted where it lies this near the
// period of the whole window: a stiff string's partials pull that up by a
// few cents, while a room's echo or noise can swing the fundamental alone
// further in the first moments of a note.
constexpr double kAgreeCents = 8.0;
constexpr double kAgreeApartCents = 30.0;
// A settled note keeps its period while the window repeats at it this
// clearly, whatever else rings an octave or a twelfth away.
constexpr double kKeptClarity = 0.6;
// A note waits this long after its onset for its fundamental to be
// measured, and to hold, past the attack before it settles on its rougher
// pitch.
constexpr double kLatestSettleSeconds = 0.3;
// A pitch this near halfway between two frets, within this many frets of
// the wanted note, waits this long after its onset to be reported.
constexpr double kEdgeCents = 8.0;
constexpr double kEdgeWithinFrets = 2.5;
constexpr double kEdgeWaitSeconds = 0.25;
// How far the fundamental may move between two frames of a settled note.
constexpr double kMeasuredCents = 2.0;
constexpr double kMeasuredApartCents = 4.0;
// A settled note whose pitch moves this far has given way to another.
constexpr double kNewNoteCents = 60.0;
// A moment the recording lost, skipped or silent, is no pluck: a note
// that comes back within this time, at the pitch that rang before and
// hardly louder, is that note ringing on.
constexpr double kLongestDropoutSeconds = 0.1;
constexpr double kSameNoteCents = 50.0;
constexpr double kStruckAgainRise = 1.5;
// While a range is expected, a note is named from its evidence this long
// after its onset, and up to kLatestSettleSeconds; the evidence counts
// where this share of the power that the onset added lies on the note's
// partials, and where the onset added this share of what sounds.
constexpr double kEvidenceSeconds = 0.1;
constexpr double kLeastPartialShare = 0.3;
constexpr double kLeastAddedShare = 0.05;
// The stretch before an onset that the evidence rises from ends this long
// before it, clear of the pluck.
constexpr double kBeforeOnsetGap = 0.005;
// A note named from its evidence is measured over what follows its attack,
// where it lies this near its partials' peaks: in a room the echo of the
// pluck pulls it, in noise the peaks stray.
constexpr double kEvidenceAgreeCents = 20.0;
// A note ends when its energy falls this far under its loudest, or when no
// pitch stands out for this many frames.
constexpr double kEndFall = 1e-4; // -40 dB
constexpr int kEndSilentFrames = 15;

// Two periods, or two pitches, that one partial of a note may give for
// another: an octave or a twelfth apart either way.
bool anOctaveOrTwelfthApart(double a, double b)
{
    return std::ranges::any_of(std::array{2.0, 3.0, 0.5, 1.0 / 3.0},
                               [ratio = a / b](double multiple) { return std::abs(centsBetween(ratio, multiple)) < 30.0; });
}

int checkedRate(int sampleRate)
{
    if (sampleRate < kLowestRate || sampleRate > kHighestRate)
        throw std::invalid_argument("the analysis needs a sample rate of 8 to 384 kHz, not " + std::to_string(sampleRate) + " Hz");
    return sampleRate;
}

std::size_t samplesIn(double seconds, int sampleRate)
{
    return static_cast<std::size_t>(std::lround(seconds * sampleRate));
}

double meanSquare(std::span<const float> samples)
{
    double sum = 0.0;
    for (float s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0.0 : sum / double(samples.size());
}

// The energy of the first difference: the treble, where a pluck's noise is.
double trebleOf(std::span<const float> samples, float before)
{
    double sum = 0.0;
    for (float s : samples) {
        const double d = double(s) - before;
        sum += d * d;
        before = s;
    }
    return samples.empty() ? 0.0 : sum / double(samples.size());
}

} // namespace

NoteListener::NoteListener(int sampleRate)
    : m_sampleRate(checkedRate(sampleRate))
    , m_analyzer(sampleRate)
    , m_onsets(sampleRate)
    , m_evidence(sampleRate)
    , m_hop(samplesIn(kHopSeconds, sampleRate))
    , m_attack(samplesIn(kAttackSeconds, sampleRate))
    , m_refinement(samplesIn(kRefinementSeconds, sampleRate))
    , m_settledPart(samplesIn(kSettledPartSeconds, sampleRate))
    , m_nextFrameEnd(m_hop)
{
}

std::span<const float> NoteListener::heard(std::uint64_t from, std::uint64_t to) const
{
    from = std::max(from, m_historyStart);
    if (to <= from)
        return {};
    return std::span<const float>(m_history).subspan(static_cast<std::size_t>(from - m_historyStart),
                                                     static_cast<std::size_t>(to - from));
}

void NoteListener::feed(std::span<const float> samples)
{
    m_history.insert(m_history.end(), samples.begin(), samples.end());
    m_samplesHeard += samples.size();
    while (m_nextFrameEnd <= m_samplesHeard) {
        analyseFrame(m_nextFrameEnd);
        m_nextFrameEnd += m_hop;
    }
    // Keep what the next frames and the level read; drop the rest in
    // large steps, so that the copying stays small.
    const std::size_t keep = std::max(m_refinement + m_analyzer.windowSize(), samplesIn(kLevelSeconds, m_sampleRate)) + m_hop;
    if (m_history.size() > 2 * keep) {
        const std::size_t drop = m_history.size() - keep;
        m_history.erase(m_history.begin(), m_history.begin() + static_cast<std::ptrdiff_t>(drop));
        m_historyStart += drop;
    }
}

double NoteListener::level() const
{
    const std::uint64_t span = samplesIn(kLevelSeconds, m_sampleRate);
    const double power = meanSquare(heard(m_samplesHeard - std::min<std::uint64_t>(span, m_samplesHeard), m_samplesHeard));
    return power > 1e-12 ? std::max(-120.0, 10.0 * std::log10(power)) : -120.0;
}

std::optional<PitchEstimate> NoteListener::currentPitch() const
{
    return m_current;
}

std::vector<HeardNote> NoteListener::takeSettledNotes()
{
    return std::exchange(m_settled, {});
}

std::optional<std::uint64_t> NoteListener::onsetIn(std::uint64_t hopStart, std::uint64_t end)
{
    const std::span<const float> hop = heard(hopStart, end);
    const std::span<const float> before = heard(hopStart - std::min<std::uint64_t>(hopStart, 1), hopStart);
    const float last = before.empty() ? 0.0F : before.back();
    const double energy = meanSquare(hop);
    const double treble = trebleOf(hop, last);
    const double energyBefore = *std::max_element(m_recentEnergy.begin(), m_recentEnergy.end());
    const double trebleBefore = *std::max_element(m_recentTreble.begin(), m_recentTreble.end());
    std::copy_backward(m_recentEnergy.begin(), m_recentEnergy.end() - 1, m_recentEnergy.end());
    std::copy_backward(m_recentTreble.begin(), m_recentTreble.end() - 1, m_recentTreble.end());
    m_recentEnergy.front() = energy;
    m_recentTreble.front() = treble;
    if (m_note)
        m_note->loudest = std::max(m_note->loudest, energy);

    const std::size_t frame = m_onsets.frameSize();
    const bool risen = m_onsets.feed(heard(end - std::min<std::uint64_t>(end, frame), end), m_expected.has_value());
    // A pluck's spectrum goes on changing for a while after its onset: a
    // rise then is no new pluck unless the loudness says so too.
    const bool settling = m_lastOnset && hopStart < *m_lastOnset + samplesIn(kPluckSettlingSeconds, m_sampleRate);
    const bool jumped = energy > kEnergyJump * energyBefore || treble > kTrebleJump * trebleBefore || (risen && !settling);
    if (energy < kSilence || !jumped)
        return std::nullopt;
    if (m_lastOnset && hopStart < *m_lastOnset + samplesIn(kLeastOnsetSpacing, m_sampleRate))
        return std::nullopt;

    // Where in the hop it began, to the millisecond.
    const std::size_t block = std::max<std::size_t>(1, samplesIn(0.001, m_sampleRate));
    float previous = last;
    for (std::size_t at = 0; at < hop.size(); at += block) {
        const auto part = hop.subspan(at, std::min(block, hop.size() - at));
        if (meanSquare(part) > kEnergyJump * energyBefore || trebleOf(part, previous) > kTrebleJump * trebleBefore)
            return hopStart + at;
        previous = part.back();
    }
    return hopStart;
}

void NoteListener::analyseFrame(std::uint64_t end)
{
    const std::uint64_t hopStart = end - m_hop;
    if (const auto onset = onsetIn(hopStart, end))
        startNote(*onset, hopStart);

    const std::uint64_t windowStart = end - std::min<std::uint64_t>(end, m_analyzer.windowSize());
    const bool inAttack = m_note && windowStart < m_note->attackEnd;
    // Until it settles, a note is heard apart from what rang before it.
    const bool apart = m_note && !m_note->settledHertz && !m_note->background.empty();
    const auto period = keepNotePeriod(
        m_analyzer.coarsePeriod(heard(windowStart, end), apart ? std::span<const double>(m_note->background) : std::span<const double>()));
    followPitch(end, period, inAttack);
    if (m_note && end >= m_note->onset + samplesIn(kEdgeWaitSeconds, m_sampleRate))
        reportDeferred(end, true);
    if (m_expected && m_note && !m_note->reported)
        nameFromEvidence(end);
    if (m_note && m_note->settledHertz && m_current) {
        const double level = *std::max_element(m_recentEnergy.begin(), m_recentEnergy.end());
        m_ringing = Ringing{*m_note->settledHertz, level, end};
    }

    if (m_note) {
        const double energy = m_recentEnergy.front();
        if (energy < kSilence || energy < kEndFall * m_note->loudest || m_note->silentFrames >= kEndSilentFrames) {
            reportDeferred(end, false); // a note that sounded is never lost
            m_note.reset();
        }
    }
}

void NoteListener::startNote(std::uint64_t onset, std::uint64_t hopStart)
{
    m_lastOnset = onset;
    if (m_note)
        reportDeferred(onset, false);
    m_note = FollowedNote{};
    m_note->onset = onset;
    m_note->attackEnd = onset + m_attack;
    m_note->loudest = m_recentEnergy.front();
    if (m_ringing && onset < m_ringing->heardAt + samplesIn(kLongestDropoutSeconds, m_sampleRate))
        m_note->ringingBefore = m_ringing;
    // The window before the onset: what still rings under the new note.
    const std::size_t window = m_analyzer.windowSize();
    if (hopStart >= window && meanSquare(heard(hopStart - window, hopStart)) > kSilence)
        m_note->background = m_analyzer.background(heard(hopStart - window, hopStart));
    // Only the check names notes from their evidence.
    if (!m_expected)
        return;
    const std::uint64_t beforeEnd = onset - std::min<std::uint64_t>(onset, samplesIn(kBeforeOnsetGap, m_sampleRate));
    m_note->before = m_evidence.spectrum(heard(beforeEnd - std::min<std::uint64_t>(beforeEnd, m_evidence.stretchSize()), beforeEnd));
}

bool NoteListener::inExpectedRange(double hertz) const
{
    return !m_expected || (hertz >= m_expected->lowestHertz && hertz <= m_expected->highestHertz);
}

// A pitch halfway between two frets of the wanted note's, as a pluck's
// pitch still falls there from sharp, is reported only once it has rung a
// while: a string 45 cents sharp read a fret high in its first moments.
bool NoteListener::onFretEdge(double hertz) const
{
    if (!m_expected || m_expected->wantedHertz <= 0.0)
        return false;
    const double cents = std::abs(centsBetween(hertz, m_expected->wantedHertz));
    const double fromEdge = std::abs(std::fmod(cents, 100.0) - 50.0);
    return cents < kEdgeWithinFrets * 100.0 && fromEdge < kEdgeCents;
}

bool NoteListener::deferOnEdge(double hertz, std::uint64_t end)
{
    FollowedNote& note = *m_note;
    if (end < note.onset + samplesIn(kEdgeWaitSeconds, m_sampleRate)) {
        note.deferred = onFretEdge(hertz);
        return note.deferred;
    }
    if (!note.deferred)
        return false;
    reportDeferred(end, true);
    return true;
}

// A note deferred on a fret's edge, reported at its pitch now that it has
// rung a while, or as it settled where it gives way to another; nothing
// for a note not deferred.
void NoteListener::reportDeferred(std::uint64_t end, bool atCurrentPitch)
{
    FollowedNote& note = *m_note;
    if (!std::exchange(note.deferred, false) || note.reported || !note.settledHertz)
        return;
    // Measured past the pluck's sharp start alone.
    const std::uint64_t settledFrom = note.onset + m_settledPart;
    const auto now = atCurrentPitch && end > settledFrom ? m_analyzer.fundamental(heard(settledFrom, end), *note.settledHertz)
                                                         : std::nullopt;
    if (now && std::abs(centsBetween(*now, *note.settledHertz)) < kSameNoteCents)
        note.settledHertz = *now;
    if (!inExpectedRange(*note.settledHertz))
        return;
    report(note, end, *note.settledHertz);
}

// Told once; a string struck again at the note that still rings from it is
// no new note.
void NoteListener::report(FollowedNote& note, std::uint64_t end, double hertz)
{
    note.reported = true;
    if (!ringsOn(note, hertz))
        m_settled.push_back({note.onset, end, hertz});
}

bool NoteListener::ringsOn(const FollowedNote& note, double hertz)
{
    return note.ringingBefore && std::abs(centsBetween(hertz, note.ringingBefore->hertz)) < kSameNoteCents
        && note.loudest <= kStruckAgainRise * note.ringingBefore->level;
}

// The note named among those of the expected range from what its onset
// added, then measured past its attack.
void NoteListener::nameFromEvidence(std::uint64_t end)
{
    FollowedNote& note = *m_note;
    if (end < note.onset + samplesIn(kEvidenceSeconds, m_sampleRate) || end > note.onset + samplesIn(kLatestSettleSeconds, m_sampleRate))
        return;
    const std::uint64_t from = std::max(note.onset, end - std::min<std::uint64_t>(end, m_evidence.stretchSize()));
    const auto pick = m_evidence.pick(note.before, m_evidence.spectrum(heard(from, end)), m_expected->lowestHertz,
                                      m_expected->highestHertz);
    if (!pick || pick->share < kLeastPartialShare || pick->added < kLeastAddedShare)
        return;
    double hertz = pick->hertz;
    const auto measured = m_analyzer.fundamental(heard(note.attackEnd, end), pick->hertz);
    if (measured && std::abs(centsBetween(*measured, pick->hertz)) <= kEvidenceAgreeCents)
        hertz = *measured;
    if (!inExpectedRange(hertz))
        return;
    // Settled at the pitch its evidence named, whatever partial the
    // period's analysis may take for it later.
    note.settledHertz = hertz;
    if (deferOnEdge(hertz, end))
        return;
    report(note, end, hertz);
}

std::optional<Period> NoteListener::keepNotePeriod(std::optional<Period> period) const
{
    // A settled note keeps its period: a frame that jumps an octave or a
    // twelfth from it while the window still repeats at the note's own
    // period clearly enough has heard a partial, or another string that
    // rings. Not before it settles: a frame read wrong in the attack,
    // kept so, would hold every frame after it there.
    if (!period || !m_note || !m_note->settledHertz)
        return period;
    const double noteLag = m_sampleRate / *m_note->settledHertz;
    if (!anOctaveOrTwelfthApart(period->lag, noteLag))
        return period;
    const auto kept = m_analyzer.peakNear(noteLag);
    return kept && kept->clarity > kKeptClarity ? kept : period;
}

void NoteListener::followPitch(std::uint64_t end, std::optional<Period> period, bool inAttack)
{
    const bool apart = m_analyzer.heardNew();
    const bool voiced = period && period->clarity >= (apart ? kVoicedApartClarity : kVoicedClarity);
    if (!voiced || inAttack) {
        m_current.reset();
    } else {
        const double rough = m_sampleRate / period->lag;
        // Measured from well past the attack once there is enough of the
        // note: a plucked string settles from a few cents sharp.
        std::uint64_t from = end - std::min<std::uint64_t>(end, m_refinement);
        if (m_note) {
            const std::uint64_t settledPart = m_note->onset + m_settledPart;
            from = std::max(from, end > settledPart + m_settledPart ? settledPart : m_note->attackEnd);
        }
        const auto fundamental = m_analyzer.fundamental(heard(from, end), rough);
        const bool agrees = fundamental && std::abs(centsBetween(*fundamental, rough)) <= (apart ? kAgreeApartCents : kAgreeCents);
        m_current = PitchEstimate{agrees ? *fundamental : rough, period->clarity};
    }

    if (!m_note || inAttack)
        return;
    m_note->pitches.push_back(voiced ? m_sampleRate / period->lag : 0.0);
    m_note->silentFrames = voiced ? 0 : m_note->silentFrames + 1;
    const auto middle = steadyPitch(apart ? kSteadyApartCents : kSteadyCents);
    if (!middle)
        return;
    if (m_note->settledHertz) {
        // A settled note that moves far without an onset: a new note, slurred
        // or too soft for an onset; it began about half a window ago.
        // An octave or a twelfth away is the analysis slipping to another
        // partial of the same string: no hand slurs that far.
        if (std::abs(centsBetween(*middle, *m_note->settledHertz)) < kNewNoteCents
            || anOctaveOrTwelfthApart(*middle, *m_note->settledHertz))
            return;
        reportDeferred(end, false);
        FollowedNote next;
        next.onset = end - std::min<std::uint64_t>(end, m_analyzer.windowSize() / 2 + kSteadyFrames * m_hop);
        next.attackEnd = next.onset;
        next.pitches.assign(m_note->pitches.end() - kSteadyFrames, m_note->pitches.end());
        next.loudest = m_note->loudest;
        m_note = std::move(next);
    }
    settle(end, *middle, apart);
}

std::optional<double> NoteListener::steadyPitch(double tolerance) const
{
    // The median of the last frames, when each of them has a pitch within
    // `tolerance` cents of it.
    const std::vector<double>& pitches = m_note->pitches;
    if (pitches.size() < kSteadyFrames)
        return std::nullopt;
    const std::vector<double> last(pitches.end() - kSteadyFrames, pitches.end());
    if (std::find(last.begin(), last.end(), 0.0) != last.end())
        return std::nullopt;
    const double middle = median(last);
    const bool steady = std::all_of(last.begin(), last.end(),
                                    [middle, tolerance](double p) { return std::abs(centsBetween(p, middle)) <= tolerance; });
    return steady ? std::optional(middle) : std::nullopt;
}

void NoteListener::settle(std::uint64_t end, double middle, bool apart)
{
    FollowedNote& note = *m_note;
    const std::uint64_t from = std::max(note.attackEnd, end - std::min<std::uint64_t>(end, m_refinement));
    auto measured = m_analyzer.fundamental(heard(from, end), middle);
    if (measured && std::abs(centsBetween(*measured, middle)) > (apart ? kAgreeApartCents : kAgreeCents))
        measured.reset();
    // The fundamental itself must hold still from one frame to the next: in
    // a room, the echoes that build up after a pluck swing it for a while.
    const bool holds = measured && note.lastMeasured
        && std::abs(centsBetween(*measured, *note.lastMeasured)) <= (apart ? kMeasuredApartCents : kMeasuredCents);
    note.lastMeasured = measured;
    if (!holds && end < note.onset + samplesIn(kLatestSettleSeconds, m_sampleRate))
        return;
    note.settledHertz = measured.value_or(middle);
    // While a range is expected, a note that its evidence did not name is
    // reported only from within the range.
    if (note.reported || !inExpectedRange(*note.settledHertz) || deferOnEdge(*note.settledHertz, end))
        return;
    report(note, end, *note.settledHertz);
}

std::optional<PitchEstimate> estimatePitch(std::span<const float> samples, int sampleRate)
{
    pitch_analysis::PitchAnalyzer analyzer(checkedRate(sampleRate));
    const auto period = analyzer.coarsePeriod(samples);
    if (!period)
        return std::nullopt;
    const double rough = sampleRate / period->lag;
    return PitchEstimate{analyzer.fundamental(samples, rough).value_or(rough), period->clarity};
}

} // namespace fretmap
