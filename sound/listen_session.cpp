#include "listen_session.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace fretmap {

namespace {

constexpr std::string_view kNothingShownToCheck = "No chord shown: nothing to check";
constexpr std::string_view kUnknownChordToCheck = "Unknown chord: nothing to check";
constexpr std::string_view kCheckUnderway = "Play the strings one at a time, the lowest first";
// The tuner says a reading no more often than this, in seconds of sound,
// and a new one only when it has moved this many cents.
constexpr double kTunerSpeechSpacing = 1.0;
constexpr double kTunerSpeechCents = 5.0;
// An onset is told a strum or a single string this long after it: long
// enough for a second string of a strum to sound, short enough that a
// single string's verdict is hardly held back.
constexpr double kStrumTellSeconds = 0.1;
// It is looked at up to this many times, each a further 0.1 s on, and its
// strikes looked for from this long before it.
constexpr double kStrikeLeadSeconds = 0.03;
constexpr int kStrumLooks = 2;
// A strum's sound is taken from this long before its first onset, and its
// strikes are looked for once its longest span has passed.
constexpr double kBeforeStrumSeconds = 0.15;
constexpr double kStrikesAfterSeconds = kBeforeStrumSeconds + kStrumSpanSeconds + 0.05;
// The sound kept for a strum: its span and its ringing, and some over.
constexpr double kRecentSeconds = 2.0;

std::uint64_t samplesIn(double seconds, int rate)
{
    return static_cast<std::uint64_t>(seconds * rate);
}

bool sameReading(const std::optional<TunerReading>& a, const std::optional<TunerReading>& b)
{
    if (!a || !b)
        return !a && !b;
    return a->note == b->note && a->cents == b->cents && a->nearestString == b->nearestString;
}

std::string describeString(const ChordCheck& check, int string)
{
    return describeStringCheck(check.strings()[static_cast<std::size_t>(string - 1)]);
}

} // namespace

ListenUpdate ListenSession::start(int sampleRate)
{
    m_listener.emplace(sampleRate);
    m_recent.clear();
    m_recentStart = 0;
    const double referencePitch = m_tuner.referencePitch();
    m_tuner = Tuner();
    m_tuner.setReferencePitch(referencePitch);
    m_spokenReading.reset();
    m_spokenAt.reset();
    ListenUpdate update;
    restartCheck(true, update);
    return noteTunerChange(update);
}

ListenUpdate ListenSession::stop()
{
    m_listener.reset();
    m_recent.clear();
    ListenUpdate update;
    return noteTunerChange(update);
}

ListenUpdate ListenSession::feed(std::span<const float> samples)
{
    ListenUpdate update;
    if (!m_listener)
        return update;
    const auto before = m_check.strings();
    // In steps of the sound's own time, wherever the blocks begin and end:
    // a busy desktop polls late, and the tuner and the check go by the
    // sound, not by the polls.
    const auto step = static_cast<std::uint64_t>(std::max(1, m_listener->sampleRate() / kListenStepsPerSecond));
    while (!samples.empty()) {
        const auto toStep = static_cast<std::size_t>(step - m_listener->samplesHeard() % step);
        const std::size_t count = std::min(toStep, samples.size());
        // The listener hears the string being played among the notes it can sound.
        m_listener->expect(m_check.expected());
        m_listener->feed(samples.first(count));
        keepRecent(samples.first(count));
        samples = samples.subspan(count);
        if (m_listener->samplesHeard() % step != 0)
            break; // the rest of the step comes with the next feed
        followStrum(update);
        hearNotes();
        std::optional<double> frequency;
        if (const auto pitch = m_listener->currentPitch())
            frequency = pitch->frequency;
        m_tuner.update(frequency, seconds());
    }
    const bool spoke = sayVerdicts(before, update);
    // The tuner keeps quiet while the check waits for a string, and while a
    // verdict is said: the two would speak over each other.
    if (!spoke && (!m_check.hasChord() || m_check.finished()))
        sayTunerNews(update);
    return noteTunerChange(update);
}

