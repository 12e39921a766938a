// Opens Fretmap's main window and displays a chord, as a program that uses
// the window layer would.
#include "ui/board_picture.h"
#include "ui/form1.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    fretmap::Form1 form1;
    form1.show();
    auto* command1 = form1.findChild<QPushButton*>(QStringLiteral("Command1"));
    if (!command1)
        return 1;
    command1->click();
    // Nothing picked: the board names the chord "unknown".
    const auto* board = form1.findChild<fretmap::BoardPicture*>(QStringLiteral("Picture1"));
    return board && board->chordName() == QStringLiteral("unknown") ? 0 : 1;
}
