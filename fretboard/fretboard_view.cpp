#include "fretboard/fretboard_view.h"

#include "chord/chord_catalogue.h"
#include "chord/chord_selection.h"

#include <string>

namespace fretmap {
namespace {

// Any code outside the catalogue's range names no chord; it stands in for a
// selection whose code could not be formed.
constexpr std::int32_t kUncataloguedCode = 0;

} // namespace

FretboardView::FretboardView(const ChordSelection& selection, BoardSurface& surface)
    : m_selection(selection)
    , m_surface(surface)
{
}

void FretboardView::display()
{
    for (int string = 1; string <= kStringCount; ++string)
        m_surface.setMarkerVisible(string, m_state.strings[static_cast<std::size_t>(string - 1)], false);

    const ChordEntry& entry = lookupChord(m_selection.chordCode().value_or(kUncataloguedCode));
    m_shown = &entry;
    m_surface.setChordName(entry.caption);
    m_state.strings = entry.strings;
    m_state.baseFret = entry.baseFret;

    for (int string = 1; string <= kStringCount; ++string)
        m_surface.setMarkerVisible(string, m_state.strings[static_cast<std::size_t>(string - 1)], true);
    m_surface.setBaseFretText(std::to_string(m_state.baseFret));
}

const ChordEntry* FretboardView::shownChord() const
{
    return m_shown == &lookupChord(kUncataloguedCode) ? nullptr : m_shown;
}

std::string FretboardView::description() const
{
    if (!m_shown)
        return "No chord shown";
    // lookupChord answers every code outside the catalogue with one entry.
    if (m_shown == &lookupChord(kUncataloguedCode))
        return "Unknown chord: no fingering";
    return describeFingering(m_shown->caption, m_state);
}

std::string describeFingering(std::string_view caption, const FretboardState& state)
{
    std::string text{caption};
    text += ", base fret " + std::to_string(state.baseFret) + ":";
    for (std::size_t i = 0; i < state.strings.size(); ++i) {
        const std::int16_t cell = state.strings[i];
        text += (i == 0 ? " string " : ", string ") + std::to_string(i + 1);
        if (cell == kOpenString)
            text += " open";
        else if (cell == kMutedString)
            text += " not played";
        else
            text += " fret " + std::to_string(state.baseFret + cell - 1);
    }
    return text;
}

} // namespace fretmap
