#pragma once

#include "ui/board_picture.h"

#include <QStringList>
#include <QWidget>

// What the board of a main window shows, as a user sees it: "string:index"
// of every marker in sight, in order (an open string's empty element shows
// nothing and is left out), the chord name and the base fret.
struct Board {
    QStringList markers;
    QString name;
    QString baseFret;

    bool operator==(const Board&) const = default;
};

inline Board boardOf(const QWidget& form)
{
    Board board;
    const auto* picture = form.findChild<const fretmap::BoardPicture*>(QStringLiteral("Picture1"));
    for (int string = 1; string <= 6; ++string) {
        for (int index = 1; index <= 6; ++index) {
            if (picture->isMarkerShown(string, index))
                board.markers << QStringLiteral("%1:%2").arg(string).arg(index);
        }
    }
    board.name = picture->chordName();
    board.baseFret = picture->baseFretText();
    return board;
}
