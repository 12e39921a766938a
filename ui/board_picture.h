#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/pluck.h"

#include <QFrame>

#include <array>
#include <string_view>

class QAction;
class QLabel;

namespace fretmap {

// Picture1: the fretboard. It draws the strings and frets itself and holds
// the prepared marker labels, which a display cycle only shows and hides.
// A click, Space or Enter, its context menu or the play key (anywhere in
// its window) asks to hear what it shows.
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

    // "Play chord", with the play key, and "Play string by string": the
    // board's context menu.
    QAction* playChordAction() const { return m_playChord; }
    QAction* playStringsAction() const { return m_playStrings; }

signals:
    void playRequested(fretmap::PlayStyle style);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void placeLabel7Paper();

    // m_markers[string - 1][index], indexed by string state; the index
    // between the last fret cell and the muted string stays empty.
    std::array<std::array<QLabel*, kMutedString + 1>, kStringCount> m_markers{};
    QWidget* m_label7Paper = nullptr; // blank paper under the base fret, above the markers
    QLabel* m_label7 = nullptr;       // base fret, under fret cell 1
    QLabel* m_label8 = nullptr;       // chord name, under the board
    QAction* m_playChord = nullptr;   // strums the board; its key works anywhere in the window
    QAction* m_playStrings = nullptr; // plays each string alone
};

} // namespace fretmap
