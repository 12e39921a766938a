#include "sound/tuner.h"

#include "sound/pitch_analysis.h"
#include "sound/pitch_units.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>

namespace fretmap {
namespace {

using pitch_analysis::median;

// A pitch is taken when every pitch of the last kTakeSeconds lies within
// kTakeCents of their median: a pluck's first wobble is not shown.
constexpr double kTakeSeconds = 0.08;
constexpr double kTakeCents = 10.0;
// A reading holds until the median of the last kHoldSeconds moves more than
// kHoldCents from it, so that a steady note holds still and a drift is
// followed half a cent at a time.
constexpr double kHoldSeconds = 0.1;
constexpr double kHoldCents = 0.5;
// Pitches further than this from the reading are another note: they move
// the reading only once they are steady enough to be taken.
constexpr double kLeaveCents = 30.0;
// Without a pitch for this long, the reading is gone.
constexpr double kReleaseSeconds = 0.4;

double centsAboveA440(double frequency)
{
    return centsBetween(frequency, 440.0);
}

} // namespace

bool TunerReading::inTune() const
{
    return std::abs(cents) <= kInTuneCents;
}

double noteFrequency(MidiNote note, double referencePitch)
{
    return referencePitch * std::exp2((note - 69) / 12.0);
}

TunerReading readPitch(double frequency, double referencePitch)
{
    if (!(frequency > 0.0 && std::isfinite(frequency)) || !(referencePitch > 0.0 && std::isfinite(referencePitch)))
        throw std::invalid_argument("a pitch and a reference must be positive frequencies");
    const double semitones = 12.0 * std::log2(frequency / referencePitch) + 69.0;
    TunerReading reading;
    reading.note = static_cast<MidiNote>(std::lround(semitones));
    reading.cents = 100.0 * (semitones - reading.note);
    const auto nearest = std::min_element(kOpenStringNotes.begin(), kOpenStringNotes.end(), [semitones](MidiNote a, MidiNote b) {
        return std::abs(semitones - a) < std::abs(semitones - b);
    });
    reading.nearestString = static_cast<int>(std::distance(kOpenStringNotes.begin(), nearest)) + 1;
    return reading;
}

void Tuner::setReferencePitch(double hertz)
{
    if (!(hertz >= kLowestReferencePitch && hertz <= kHighestReferencePitch))
        throw std::invalid_argument("A4 must be between 430 and 450 Hz");
    m_referencePitch = hertz;
    show();
}

std::optional<double> Tuner::steadyPitch(double since) const
{
    std::vector<double> pitches;
    for (const Heard& heard : m_recent) {
        if (heard.seconds >= since)
            pitches.push_back(heard.cents);
    }
    // Three pitches at least, and the first of them a take's time ago.
    if (pitches.size() < 3 || m_recent.front().seconds > since)
        return std::nullopt;
    const double middle = median(pitches);
    const bool steady = std::all_of(pitches.begin(), pitches.end(), [middle](double c) { return std::abs(c - middle) <= kTakeCents; });
    return steady ? std::optional(middle) : std::nullopt;
}

std::optional<TunerReading> Tuner::update(std::optional<double> frequency, double seconds)
{
    // Time that runs back is a new run of sound.
    if (!m_recent.empty() && seconds < m_recent.back().seconds)
        m_recent.clear();
    if (frequency && *frequency > 0.0 && std::isfinite(*frequency)) {
        m_recent.push_back({seconds, centsAboveA440(*frequency)});
        m_lastHeard = seconds;
    } else if (m_shown && seconds - m_lastHeard > kReleaseSeconds) {
        m_shown.reset();
        m_recent.clear();
    }
    const double oldest = seconds - std::max(kTakeSeconds, kHoldSeconds);
    std::erase_if(m_recent, [oldest](const Heard& heard) { return heard.seconds < oldest; });
    if (m_recent.empty()) {
        show();
        return m_reading;
    }

    const auto taken = steadyPitch(seconds - kTakeSeconds);
    if (!m_shown || (taken && std::abs(*taken - *m_shown) > kLeaveCents)) {
        if (taken)
            m_shown = taken;
    } else {
        // Only the pitches near the reading move it: a stray octave does not.
        std::vector<double> near;
        for (const Heard& heard : m_recent) {
            if (heard.seconds >= seconds - kHoldSeconds && std::abs(heard.cents - *m_shown) <= kLeaveCents)
                near.push_back(heard.cents);
        }
        if (!near.empty()) {
            const double middle = median(near);
            if (std::abs(middle - *m_shown) > kHoldCents)
                m_shown = middle;
        }
    }
    show();
    return m_reading;
}

void Tuner::show()
{
    m_reading.reset();
    if (m_shown)
        m_reading = readPitch(440.0 * std::exp2(*m_shown / 1200.0), m_referencePitch);
}

} // namespace fretmap
