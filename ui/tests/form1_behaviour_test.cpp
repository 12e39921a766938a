// The main window driven as a user drives it: clicks and keys on the lists,
// "display", and the menu commands.

#include "board_reading.h"
#include "recording_output.h"
#include "scratch_directory.h"

#include "sound/pluck.h"
#include "ui/chord_player.h"
#include "ui/common_dialog.h"
#include "ui/form1.h"
#include "ui/selector_list.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using fretmap::AudioOutput;
using fretmap::ChordPlayer;
using fretmap::SelectorList;
using fretmap::CommonDialog;
using fretmap::Form1;
using fretmap::PlayStyle;

namespace {

// What an assistive tool is told while accessibility is switched on: the
// objects for which a description change, a showing or a hiding was sent,
// every object that sent anything, and the list items that became the focus.
QList<const QObject*> descriptionChanges;
QList<const QObject*> shown;
QList<const QObject*> hidden;
QList<const QObject*> senders;
QStringList focusedItems;

void recordUpdate(QAccessibleEvent* event)
{
    senders << event->object();
    if (event->type() == QAccessible::DescriptionChanged)
        descriptionChanges << event->object();
    if (event->type() == QAccessible::ObjectShow)
        shown << event->object();
    if (event->type() == QAccessible::ObjectHide)
        hidden << event->object();
    if (event->type() == QAccessible::Focus && event->child() >= 0) // the event's interface is the item's
        focusedItems << event->accessibleInterface()->text(QAccessible::Name);
}

} // namespace

Q_DECLARE_METATYPE(PlayStyle)

class Form1BehaviourTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void displayCycle_data();
    void displayCycle();
    void arrowKeys_data();
    void arrowKeys();
    void listScrolls_data();
    void listScrolls();
    void tabIntoListStoresNothing();
    void pickCannotBeTakenBack_data();
    void pickCannotBeTakenBack();
    void contents_data();
    void contents();
    void screenReader_data();
    void screenReader();
    void play_data();
    void play();
    void contextMenu_data();
    void contextMenu();
    void noSoundIsSaidOnce();
    void soundModuleProblems_data();
    void soundModuleProblems();
    // Last: the application's exit stays in force for every event loop after it.
    void exitEndsTheEventLoop();

private:
    SelectorList* list(const QString& name) const { return m_form->findChild<SelectorList*>(name); }
    void click(const QString& listName, int row);
    void runSteps(const QStringList& steps);

    std::unique_ptr<Form1> m_form;
};

void Form1BehaviourTest::init()
{
    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void Form1BehaviourTest::cleanup()
{
    m_form.reset();
}

void Form1BehaviourTest::click(const QString& listName, int row)
{
    SelectorList* target = list(listName);
    QVERIFY(target);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rowRect(row).center());
    QCOMPARE(target->pickedRow(), row);
}

// Steps: "List<n>:<row>" clicks that row, "display" clicks the button, "tab"
// moves the focus on, "down" presses Down and "F9" the play key where the
// focus is.
void Form1BehaviourTest::runSteps(const QStringList& steps)
{
    auto* command1 = m_form->findChild<QPushButton*>(QStringLiteral("Command1"));
    for (const QString& step : steps) {
        if (step == QLatin1String("display")) {
            QTest::mouseClick(command1, Qt::LeftButton);
        } else if (step == QLatin1String("tab")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        } else if (step == QLatin1String("down")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        } else if (step == QLatin1String("F9")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
        } else {
            const QStringList parts = step.split(QLatin1Char(':'));
            click(parts[0], parts[1].toInt());
        }
    }
}

