// Opens Fretmap's main window and displays a chord, as a program that uses
// the window layer would.
#include "ui/form1.h"

#include <QApplication>
#include <QLabel>
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
    const auto labels = form1.findChildren<QLabel*>(QStringLiteral("Label8"));
    return labels.size() == 1 && labels.first()->text() == QStringLiteral("unknown") ? 0 : 1;
}
