#include "sound/fingering_notes.h"

#include <cmath>

namespace fretmap {

std::array<std::optional<MidiNote>, kStringCount> fingeringNotes(const FretboardState& state)
{
    std::array<std::optional<MidiNote>, kStringCount> notes{};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const int cell = state.strings[i];
        if (cell == kMutedString)
            continue;
        const int fret = cell == kOpenString ? 0 : state.baseFret + cell - 1;
        notes[i] = kOpenStringNotes[i] + fret;
    }
    return notes;
}

std::vector<MidiNote> strumOrder(const FretboardState& state)
{
    const auto notes = fingeringNotes(state);
    std::vector<MidiNote> order;
    for (std::size_t i = notes.size(); i-- > 0;) {
        if (notes[i])
            order.push_back(*notes[i]);
    }
    return order;
}

double noteFrequency(MidiNote note)
{
    return 440.0 * std::exp2((note - 69) / 12.0);
}

} // namespace fretmap