void Form1BehaviourTest::displayCycle_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("markers");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("baseFret");

    const QStringList c{"2:1", "4:2", "5:3", "6:6"};
    const QStringList cm{"1:1", "2:2", "3:3", "4:3", "5:1", "6:6"};

    QTest::newRow("before any display") << QStringList{} << QStringList{} << "" << "1";
    QTest::newRow("display with nothing picked") << QStringList{"display"} << QStringList{} << "unknown" << "1";
    QTest::newRow("C") << QStringList{"List1:0", "display"} << c << "C" << "1";
    QTest::newRow("Cm after C") << QStringList{"List1:0", "display", "List2:1", "display"} << cm << "Cm" << "3";
    QTest::newRow("C after Cm") << QStringList{"List1:0", "List2:1", "display", "List2:0", "display"} << c << "C"
                                << "1";
    QTest::newRow("same chord twice") << QStringList{"List1:0", "display", "display"} << c << "C" << "1";
    QTest::newRow("picks without display change nothing")
        << QStringList{"List1:0", "display", "List1:2", "List2:1", "List9:1"} << c << "C" << "1";
    QTest::newRow("a later pick replaces the earlier") << QStringList{"List1:4", "List1:0", "display"} << c << "C"
                                                       << "1";
    // One row for each list that the rows above do not pick, so that a list
    // wired to another list's contribution shows.
    QTest::newRow("List3 M with List5 7") << QStringList{"List1:0", "List3:1", "List5:1", "display"}
                                          << QStringList{"4:2", "5:3", "6:6"} << "CM7" << "1";
    QTest::newRow("List4 6") << QStringList{"List1:0", "List4:1", "display"}
                             << QStringList{"2:1", "3:2", "4:2", "5:3", "6:6"} << "C6" << "1";
    QTest::newRow("List5 7") << QStringList{"List1:0", "List5:1", "display"}
                             << QStringList{"2:1", "3:3", "4:2", "5:3", "6:6"} << "C7" << "1";
    QTest::newRow("List6 -5 with List5 7") << QStringList{"List1:0", "List5:1", "List6:3", "display"}
                                           << QStringList{"1:6", "2:3", "3:1", "4:2", "5:1", "6:6"} << "C7-5"
                                           << "3";
    QTest::newRow("List7 9") << QStringList{"List1:0", "List7:1", "display"}
                             << QStringList{"1:3", "2:3", "3:3", "4:2", "5:3", "6:6"} << "C9" << "1";
    QTest::newRow("no root is unknown") << QStringList{"List2:1", "display"} << QStringList{} << "unknown" << "1";
    QTest::newRow("overflowing selection after C")
        << QStringList{"List1:0", "display", "List9:2", "List8:2", "display"} << QStringList{} << "unknown" << "1";
    QTest::newRow("-13 with 11 does not overflow")
        << QStringList{"List1:0", "List9:2", "List8:1", "display"} << QStringList{} << "unknown" << "1";
}

void Form1BehaviourTest::displayCycle()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, markers);
    QFETCH(QString, name);
    QFETCH(QString, baseFret);

    runSteps(steps);
    const Board board = boardOf(*m_form);
    QCOMPARE(board.markers, markers);
    QCOMPARE(board.name, name);
    QCOMPARE(board.baseFret, baseFret);

    // The texts keep the size of what they say.
    const auto* picture = m_form->findChild<fretmap::BoardPicture*>(QStringLiteral("Picture1"));
    QCOMPARE(picture->baseFretRect().size(), QFontMetrics(picture->baseFretFont()).size(0, baseFret));
    QCOMPARE(picture->chordNameRect().size(), QFontMetrics(picture->chordNameFont()).size(0, name));
}

