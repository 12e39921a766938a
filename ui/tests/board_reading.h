#pragma once

#include <QLabel>
#include <QStringList>
#include <QWidget>

#include <algorithm>

// What the board of a main window shows, read off its labels as a user sees
// them: "string:index" of every marker in sight, in order (an open string's
// empty element shows nothing and is left out), the chord name and the base
// fret.
struct Board {
    QStringList markers;
    QString name;
    QString baseFret;

    bool operator==(const Board&) const = default;
};

inline Board boardOf(const QWidget& form)
{
    Board board;
    for (int string = 1; string <= 6; ++string) {
        QList<int> shown;
        for (QLabel* label : form.findChildren<QLabel*>(QStringLiteral("Label%1").arg(string))) {
            const int index = label->property("index").toInt();
            if (index != 0 && !label->isHidden())
                shown << index;
        }
        std::sort(shown.begin(), shown.end());
        for (int index : shown)
            board.markers << QStringLiteral("%1:%2").arg(string).arg(index);
    }
    board.name = form.findChild<QLabel*>(QStringLiteral("Label8"))->text();
    board.baseFret = form.findChild<QLabel*>(QStringLiteral("Label7"))->text();
    return board;
}
