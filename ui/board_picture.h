#pragma once

#include "fretboard/fretboard_view.h"

#include <QFrame>

#include <array>
#include <string_view>

class QLabel;

namespace fretmap {

// Picture1: the fretboard. It draws the strings and frets itself and holds
// the prepared marker labels, which a display cycle only shows and hides.
class BoardPicture : public QFrame, public BoardSurface {
    Q_OBJECT

public:
    explicit BoardPicture(QWidget* parent = nullptr);

    void setMarkerVisible(int string, int index, bool shown) override;
    void setChordName(std::string_view text) override;
    void setBaseFretText(std::string_view text) override;

    // What the board shows, in words, for a screen reader; set after every
    // display, so that the new chord is announced.
    void setDescription(std::string_view text);

    // Element `index` of the marker array of `string` (1 to 6), or nullptr
    // when the array has no such element.
    QLabel* marker(int string, int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void placeLabel7Paper();

    // m_markers[string - 1][index], indexed by string state; the index
    // between the last fret cell and the muted string stays empty.
    std::array<std::array<QLabel*, kMutedString + 1>, kStringCount> m_markers{};
    QWidget* m_label7Paper = nullptr; // blank paper under the base fret, above the markers
    QLabel* m_label7 = nullptr;       // base fret, under fret cell 1
    QLabel* m_label8 = nullptr;       // chord name, under the board
};

} // namespace fretmap