void Form1BehaviourTest::arrowKeys_data()
{
    QTest::addColumn<QStringList>("start");
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("selectedRow");
    QTest::addColumn<QString>("name");

    const QStringList c{"List1:0"};
    const QStringList cm{"List1:0", "List2:1"};
    QTest::newRow("down from C") << c << "List1" << QList<int>{Qt::Key_Down} << 1 << "C#";
    QTest::newRow("down twice, up once") << c << "List1" << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up} << 1
                                         << "C#";
    QTest::newRow("up at the top stays") << c << "List1" << QList<int>{Qt::Key_Up} << 0 << "C";
    QTest::newRow("end of List1") << c << "List1" << QList<int>{Qt::Key_End} << 11 << "B";
    QTest::newRow("down in List2 to sus2") << cm << "List2" << QList<int>{Qt::Key_Down} << 2 << "Csus2";
    QTest::newRow("up in List2 to the blank") << cm << "List2" << QList<int>{Qt::Key_Up} << 0 << "C";

    // Nothing picked yet, the focus brought by Tab: the first key picks the
    // first item (End the last), as a list box does, not the one after it.
    const QStringList tabbed{"tab", "tab"}; // Picture1, Command1, List1
    QTest::newRow("untouched: down") << tabbed << "List1" << QList<int>{Qt::Key_Down} << 0 << "C";
    QTest::newRow("untouched: up") << tabbed << "List1" << QList<int>{Qt::Key_Up} << 0 << "C";
    QTest::newRow("untouched: home") << tabbed << "List1" << QList<int>{Qt::Key_Home} << 0 << "C";
    QTest::newRow("untouched: end") << tabbed << "List1" << QList<int>{Qt::Key_End} << 11 << "B";
    QTest::newRow("untouched: page down") << tabbed << "List1" << QList<int>{Qt::Key_PageDown} << 0 << "C";
    QTest::newRow("untouched: page up") << tabbed << "List1" << QList<int>{Qt::Key_PageUp} << 0 << "C";
    QTest::newRow("untouched: space picks the marked row") << tabbed << "List1" << QList<int>{Qt::Key_Space} << 0
                                                           << "C";
    QTest::newRow("untouched List2: down picks the blank")
        << QStringList{"List1:0", "tab"} << "List2" << QList<int>{Qt::Key_Down} << 0 << "C";
    QTest::newRow("untouched List2: down twice")
        << QStringList{"List1:0", "tab"} << "List2" << QList<int>{Qt::Key_Down, Qt::Key_Down} << 1 << "Cm";
}

void Form1BehaviourTest::arrowKeys()
{
    QFETCH(QStringList, start);
    QFETCH(QString, listName);
    QFETCH(QList<int>, keys);
    QFETCH(int, selectedRow);
    QFETCH(QString, name);

    runSteps(start);
    SelectorList* target = list(listName);
    QCOMPARE(QApplication::focusWidget(), target);
    for (int key : keys)
        QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(target->pickedRow(), selectedRow);

    runSteps({"display"});
    QCOMPARE(boardOf(*m_form).name, name);
}

// A list whose rows do not all fit, as under a larger font: the keys, the
// wheel and typed letters keep the pick in sight.
void Form1BehaviourTest::listScrolls_data()
{
    QTest::addColumn<QStringList>("steps"); // key names, letters typed, or "wheel N" notches down
    QTest::addColumn<int>("pickedRow");
    QTest::addColumn<int>("topRow");

    QTest::newRow("end brings the last row into sight") << QStringList{"End"} << 11 << 7;
    QTest::newRow("home after end") << QStringList{"End", "Home"} << 0 << 0;
    QTest::newRow("page down twice: a page is the rows in sight less one") << QStringList{"Down", "PgDown", "PgDown"} << 8 << 4;
    QTest::newRow("page up from the end") << QStringList{"End", "PgUp"} << 7 << 7;
    QTest::newRow("down past the last row in sight") << QStringList{"Down", "Down", "Down", "Down", "Down", "Down"}
                                                    << 5 << 1;
    QTest::newRow("the wheel scrolls, picking nothing") << QStringList{"wheel 1"} << -1 << 3;
    QTest::newRow("the wheel stops at the end") << QStringList{"wheel 5"} << -1 << 7;
    QTest::newRow("the wheel back up") << QStringList{"End", "wheel -1"} << 11 << 4;
    QTest::newRow("a letter finds its row") << QStringList{"g"} << 7 << 3;
    QTest::newRow("a letter in an untouched list can pick its first row") << QStringList{"c"} << 0 << 0;
    QTest::newRow("the same letter again finds the next") << QStringList{"g", "g"} << 8 << 4;
    QTest::newRow("the next after the last is the first") << QStringList{"b", "b", "b"} << 10 << 7;
    QTest::newRow("a letter of no row") << QStringList{"x"} << -1 << 0;
}

