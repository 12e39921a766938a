// The main window's whole run, for valgrind: start, pick C and display it,
// About, OK in the about window, Exit. Every step runs from the event loop,
// as the user's would, and the run ends the way the program's does: Exit
// leaves the event loop and main() returns. A step that finds the window
// not as it expects stops the run with exit code 2 and says why.
#include "ui/board_picture.h"
#include "ui/form1.h"
#include "ui/selector_list.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <cstdio>

namespace {

constexpr int kStepFailed = 2;

using Step = bool (*)(fretmap::Form1&);

bool fail(const char* why)
{
    std::fprintf(stderr, "form1_memcheck: %s\n", why);
    return false;
}

QAction* action(fretmap::Form1& form1, const char* name)
{
    return form1.findChild<QAction*>(QLatin1String(name));
}

QDialog* openAboutWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("frmAbout") && widget->isVisible())
            return qobject_cast<QDialog*>(widget);
    }
    return nullptr;
}

bool display(fretmap::Form1& form1)
{
    auto* list1 = form1.findChild<fretmap::SelectorList*>(QStringLiteral("List1"));
    auto* command1 = form1.findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* board = form1.findChild<fretmap::BoardPicture*>(QStringLiteral("Picture1"));
    if (!list1 || !command1 || !board)
        return fail("List1, Command1 or Picture1 is missing");
    QTest::mouseClick(list1, Qt::LeftButton, {}, list1->rowRect(0).center());
    QTest::mouseClick(command1, Qt::LeftButton);
    return board->chordName() == QLatin1String("C") || fail("display did not show C");
}

bool about(fretmap::Form1& form1)
{
    QAction* about = action(form1, "about");
    if (!about)
        return fail("there is no about action");
    about->trigger();
    return openAboutWindow() || fail("About opened no about window");
}

bool ok(fretmap::Form1&)
{
    QDialog* window = openAboutWindow();
    auto* cmdOK = window ? window->findChild<QPushButton*>(QStringLiteral("cmdOK")) : nullptr;
    if (!cmdOK)
        return fail("the about window has no cmdOK");
    QTest::mouseClick(cmdOK, Qt::LeftButton);
    return true;
}

bool exitProgram(fretmap::Form1& form1)
{
    if (openAboutWindow())
        return fail("OK left the about window open");
    QAction* exit = action(form1, "exit");
    if (!exit)
        return fail("there is no exit action");
    exit->trigger();
    return true;
}

constexpr std::array<Step, 4> kSteps{display, about, ok, exitProgram};

// Runs step `index` once the events before it are handled, then the next.
void play(fretmap::Form1& form1, std::size_t index)
{
    if (index == kSteps.size())
        return;
    QTimer::singleShot(0, &form1, [&form1, index] {
        if (kSteps[index](form1))
            play(form1, index + 1);
        else
            QCoreApplication::exit(kStepFailed);
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    fretmap::Form1 form1;
    form1.show();
    play(form1, 0);
    return QApplication::exec();
}
