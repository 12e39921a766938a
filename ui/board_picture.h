#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/pluck.h"

#include <QFont>
#include <QFrame>
#include <QString>

#include <array>
#include <string_view>

class QAction;
class QMenu;
class QPainter;

namespace fretmap {

// Picture1: the fretboard. It draws its strings and frets, the markers that
// a display cycle shows, the base-fret number and the chord name itself,
// from what the three board operations last set, and a frame inside its
// border while it has the keyboard focus. A click, Space or Enter,
// its context menu or the play key (anywhere in its window) asks to hear
// what it shows; its context menu or the listen key asks to listen to the
// guitarist play it.
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

    // What is drawn, as a user sees it. A marker's place is that of its
    // element in the design (an empty rectangle for an index that names no
    // marker); a text's place is the rectangle of its text.
    bool isMarkerShown(int string, int index) const;
    QRect markerRect(int string, int index) const;
    static QString markerCaption(int index);
    QFont markerFont(int index) const;
    QString chordName() const { return m_chordName; }
    QString baseFretText() const { return m_baseFretText; }
    QRect chordNameRect() const { return m_chordNameRect; }
    QRect baseFretRect() const { return m_baseFretRect; }
    QFont chordNameFont() const { return m_chordNameFont; }
    QFont baseFretFont() const { return m_baseFretFont; }

    // "Play chord", with the play key, and "Play string by string": the
    // board's context menu.
    QAction* playChordAction() const { return m_playChord; }
    QAction* playStringsAction() const { return m_playStrings; }
    // "Listen…", with the listen key: the third item of the context menu.
    QAction* listenAction() const { return m_listen; }

signals:
    void playRequested(fretmap::PlayStyle style);
    void listenRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void placeChordName();
    void drawFocusFrame(QPainter& painter) const;

    // m_shown[string - 1][index], indexed by string state; the index
    // between the last fret cell and the muted string names no marker.
    std::array<std::array<bool, kMutedString + 1>, kStringCount> m_shown{};
    std::array<QFont, kMutedString + 1> m_markerFonts;
    QString m_baseFretText; // Label7: under fret cell 1
    QString m_chordName;    // Label8: under the board
    QFont m_baseFretFont;
    QFont m_chordNameFont;
    QRect m_baseFretRect;
    QRect m_chordNameRect;
    QAction* m_playChord = nullptr;   // strums the board; its key works anywhere in the window
    QAction* m_playStrings = nullptr; // plays each string alone
    QAction* m_listen = nullptr;      // opens the listening window; its key works anywhere in the window
    QMenu* m_menu = nullptr;          // the context menu with both
};

} // namespace fretmap