void Form1BehaviourTest::listScrolls()
{
    QFETCH(QStringList, steps);
    QFETCH(int, pickedRow);
    QFETCH(int, topRow);

    // List1's items in a list five rows high.
    const std::string_view items[] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};
    SelectorList target(items, 12);
    target.setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    target.setLineWidth(2);
    target.resize(33, 5 * 12 + 4);
    target.show();
    target.setFocus();
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1String("wheel "))) {
            const QPoint at = target.contentsRect().center();
            QWheelEvent wheel(at, target.mapToGlobal(at), {}, {0, -120 * step.mid(6).toInt()}, Qt::NoButton, {},
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&target, &wheel);
        } else if (step.size() == 1) {
            QTest::keyClicks(&target, step);
        } else {
            QTest::keyClick(&target, QKeySequence(step)[0].key());
        }
    }
    QCOMPARE(target.pickedRow(), pickedRow);
    QCOMPARE(target.topRow(), topRow);
    if (pickedRow >= 0 && !steps.last().startsWith(QLatin1String("wheel")))
        QVERIFY(target.contentsRect().contains(target.rowRect(pickedRow)));
}

void Form1BehaviourTest::tabIntoListStoresNothing()
{
    // Picture1, Command1, then List1: Qt makes its first row current.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    SelectorList* list1 = list(QStringLiteral("List1"));
    QCOMPARE(QApplication::focusWidget(), list1);
    QCOMPARE(list1->pickedRow(), -1);

    // A screen reader finds the focus on the first row, where the focus mark
    // is drawn, and nothing selected.
    QAccessibleInterface* listAccess = QAccessible::queryAccessibleInterface(list1);
    QAccessibleInterface* first = listAccess->child(0);
    QCOMPARE(listAccess->focusChild(), first);
    QCOMPARE(first->text(QAccessible::Name), QStringLiteral("C"));
    for (int row = 0; row < listAccess->childCount(); ++row) {
        const QAccessible::State state = listAccess->child(row)->state();
        QCOMPARE(bool(state.focused), row == 0);
        QVERIFY(!state.selected);
    }

    // Had "C" been stored, this would display C.
    runSteps({"display"});
    QCOMPARE(boardOf(*m_form).name, QStringLiteral("unknown"));
}

void Form1BehaviourTest::pickCannotBeTakenBack_data()
{
    QTest::addColumn<bool>("byKey");

    QTest::newRow("Ctrl+click on the selected row") << false;
    QTest::newRow("Ctrl+Space on the selected row") << true;
}

void Form1BehaviourTest::pickCannotBeTakenBack()
{
    QFETCH(bool, byKey);

    runSteps({"List1:0"});
    SelectorList* list1 = list(QStringLiteral("List1"));
    if (byKey)
        QTest::keyClick(list1, Qt::Key_Space, Qt::ControlModifier);
    else
        QTest::mouseClick(list1, Qt::LeftButton, Qt::ControlModifier, list1->rowRect(0).center());
    QCOMPARE(list1->pickedRow(), 0);

    runSteps({"display"});
    QCOMPARE(boardOf(*m_form).name, QStringLiteral("C"));
}

void Form1BehaviourTest::contents_data()
{
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("openerSucceeds");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("guide"); // the program's own guide stands in

    QTest::newRow("help file present") << true << true << true << false;
    QTest::newRow("help file missing") << false << true << false << true;
    QTest::newRow("nothing opens it: the message, then the guide") << true << false << true << true;
}

