#include "sound/tuner.h"

#include <cmath>
#include <stdexcept>

namespace fretmap {

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
    const double semitones = 12.0 * std::log2(frequency / referencePitch) + 69.0;
    TunerReading reading;
    reading.note = static_cast<MidiNote>(std::lround(semitones));
    reading.cents = 100.0 * (semitones - reading.note);
    return reading;
}

void Tuner::setReferencePitch(double hertz)
{
    if (!(hertz >= kLowestReferencePitch && hertz <= kHighestReferencePitch))
        throw std::invalid_argument("A4 must be between 430 and 450 Hz");
    m_referencePitch = hertz;
}

std::optional<TunerReading> Tuner::update(std::optional<double> frequency, double)
{
    m_reading.reset();
    if (frequency)
        m_reading = readPitch(*frequency, m_referencePitch);
    return m_reading;
}

} // namespace fretmap