// Each note that settled goes to the check, at the time it was heard:
// held while its onset may begin a strum, and never a strum's own.
void ListenSession::hearNotes()
{
    for (const HeardNote& note : m_listener->takeSettledNotes()) {
        if (m_holding || m_strumFrom)
            m_held.push_back(note);
        else if (!m_strum)
            checkNote(note);
    }
    if (!m_holding && !m_strumFrom && !m_strum)
        m_check.elapse(seconds());
}

void ListenSession::checkNote(const HeardNote& note)
{
    const double rate = m_listener->sampleRate();
    const double settled = static_cast<double>(note.settled) / rate;
    m_check.elapse(settled); // a turn that ran out before the note came
    m_check.hear(note.frequency, static_cast<double>(note.onset) / rate, settled);
    m_listener->expect(m_check.expected());
}

// A new onset is told a strum or a single string; a strum is judged once
// its strings have struck and rung, and its summary said as one notice.
void ListenSession::followStrum(ListenUpdate& update)
{
    if (!m_check.hasChord())
        return;
    const int rate = m_listener->sampleRate();
    const std::uint64_t now = m_listener->samplesHeard();
    const auto onset = m_listener->lastOnset();
    if (onset && onset != m_onsetSeen && !m_strumFrom) {
        m_onsetSeen = onset;
        if (!m_candidate) {
            m_candidate = onset;
            m_holding = true;
        }
    }
    if (m_candidate && now >= *m_candidate + samplesIn(kStrumTellSeconds * (m_candidateLooks + 1), rate))
        tellCandidate(now);
    if (!m_strumFrom)
        return;
    if (!m_strikes && now >= *m_strumFrom + samplesIn(kStrikesAfterSeconds, rate))
        m_strikes = strumStrikes(wantedNotes(), referencePitch(), rate, recent(*m_strumFrom, now));
    const double last = m_strikes && !m_strikes->empty() ? m_strikes->back() : kBeforeStrumSeconds;
    if (m_strikes && now >= *m_strumFrom + samplesIn(last + kStrumListenSeconds, rate)) {
        StrumStrings strum = judgeStrum(wantedNotes(), referencePitch(), rate, recent(*m_strumFrom, now), *m_strikes);
        m_strumFrom.reset();
        m_strikes.reset();
        // A single string that rose with a swell of the others is found
        // out by the strum's own judgement: its notes go to the check.
        if (!soundsAsStrum(strum)) {
            releaseHeld();
            return;
        }
        m_strum = strum;
        m_held.clear();
        m_onsetSeen = m_listener->lastOnset(); // the strum's own strikes begin nothing new
        update.checkChanged = true;
        sayForCheck(strumSummary(*m_strum), update);
    }
}

// Told at once where two strings rise clearly. Looked at again a moment
// later where they rise faintly, as a strum's later strings do while they
// begin, the notes settled meanwhile held back; and where only one rose,
// as when a strum begins on strings that others' partials cover, the notes
// go on to the check, but a strum found then still takes the rows' place.
void ListenSession::tellCandidate(std::uint64_t now)
{
    const int rate = m_listener->sampleRate();
    const std::uint64_t at = *m_candidate;
    const auto window = samplesIn(kStrumTellSeconds, rate);
    StrumEvidence evidence = strumEvidence(wantedNotes(), referencePitch(), rate, recent(at - std::min(at, window), at), recent(now - window, now));
    ++m_candidateLooks;
    const bool lastLook = m_candidateLooks >= kStrumLooks;
    // A string plucked alone may set others ringing with it, and its own
    // partials lie near theirs: a strum's strings are struck apart, their
    // strikes found apart or, looked at again, a string risen since.
    const auto lead = samplesIn(kStrikeLeadSeconds, rate);
    const bool apart = evidence != StrumEvidence::None
        && (laterStrikeAddsString(wantedNotes(), referencePitch(), rate, recent(at - std::min(at, lead), now))
            || (m_candidateLooks > 1
                && stringRoseLater(wantedNotes(), referencePitch(), rate, recent(at, at + window), recent(now - window, now))));
    if (evidence == StrumEvidence::Clear && !apart)
        evidence = StrumEvidence::Faint;
    // Several strings risen faintly, struck apart, are a strum by the last
    // look: its first string a wrong fret, its others covered or begun late.
    // So are two where hardly any string rang before: a dense chord's own
    // partials are few, and a string picked over others ringing is no strum.
    if (evidence == StrumEvidence::FaintOnTwo) {
        const bool alone = lastLook && apart
            && stringsRingingBefore(wantedNotes(), referencePitch(), rate, recent(at - std::min(at, window), at), recent(now - window, now)) < 2;
        evidence = alone ? StrumEvidence::Clear : StrumEvidence::Faint;
    }
    if (evidence == StrumEvidence::FaintOnSeveral)
        evidence = lastLook && apart ? StrumEvidence::Clear : StrumEvidence::Faint;
    if (evidence == StrumEvidence::Clear)
        m_strumFrom = at - std::min(at, samplesIn(kBeforeStrumSeconds, rate));
    if (evidence == StrumEvidence::Clear || lastLook) {
        m_candidate.reset();
        m_candidateLooks = 0;
    }
    m_holding = evidence == StrumEvidence::Faint && !lastLook;
    if (!m_holding && !m_strumFrom)
        releaseHeld();
}