void Form1BehaviourTest::contents()
{
    QFETCH(bool, fileThere);
    QFETCH(bool, openerSucceeds);
    QFETCH(bool, opened);
    QFETCH(bool, guide);

    const ScratchDirectory dir(fileThere);
    QVERIFY(dir.isReady());

    auto* dialog = m_form->findChild<CommonDialog*>(QStringLiteral("dlgCommonDialog"));
    QVERIFY(dialog);
    QList<QUrl> requests;
    dialog->setOpener([&](const QUrl& url) {
        requests << url;
        return openerSucceeds;
    });

    runSteps({"List1:0", "display"});
    m_form->findChild<QAction*>(QStringLiteral("index"))->trigger();

    QCOMPARE(dialog->helpFile(), QStringLiteral("help.hlp"));
    QCOMPARE(dialog->helpCommand(), qint16(3));
    if (opened)
        QCOMPARE(requests, QList<QUrl>{QUrl::fromLocalFile(QDir(dir.path()).absoluteFilePath("help.hlp"))});
    else
        QVERIFY(requests.isEmpty());

    QWidget* guideWindow = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("helpWindow"))
            guideWindow = window;
    QCOMPARE(guideWindow != nullptr, guide);
    if (guide) {
        QTRY_VERIFY(guideWindow->isVisible());
        QCOMPARE(guideWindow->windowModality(), Qt::NonModal);
        QCOMPARE(guideWindow->windowIcon().pixmap(32, 32).toImage(), m_form->windowIcon().pixmap(32, 32).toImage());
        guideWindow->close();
    }

    auto* message = m_form->findChild<QMessageBox*>(QStringLiteral("helpMessage"));
    if (!fileThere || openerSucceeds) {
        QVERIFY(!message);
    } else {
        QVERIFY(message);
        QTRY_VERIFY(message->isVisible());
        QVERIFY(!message->isModal());
        QVERIFY(message->text().contains(QStringLiteral("help.hlp")));
        message->close();
    }

    // The window goes on as before.
    QVERIFY(m_form->isVisible());
    QCOMPARE(boardOf(*m_form).name, QStringLiteral("C"));
    runSteps({"List2:1", "display"});
    QCOMPARE(boardOf(*m_form).name, QStringLiteral("Cm"));
}

void Form1BehaviourTest::exitEndsTheEventLoop()
{
    // Exit leaves the running event loop straight away, as main's exec().
    QEventLoop loop;
    QTimer::singleShot(0, m_form->findChild<QAction*>(QStringLiteral("exit")), &QAction::trigger);
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); }); // a safety net, not a measurement
    QCOMPARE(loop.exec(), 0);
}

void Form1BehaviourTest::play_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("request"); // how the user asks, on the board unless it says "list"
    QTest::addColumn<QList<int>>("notes"); // strum order, worked by hand; none: nothing sounds
    QTest::addColumn<PlayStyle>("style");
    QTest::addColumn<QString>("notice"); // what a screen reader hears instead, if anything
    QTest::addColumn<int>("stops"); // of a sound that the steps left ringing

    const QList<int> c{48, 52, 55, 60, 64};
    const QList<int> cm{48, 55, 60, 63, 67};
    const auto chord = PlayStyle::Chord;
    QTest::newRow("C by the play key in a list") << QStringList{"List1:0", "display"} << "F9 list" << c << chord << "" << 0;
    QTest::newRow("Cm at base fret 3 by a click") << QStringList{"List1:0", "List2:1", "display"} << "click" << cm
                                                  << chord << "" << 0;
    QTest::newRow("Space on the board") << QStringList{"List1:0", "display"} << "space" << c << chord << "" << 0;
    QTest::newRow("Enter on the board") << QStringList{"List1:0", "display"} << "enter" << c << chord << "" << 0;
    QTest::newRow("string by string from Shift+F10") << QStringList{"List1:0", "List2:1", "display"} << "menu strings"
                                                     << cm << PlayStyle::StringByString << "" << 0;
    QTest::newRow("chord from the context menu") << QStringList{"List1:0", "display"} << "menu chord" << c << chord
                                                 << "" << 0;
    QTest::newRow("the last display, not the lists now") << QStringList{"List1:0", "display", "List2:1"} << "click"
                                                         << c << chord << "" << 0;
    QTest::newRow("before any display") << QStringList{"List1:0"} << "click" << QList<int>{} << chord
                                        << "No chord shown: nothing to play" << 0;
    QTest::newRow("the unknown chord") << QStringList{"List2:1", "display"} << "F9 list" << QList<int>{} << chord
                                       << "Unknown chord: nothing to play" << 0;
    QTest::newRow("display alone is silent") << QStringList{"List1:0", "display"} << "" << QList<int>{} << chord << "" << 0;
    QTest::newRow("keypad Enter on the board") << QStringList{"List1:0", "display"} << "keypad enter" << c << chord
                                               << "" << 0;
    QTest::newRow("a middle click plays nothing") << QStringList{"List1:0", "display"} << "middle click"
                                                  << QList<int>{} << chord << "" << 0;
    // C still rings when the unknown chord is displayed: asking to hear the
    // unknown chord silences it.
    QTest::newRow("the unknown chord stops the one ringing")
        << QStringList{"List1:0", "display", "F9", "List9:2", "List8:2", "display"} << "F9 list" << QList<int>{}
        << chord << "Unknown chord: nothing to play" << 1;
}

