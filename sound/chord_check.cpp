#include "sound/chord_check.h"

#include <array>
#include <cmath>
#include <string_view>

namespace fretmap {

namespace {

// Fret counts read as words up to the twelfth fret, as a teacher says them.
constexpr std::array<std::string_view, 13> kNumberWords{"zero", "one", "two", "three", "four", "five", "six",
                                                        "seven", "eight", "nine", "ten", "eleven", "twelve"};

std::string fretsInWords(int frets)
{
    const int count = std::abs(frets);
    std::string words = count < std::ssize(kNumberWords) ? std::string(kNumberWords[static_cast<std::size_t>(count)])
                                                         : std::to_string(count);
    words += count == 1 ? " fret " : " frets ";
    words += frets > 0 ? "high" : "low";
    return words;
}

// "35 cents sharp", "1 cent flat": whole cents, as a tuner shows them.
std::string centsInWords(double cents)
{
    const long count = std::lround(std::abs(cents));
    return std::to_string(count) + (count == 1 ? " cent " : " cents ") + (cents > 0 ? "sharp" : "flat");
}

// What a judged string's row says after its colon.
std::string verdictInWords(const Verdict& verdict)
{
    switch (verdict.kind) {
    case VerdictKind::Right:
        return "right";
    case VerdictKind::OutOfTune:
        return noteName(verdict.heard.value_or(0)) + ", " + centsInWords(verdict.cents);
    case VerdictKind::WrongFret:
        return noteName(verdict.heard.value_or(0)) + ", " + fretsInWords(verdict.frets);
    case VerdictKind::NotHeard:
        break;
    }
    return "not heard";
}

// Writes the verdict of `string` and hands the turn to the next played
// string below it in number, the next higher in pitch.
void writeVerdict(std::array<StringCheck, kStringCount>& strings, int string, const Verdict& verdict)
{
    StringCheck& row = strings[static_cast<std::size_t>(string - 1)];
    row.status = StringStatus::Judged;
    row.verdict = verdict;
    for (int next = string - 1; next >= 1; --next) {
        StringCheck& candidate = strings[static_cast<std::size_t>(next - 1)];
        if (candidate.status == StringStatus::Waiting) {
            candidate.status = StringStatus::PlayNow;
            return;
        }
    }
}

} // namespace

Verdict judgeNote(MidiNote wanted, double frequency, double referencePitch)
{
    Verdict verdict;
    if (!(frequency > 0.0) || !std::isfinite(frequency))
        return verdict; // nothing that can be heard
    const double semitones = 12.0 * std::log2(frequency / noteFrequency(wanted, referencePitch));
    verdict.cents = 100.0 * semitones;
    if (std::abs(verdict.cents) <= kRightCents) {
        verdict.kind = VerdictKind::Right;
        verdict.heard = wanted;
    } else if (std::abs(verdict.cents) <= kOutOfTuneCents) {
        verdict.kind = VerdictKind::OutOfTune;
        verdict.heard = wanted;
    } else {
        verdict.kind = VerdictKind::WrongFret;
        verdict.frets = static_cast<int>(std::lround(semitones));
        verdict.heard = wanted + verdict.frets;
    }
    return verdict;
}

std::string noteName(MidiNote note)
{
    // Floor division, so that notes below C-1 keep their names.
    const int octave = (note >= 0 ? note / 12 : (note - 11) / 12) - 1;
    const int pitchClass = note - (octave + 1) * 12;
    return std::string(kRootNames[static_cast<std::size_t>(pitchClass)]) + std::to_string(octave);
}

std::string describeStringCheck(const StringCheck& check)
{
    std::string text = "String " + std::to_string(check.string);
    if (check.status == StringStatus::NotPlayed || !check.wanted)
        return text + ": not played";
    text += check.fret == 0 ? ", open, " : ", fret " + std::to_string(check.fret) + ", ";
    text += noteName(*check.wanted) + ": ";
    switch (check.status) {
    case StringStatus::Waiting:
        return text + "waiting";
    case StringStatus::PlayNow:
        return text + "play it now";
    case StringStatus::Judged:
    case StringStatus::NotPlayed:
        break;
    }
    return text + verdictInWords(check.verdict);
}

std::string describeFault(const Verdict& verdict)
{
    switch (verdict.kind) {
    case VerdictKind::OutOfTune:
        return centsInWords(verdict.cents);
    case VerdictKind::WrongFret:
        return fretsInWords(verdict.frets);
    case VerdictKind::Right:
    case VerdictKind::NotHeard:
        break;
    }
    return "not heard";
}

std::string rightOfPlayed(int right, int played)
{
    return std::to_string(right) + " of " + std::to_string(played) + (played == 1 ? " string" : " strings") + " right";
}

std::string describeTunerReading(const TunerReading& reading)
{
    return noteName(reading.note) + ", " + (reading.inTune() ? std::string("in tune") : centsInWords(reading.cents));
}

ChordCheck::ChordCheck(const FretboardState& state, double referencePitch)
    : m_hasChord(true)
    , m_referencePitch(referencePitch)
{
    const auto notes = fingeringNotes(state);
    for (std::size_t i = 0; i < m_strings.size(); ++i) {
        StringCheck& row = m_strings[i];
        row.string = static_cast<int>(i) + 1;
        row.wanted = notes[i];
        if (notes[i])
            row.fret = *notes[i] - kOpenStringNotes[i];
    }
    restart(0.0);
}

std::optional<int> ChordCheck::current() const
{
    for (const StringCheck& row : m_strings) {
        if (row.status == StringStatus::PlayNow)
            return row.string;
    }
    return std::nullopt;
}

std::optional<ExpectedNote> ChordCheck::expected() const
{
    const std::optional<int> string = current();
    if (!string)
        return std::nullopt;
    const auto index = static_cast<std::size_t>(*string - 1);
    const double open = noteFrequency(kOpenStringNotes[index], m_referencePitch);
    const double wanted = noteFrequency(*m_strings[index].wanted, m_referencePitch);
    return ExpectedNote{centsAbove(open, -kOutOfTuneCents), std::min(kHighestHeardPitch, 4.0 * open), wanted};
}

bool ChordCheck::finished() const
{
    return !current();
}

// The three numbers are the note's pitch and its two times, named as such
// in the declaration.
bool ChordCheck::hear(double frequency, double onsetSeconds, double seconds) // NOLINT(bugprone-easily-swappable-parameters)
{
    const std::optional<int> string = current();
    // A note struck before this string's turn came is the last string still
    // ringing, or what was played before the check started again.
    if (!string || onsetSeconds < m_turnStarted)
        return false;
    const MidiNote wanted = *m_strings[static_cast<std::size_t>(*string - 1)].wanted;
    writeVerdict(m_strings, *string, judgeNote(wanted, frequency, m_referencePitch));
    m_turnStarted = seconds;
    return true;
}

bool ChordCheck::elapse(double seconds)
{
    bool written = false;
    for (std::optional<int> string = current(); string && seconds - m_turnStarted >= kNotHeardSeconds;
         string = current()) {
        writeVerdict(m_strings, *string, Verdict{});
        m_turnStarted += kNotHeardSeconds;
        written = true;
    }
    return written;
}

void ChordCheck::restart(double seconds)
{
    m_turnStarted = seconds;
    bool marked = false;
    // From string 6 up: the lowest sounding string is played first.
    for (std::size_t i = m_strings.size(); i-- > 0;) {
        StringCheck& row = m_strings[i];
        row.verdict = {};
        if (!row.wanted) {
            row.status = StringStatus::NotPlayed;
        } else {
            row.status = marked ? StringStatus::Waiting : StringStatus::PlayNow;
            marked = true;
        }
    }
}

std::string ChordCheck::summary() const
{
    if (!m_hasChord || !finished())
        return {};
    int played = 0;
    int right = 0;
    std::string faults;
    // In the order played, lowest string first.
    for (std::size_t i = m_strings.size(); i-- > 0;) {
        const StringCheck& row = m_strings[i];
        if (row.status != StringStatus::Judged)
            continue;
        ++played;
        if (row.verdict.kind == VerdictKind::Right)
            ++right;
        else
            faults += "; string " + std::to_string(row.string) + " " + describeFault(row.verdict);
    }
    if (played == 0)
        return {};
    return rightOfPlayed(right, played) + faults;
}

} // namespace fretmap