void ListenSession::releaseHeld()
{
    for (const HeardNote& note : std::exchange(m_held, {})) {
        if (!m_strum)
            checkNote(note);
    }
}

void ListenSession::keepRecent(std::span<const float> samples)
{
    m_recent.insert(m_recent.end(), samples.begin(), samples.end());
    const auto keep = static_cast<std::size_t>(samplesIn(kRecentSeconds, m_listener->sampleRate()));
    if (m_recent.size() > 2 * keep) {
        const std::size_t drop = m_recent.size() - keep;
        m_recent.erase(m_recent.begin(), m_recent.begin() + static_cast<std::ptrdiff_t>(drop));
        m_recentStart += drop;
    }
}

// The samples heard from `from` to `to`, as far as they are kept.
std::span<const float> ListenSession::recent(std::uint64_t from, std::uint64_t to) const
{
    from = std::clamp(from, m_recentStart, m_recentStart + m_recent.size());
    to = std::clamp(to, from, m_recentStart + m_recent.size());
    return std::span<const float>(m_recent).subspan(static_cast<std::size_t>(from - m_recentStart),
                                                    static_cast<std::size_t>(to - from));
}

std::array<std::optional<MidiNote>, kStringCount> ListenSession::wantedNotes() const
{
    std::array<std::optional<MidiNote>, kStringCount> wanted;
    for (std::size_t i = 0; i < kStringCount; ++i)
        wanted[i] = m_check.strings()[i].wanted;
    return wanted;
}

// What the check wrote since `before` is said at once, with the string to
// play next or the summary; returns whether anything was said.
bool ListenSession::sayVerdicts(const std::array<StringCheck, kStringCount>& before, ListenUpdate& update)
{
    std::string written;
    // In the order played: the lowest string first.
    for (std::size_t i = kStringCount; i-- > 0;) {
        if (before[i].status != StringStatus::Judged && m_check.strings()[i].status == StringStatus::Judged)
            written += describeStringCheck(m_check.strings()[i]) + ". ";
    }
    if (written.empty())
        return false;
    if (const auto next = m_check.current())
        written += describeString(m_check, *next);
    else
        written += m_check.summary();
    update.checkChanged = true;
    sayForCheck(std::move(written), update);
    return true;
}

// A notice of the check, which the tuner must not speak over: a screen
// reader reads a notice when it comes to it, and by then a second one
// would have taken its place. The tuner waits its usual spacing, and the
// note that was just judged is no news to it.
void ListenSession::sayForCheck(std::string text, ListenUpdate& update)
{
    update.said.push_back(std::move(text));
    m_spokenAt = seconds();
    m_spokenReading = m_tuner.reading();
}