void Form1BehaviourTest::play()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, request);
    QFETCH(QList<int>, notes);
    QFETCH(PlayStyle, style);
    QFETCH(QString, notice);
    QFETCH(int, stops);

    QList<std::vector<std::int16_t>> plays;
    int stopped = 0;
    auto* player = m_form->findChild<ChordPlayer*>();
    QVERIFY(player);
    player->setOutputFactory([&](QString&) { return std::make_unique<RecordingOutput>(plays, &stopped); });

    runSteps(steps);
    plays.clear(); // what the steps played; what counts is the request's
    auto* board = m_form->findChild<QWidget*>(QStringLiteral("Picture1"));
    if (request == QLatin1String("F9 list")) {
        QTest::keyClick(list(QStringLiteral("List1")), Qt::Key_F9);
    } else if (request == QLatin1String("click")) {
        QTest::mouseClick(board, Qt::LeftButton);
    } else if (request == QLatin1String("middle click")) {
        QTest::mouseClick(board, Qt::MiddleButton);
    } else if (request == QLatin1String("space") || request == QLatin1String("enter")) {
        board->setFocus();
        QTest::keyClick(board, request == QLatin1String("space") ? Qt::Key_Space : Qt::Key_Return);
    } else if (request == QLatin1String("keypad enter")) {
        board->setFocus();
        QTest::keyClick(board, Qt::Key_Enter, Qt::KeypadModifier);
    } else if (request.startsWith(QLatin1String("menu"))) {
        // The menu names the play key beside "Play chord".
        const bool strings = request.endsWith(QLatin1String("strings"));
        QTimer::singleShot(0, this, [strings] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->actions().size(), 3);
            QCOMPARE(menu->actions().first()->shortcut(), QKeySequence(Qt::Key_F9));
            menu->actions().at(strings ? 1 : 0)->trigger();
            menu->close();
        });
        board->setFocus();
        QTest::keyClick(board, Qt::Key_F10, Qt::ShiftModifier);
    }

    if (notes.isEmpty()) {
        QVERIFY(plays.isEmpty());
    } else {
        QCOMPARE(plays.size(), 1);
        const std::vector<int> expected(notes.begin(), notes.end());
        QVERIFY(plays.first() == fretmap::renderPluckedNotes(expected, style, RecordingOutput::kRate));
    }
    QCOMPARE(stopped, stops);
    auto* spoken = m_form->findChild<QWidget*>(QStringLiteral("spokenNotice"));
    if (!notice.isEmpty())
        QCOMPARE(spoken->accessibleName(), notice);
    QVERIFY(!m_form->findChild<QMessageBox*>(QStringLiteral("noSound")));
}

void Form1BehaviourTest::contextMenu_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("right click") << "right click";
    QTest::newRow("Shift+F10") << "shift F10";
}

