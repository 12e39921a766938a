#include "sound/note_listener.h"

#include <stdexcept>
#include <utility>

namespace fretmap {

NoteListener::NoteListener(int sampleRate)
    : m_sampleRate(sampleRate)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("the sample rate is too low to listen at");
}

void NoteListener::feed(std::span<const float> samples)
{
    m_samplesHeard += samples.size();
}

double NoteListener::level() const
{
    return -120.0;
}

std::optional<PitchEstimate> NoteListener::currentPitch() const
{
    return std::nullopt;
}

std::vector<HeardNote> NoteListener::takeSettledNotes()
{
    return std::exchange(m_settled, {});
}

std::optional<PitchEstimate> estimatePitch(std::span<const float>, int)
{
    return std::nullopt;
}

} // namespace fretmap