// Says the reading when it is new: a note taken, or moved by 5 cents or
// more since it was last said, and never more than once a second.
void ListenSession::sayTunerNews(ListenUpdate& update)
{
    const std::optional<TunerReading> reading = tunerReading();
    if (!reading) {
        m_spokenReading.reset(); // the next note is news, even the same one
        return;
    }
    if (m_spokenAt && seconds() - *m_spokenAt < kTunerSpeechSpacing)
        return;
    std::string phrase = describeTunerReading(*reading);
    if (m_spokenReading
        && (phrase == describeTunerReading(*m_spokenReading)
            || (m_spokenReading->note == reading->note
                && std::abs(m_spokenReading->cents - reading->cents) < kTunerSpeechCents)))
        return; // nothing new to say: "in tune" and "in tune" again is no news
    m_spokenReading = reading;
    m_spokenAt = seconds();
    update.said.push_back(std::move(phrase));
}

ListenUpdate ListenSession::setBoard(BoardContent content, const FretboardState& state)
{
    m_content = content;
    m_state = state;
    m_check = content == BoardContent::Chord ? ChordCheck(state, m_tuner.referencePitch()) : ChordCheck();
    ListenUpdate update;
    restartCheck(true, update);
    return noteTunerChange(update);
}

ListenUpdate ListenSession::setReferencePitch(double hertz)
{
    m_tuner.setReferencePitch(hertz);
    if (m_content == BoardContent::Chord)
        m_check = ChordCheck(m_state, hertz);
    ListenUpdate update;
    restartCheck(false, update);
    return noteTunerChange(update);
}

ListenUpdate ListenSession::startAgain()
{
    ListenUpdate update;
    restartCheck(true, update);
    return noteTunerChange(update);
}

void ListenSession::restartCheck(bool speak, ListenUpdate& update)
{
    m_check.restart(seconds());
    // Back to the strings one by one: a strum heard or being heard is dropped.
    m_strum.reset();
    m_strumFrom.reset();
    m_strikes.reset();
    m_candidate.reset();
    m_candidateLooks = 0;
    m_holding = false;
    m_held.clear();
    m_onsetSeen = m_listener ? m_listener->lastOnset() : std::nullopt;
    update.checkChanged = true;
    if (!speak)
        return;
    if (const auto next = m_check.current())
        sayForCheck(describeString(m_check, *next), update);
    else
        sayForCheck(summary(), update);
}

// Whether the reading moved since the last update said so.
ListenUpdate& ListenSession::noteTunerChange(ListenUpdate& update)
{
    const std::optional<TunerReading> reading = tunerReading();
    update.tunerChanged = !sameReading(reading, m_shownReading);
    m_shownReading = reading;
    return update;
}

std::array<std::string, kStringCount> ListenSession::rows() const
{
    std::array<std::string, kStringCount> rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (m_strum) {
            rows[i] = describeStrumString((*m_strum)[i]);
            continue;
        }
        rows[i] = m_check.hasChord() ? describeStringCheck(m_check.strings()[i])
                                     : "String " + std::to_string(i + 1) + ": nothing to check";
    }
    return rows;
}

std::string ListenSession::summary() const
{
    switch (m_content) {
    case BoardContent::NothingShown: return std::string(kNothingShownToCheck);
    case BoardContent::UnknownChord: return std::string(kUnknownChordToCheck);
    case BoardContent::Chord: break;
    }
    if (m_strum)
        return strumSummary(*m_strum);
    return m_check.finished() ? m_check.summary() : std::string(kCheckUnderway);
}

std::optional<TunerReading> ListenSession::tunerReading() const
{
    return m_listener ? m_tuner.reading() : std::nullopt;
}

std::string ListenSession::tunerPhrase() const
{
    const std::optional<TunerReading> reading = tunerReading();
    return reading ? describeTunerReading(*reading) : std::string(kNoNote);
}

std::optional<double> ListenSession::level() const
{
    return m_listener ? std::optional<double>(m_listener->level()) : std::nullopt;
}

double ListenSession::seconds() const
{
    return m_listener ? static_cast<double>(m_listener->samplesHeard()) / m_listener->sampleRate() : 0.0;
}

} // namespace fretmap
