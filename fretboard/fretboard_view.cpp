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
    for (int string = 1; string <= 6; ++string)
        m_surface.setMarkerVisible(string, m_state.strings[static_cast<std::size_t>(string - 1)], false);

    const ChordEntry& entry = lookupChord(m_selection.chordCode().value_or(kUncataloguedCode));
    m_surface.setChordName(entry.caption);
    m_state.strings = entry.strings;
    m_state.baseFret = entry.baseFret;

    for (int string = 1; string <= 6; ++string)
        m_surface.setMarkerVisible(string, m_state.strings[static_cast<std::size_t>(string - 1)], true);
    m_surface.setBaseFretText(std::to_string(m_state.baseFret));
}

} // namespace fretmap