// The board's context menu, opened twice, names its items to a screen
// reader each time; opening it plays nothing.
void Form1BehaviourTest::contextMenu()
{
    QFETCH(QString, how);

    QList<std::vector<std::int16_t>> plays;
    m_form->findChild<ChordPlayer*>()->setOutputFactory(
        [&](QString&) { return std::make_unique<RecordingOutput>(plays); });
    runSteps({"List1:0", "display"});
    auto* board = m_form->findChild<QWidget*>(QStringLiteral("Picture1"));
    QWindow* window = m_form->windowHandle();
    const QPoint onBoard = board->mapTo(m_form.get(), board->rect().center());
    board->setFocus(); // the keys act on the focused board

    for (int opening = 1; opening <= 2; ++opening) {
        QStringList items;
        bool allValid = true;
        // Reads the menu once it is open, then closes it; the keys run the
        // event loop before the menu opens, too.
        QTimer reader;
        connect(&reader, &QTimer::timeout, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            reader.stop();
            QAccessibleInterface* access = QAccessible::queryAccessibleInterface(menu);
            for (int i = 0; i < access->childCount(); ++i) {
                QAccessibleInterface* item = access->child(i);
                allValid = allValid && item && item->isValid();
                if (item && item->isValid())
                    items << item->text(QAccessible::Name);
            }
            menu->close();
        });
        reader.start(10);
        // Through the window, as the window system delivers them, so that Qt
        // makes the context menu event itself.
        if (how == QLatin1String("right click"))
            QTest::mouseClick(window, Qt::RightButton, {}, onBoard);
        else
            QTest::keyClick(window, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY2(allValid, qPrintable(QStringLiteral("opening %1").arg(opening)));
        QCOMPARE(items, (QStringList{"Play chord", "Play string by string", "Listen\u2026"}));
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
    QVERIFY(plays.isEmpty());
}

// With no sound to be had, the first request says why, on screen and to a
// screen reader, without blocking; later requests say nothing more.
void Form1BehaviourTest::noSoundIsSaidOnce()
{
    int asked = 0;
    auto* player = m_form->findChild<ChordPlayer*>();
    player->setOutputFactory([&](QString& problem) -> std::unique_ptr<AudioOutput> {
        ++asked;
        problem = QStringLiteral("no sound output was found; start the sound server");
        return nullptr;
    });
    runSteps({"List1:0", "display"});
    auto* board = m_form->findChild<QWidget*>(QStringLiteral("Picture1"));
    QTest::mouseClick(board, Qt::LeftButton);

    auto* message = m_form->findChild<QMessageBox*>(QStringLiteral("noSound"));
    QVERIFY(message);
    QTRY_VERIFY(message->isVisible());
    QVERIFY(!message->isModal());
    QCOMPARE(message->text(), QStringLiteral("No sound: no sound output was found; start the sound server."));
    QCOMPARE(m_form->findChild<QWidget*>(QStringLiteral("spokenNotice"))->accessibleName(), message->text());
    message->close();
    QTRY_VERIFY(!m_form->findChild<QMessageBox*>(QStringLiteral("noSound")));

    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTest::keyClick(board, Qt::Key_F9);
    QCOMPARE(asked, 2); // a server started since may be there now
    QVERIFY(!m_form->findChild<QMessageBox*>(QStringLiteral("noSound")));
    runSteps({"List2:1", "display"});
    QCOMPARE(boardOf(*m_form).name, QStringLiteral("Cm"));
}

void Form1BehaviourTest::soundModuleProblems_data()
{
    QTest::addColumn<QByteArray>("module"); // the file in the module's place; none: no file
    QTest::addColumn<QString>("says");

    QTest::newRow("no module") << QByteArray() << "fretmap-audio.so is not installed in";
    // What a module whose libpulse is not installed meets: it cannot be loaded.
    QTest::newRow("a module that does not load") << QByteArray("not a library") << "install the package libpulse0";
}

void Form1BehaviourTest::soundModuleProblems()
{
    QFETCH(QByteArray, module);
    QFETCH(QString, says);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!module.isNull()) {
        QFile file(folder.filePath(QStringLiteral("fretmap-audio.so")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(module);
    }
    QString problem;
    QVERIFY(!ChordPlayer::loadModuleOutput({folder.path()}, problem));
    QVERIFY2(problem.contains(says), qPrintable(problem));
}

void Form1BehaviourTest::screenReader_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("announcements"); // of the board's description, each one spoken
    QTest::addColumn<QString>("item"); // the list item that the last step makes the focus, if any

    const QString c = QStringLiteral("C, base fret 1: string 1 open, string 2 fret 1, string 3 open, "
                                     "string 4 fret 2, string 5 fret 3, string 6 not played");
    QTest::newRow("before any display") << QStringList{} << "No chord shown" << 0 << "";
    QTest::newRow("C") << QStringList{"List1:0", "display"} << c << 1 << "";
    QTest::newRow("C twice is announced twice") << QStringList{"List1:0", "display", "display"} << c << 2 << "";
    QTest::newRow("Cm after C, base fret 3")
        << QStringList{"List1:0", "display", "List2:1", "display"}
        << "Cm, base fret 3: string 1 fret 3, string 2 fret 4, string 3 fret 5, string 4 fret 5, string 5 fret 3, "
           "string 6 not played"
        << 2 << "";
    // Tab makes the first item current; picking it is news all the same.
    QTest::newRow("first pick by Down after Tab") << QStringList{"tab", "tab", "down"} << "No chord shown" << 0
                                                  << "C";
    QTest::newRow("first pick by a click after Tab") << QStringList{"tab", "tab", "List1:0"} << "No chord shown"
                                                     << 0 << "C";
}

// The window as a screen reader reaches it: through QAccessible, with
// accessibility switched on as an assistive tool would, as Qt's own
// accessibility tests do.
void Form1BehaviourTest::screenReader()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, description);
    QFETCH(int, announcements);
    QFETCH(QString, item);

    QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
    if (!platform)
        QSKIP("This platform has no accessibility");
    descriptionChanges.clear();
    shown.clear();
    hidden.clear();
    senders.clear();
    focusedItems.clear();
    const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(recordUpdate);
    platform->setActive(true);
    const auto off = qScopeGuard([platform, previous] {
        platform->setActive(false);
        QAccessible::installUpdateHandler(previous);
    });

    runSteps(steps.mid(0, steps.size() - 1));
    focusedItems.clear();
    runSteps(steps.mid(steps.size() - 1));

    QAccessibleInterface* board = QAccessible::queryAccessibleInterface(m_form->findChild<QWidget*>("Picture1"));
    QVERIFY(board);
    QCOMPARE(board->role(), QAccessible::Graphic); // one picture, described as a whole
    QCOMPARE(board->text(QAccessible::Name), QStringLiteral("Fretboard"));
    QCOMPARE(board->text(QAccessible::Description), description);
    QCOMPARE(board->childCount(), 0); // "●" and "×" are not read out one by one
    QCOMPARE(descriptionChanges.count(board->object()), announcements);
    QCOMPARE(focusedItems.isEmpty() ? QString() : focusedItems.last(), item);
    for (const QObject* label : board->object()->children())
        QVERIFY2(!senders.contains(label), qPrintable(label->objectName())); // the board speaks for them

    // Each display is spoken by a notification that shows, focus or not,
    // and by nothing else: a change of its name would be spoken as well.
    QAccessibleInterface* notice = QAccessible::queryAccessibleInterface(m_form->findChild<QWidget*>("spokenNotice"));
    QVERIFY(notice);
    QCOMPARE(notice->role(), QAccessible::Notification);
    QCOMPARE(shown.count(notice->object()), announcements);
    QCOMPARE(senders.count(notice->object()), shown.count(notice->object()) + hidden.count(notice->object()));
    if (announcements > 0)
        QCOMPARE(notice->text(QAccessible::Name), description);

    QAccessibleInterface* command1 = QAccessible::queryAccessibleInterface(m_form->findChild<QWidget*>("Command1"));
    QCOMPARE(command1->text(QAccessible::Name), QStringLiteral("display"));
    QVERIFY(!command1->text(QAccessible::Description).isEmpty());

    // Every list and frame is named, and no two lists alike.
    QSet<QString> listNames;
    for (QWidget* widget : m_form->centralWidget()->findChildren<QWidget*>()) {
        if (!qobject_cast<SelectorList*>(widget) && !widget->objectName().startsWith(QLatin1String("Frame")))
            continue;
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
        const QString name = control->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty(), qPrintable(widget->objectName()));
        if (qobject_cast<SelectorList*>(widget))
            listNames << name;
        else
            QCOMPARE(control->role(), QAccessible::Grouping); // not a window of its own
    }
    QCOMPARE(listNames.size(), 9);
}

QTEST_MAIN(Form1BehaviourTest)
#include "form1_behaviour_test.moc"
