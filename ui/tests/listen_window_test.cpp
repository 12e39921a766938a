// The listening window: opened from the main window, the check of the
// chord on the board as a guitarist plays it string by string into a
// microphone (a fake one that plays prepared sound), the tuner, and what a
// screen reader hears.

#include "dark_desktop.h"
#include "fake_input.h"

#include "ui/form1.h"
#include "ui/listen_window.h"
#include "ui/selector_list.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <cmath>
#include <memory>
#include <optional>

using fretmap::AudioInput;
using fretmap::AudioInputDevice;
using fretmap::BoardContent;
using fretmap::FretboardState;
using fretmap::Form1;
using fretmap::ListenWindow;

namespace {

constexpr FretboardState kC{{0, 1, 0, 2, 3, 6}, 1};
constexpr FretboardState kD{{2, 3, 2, 0, 6, 6}, 1};

// A guitarist's turn at a string: a moment's quiet, then the string
// plucked and let ring for a second.
std::vector<float> turn(fretmap::MidiNote note, double cents = 0.0)
{
    return joined({silence(0.3), pluckedString(note, cents, 1.0)});
}

// What the window's notice said, each time it was shown, in order; and,
// given the input's count of takes, at which take.
class NoticeRecorder : public QObject {
public:
    explicit NoticeRecorder(QWidget* notice, const int* takes = nullptr)
        : m_notice(notice)
        , m_takes(takes)
    {
        notice->installEventFilter(this);
    }
    QStringList said;
    QList<int> when;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_notice && event->type() == QEvent::Show) {
            said << m_notice->accessibleName();
            when << (m_takes ? *m_takes : 0);
        }
        return false;
    }

private:
    QWidget* m_notice;
    const int* m_takes;
};

// The six rows as a screen reader reads them, string 1 first.
QStringList rowsOf(const QWidget* window)
{
    auto* list = window->findChild<QListWidget*>(QStringLiteral("stringChecks"));
    QStringList rows;
    for (int i = 0; list && i < list->count(); ++i)
        rows << list->item(i)->data(Qt::AccessibleTextRole).toString();
    return rows;
}

// The mark before each row's words, string 1 first: what a sighted
// guitarist reads at a glance.
QString marksOf(const QWidget* window)
{
    auto* list = window->findChild<QListWidget*>(QStringLiteral("stringChecks"));
    QString marks;
    for (int i = 0; list && i < list->count(); ++i)
        marks += list->item(i)->text().left(1);
    return marks;
}

// The strings struck `gapMs` apart, lowest first, and left ringing.
std::vector<float> strummed(const QList<int>& notes, const QList<double>& cents, int gapMs)
{
    std::vector<float> sound = silence(3.0);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const std::vector<float> string = pluckedString(notes[i], cents[i], 2.0);
        const auto start = static_cast<std::size_t>((0.3 + 0.001 * gapMs * double(i)) * FakeInput::kRate);
        for (std::size_t n = 0; n < string.size() && start + n < sound.size(); ++n)
            sound[start + n] += 0.5F * string[n];
    }
    return sound;
}

QString textOf(const QWidget* window, const char* name)
{
    auto* label = window->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

// What is wrong with the check's place in the window as it is drawn;
// empty when the six rows show whole inside the list and nothing else is
// drawn over them.
QString checkLayoutFault(QWidget* window)
{
    // As the event loop leaves it: a font or a text changed lays the
    // window out anew later.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    auto* list = window->findChild<QListWidget*>(QStringLiteral("stringChecks"));
    auto* summary = window->findChild<QLabel*>(QStringLiteral("checkSummary"));
    const QRect view = list->viewport()->rect();
    for (int row = 0; row < list->count(); ++row) {
        const QRect place = list->visualItemRect(list->item(row));
        if (!view.contains(place))
            return QStringLiteral("row %1 at y %2 to %3, the list's field %4 high")
                .arg(row + 1)
                .arg(place.top())
                .arg(place.bottom())
                .arg(view.height());
    }
    const QRect listPlace(list->mapTo(window, QPoint()), list->size());
    const QRect summaryPlace(summary->mapTo(window, QPoint()), summary->size());
    if (listPlace.intersects(summaryPlace))
        return QStringLiteral("the summary at y %1, over the list's y %2 to %3")
            .arg(summaryPlace.top())
            .arg(listPlace.top())
            .arg(listPlace.bottom());
    // Whatever is drawn over the rows, the summary's words or any other
    // control, shows where the window's picture of the list's field differs
    // from the field's own. (The frame is left out: its rounded edges blend
    // with what lies under them.)
    QWidget* field = list->viewport();
    const QImage whole = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage alone = field->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = whole.devicePixelRatio();
    const QPoint at = (QPointF(field->mapTo(window, QPoint())) * ratio).toPoint();
    const QImage shown = whole.copy(QRect(at, alone.size()));
    for (int y = 0; y < alone.height(); ++y) {
        for (int x = 0; x < alone.width(); ++x) {
            if (shown.pixel(x, y) == alone.pixel(x, y))
                continue;
            const int row = list->row(list->itemAt((QPointF(x, y) / ratio).toPoint()));
            return QStringLiteral("ink over the list's field at (%1, %2)%3")
                .arg(x)
                .arg(y)
                .arg(row < 0 ? QString() : QStringLiteral(", on row %1").arg(row + 1));
        }
    }
    return {};
}

QList<ListenWindow*> listenWindows()
{
    QList<ListenWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ListenWindow*>(widget))
            windows << window;
    }
    return windows;
}

// The objects a screen reader was told have a new value, in order.
QList<const QObject*> valueChanges;

void recordValueChange(QAccessibleEvent* event)
{
    if (event->type() == QAccessible::ValueChanged)
        valueChanges << event->object();
}

// C before a note is heard.
const QStringList kCToPlay{"String 1, open, E4: waiting",   "String 2, fret 1, C4: waiting",
                           "String 3, open, G3: waiting",   "String 4, fret 2, E3: waiting",
                           "String 5, fret 3, C3: play it now", "String 6: not played"};

} // namespace

class ListenWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void opening_data();
    void opening();
    void rowsFollowTheBoard_data();
    void rowsFollowTheBoard();
    void verdicts_data();
    void verdicts();
    void startingAgain_data();
    void startingAgain();
    void closingClosesTheInput_data();
    void closingClosesTheInput();
    void inputProblemIsSaidOnce_data();
    void inputProblemIsSaidOnce();
    void inputChooser_data();
    void inputChooser();
    void referencePitch_data();
    void referencePitch();
    void nearestOpenString_data();
    void nearestOpenString();
    void inksReadInEveryTheme_data();
    void inksReadInEveryTheme();
    void keyboard_data();
    void keyboard();

private:
    // A listening window on `sound`, its inputs logged in m_log.
    // A take hands out `blocksPerTake` blocks of 10 ms: sound a few times
    // faster than it plays, so that a check of five strings takes a second.
    ListenWindow* makeWindow(std::vector<float> sound, std::size_t blocksPerTake = 10);
    void runSteps(Form1& form, const QStringList& steps);

    InputLog m_log;
    std::unique_ptr<ListenWindow> m_window;
    std::unique_ptr<Form1> m_form;
};

void ListenWindowTest::cleanup()
{
    m_window.reset();
    m_form.reset();
    m_log = {};
}

ListenWindow* ListenWindowTest::makeWindow(std::vector<float> sound, std::size_t blocksPerTake)
{
    m_window = std::make_unique<ListenWindow>();
    m_window->setInputFactory([this, sound = std::move(sound), blocksPerTake](const std::string& name, QString&) {
        m_log.names.push_back(name);
        return std::make_unique<FakeInput>(sound, m_log, blocksPerTake);
    });
    m_window->setInputLister([](QString& problem) {
        problem = QStringLiteral("no list in a test");
        return std::vector<AudioInputDevice>{};
    });
    return m_window.get();
}

// Steps on the main window: "List<n>:<row>" clicks that row of a list,
// "display" clicks the button, "F8" presses the listen key in List1.
void ListenWindowTest::runSteps(Form1& form, const QStringList& steps)
{
    for (const QString& step : steps) {
        if (step == QLatin1String("display")) {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        } else if (step == QLatin1String("F8")) {
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            auto* list = form.findChild<QWidget*>(QStringLiteral("List1"));
            list->setFocus();
            QTest::keyClick(list, Qt::Key_F8);
        } else {
            const QStringList parts = step.split(QLatin1Char(':'));
            auto* list = form.findChild<fretmap::SelectorList*>(parts[0]);
            QVERIFY(list);
            QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(parts[1].toInt()).center());
        }
    }
}

void ListenWindowTest::opening_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("times");

    QTest::newRow("F8 in a list") << "F8 list" << 1;
    QTest::newRow("F8 on the board") << "F8 board" << 1;
    QTest::newRow("the board's context menu") << "menu" << 1;
    QTest::newRow("F8 again raises the same window") << "F8 list" << 2;
}

// The listening window opens from anywhere in the main window, one for the
// run; the main window makes none before it is asked for.
void ListenWindowTest::opening()
{
    QFETCH(QString, how);
    QFETCH(int, times);

    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(listenWindows().isEmpty());
    auto* board = m_form->findChild<QWidget*>(QStringLiteral("Picture1"));
    for (int time = 0; time < times; ++time) {
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        if (how == QLatin1String("F8 list")) {
            auto* list = m_form->findChild<QWidget*>(QStringLiteral("List3"));
            list->setFocus();
            QVERIFY(list->hasFocus());
            QTest::keyClick(list, Qt::Key_F8);
        } else if (how == QLatin1String("F8 board")) {
            board->setFocus();
            QTest::keyClick(board, Qt::Key_F8);
        } else {
            // The third item, after the play items, names its key.
            QTimer::singleShot(0, this, [] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu);
                QCOMPARE(menu->actions().size(), 3);
                QCOMPARE(menu->actions().at(2)->text(), QStringLiteral("Listen\u2026"));
                QCOMPARE(menu->actions().at(2)->shortcut(), QKeySequence(Qt::Key_F8));
                menu->actions().at(2)->trigger();
                menu->close();
            });
            board->setFocus();
            QTest::keyClick(board, Qt::Key_F10, Qt::ShiftModifier);
        }
    }
    const QList<ListenWindow*> windows = listenWindows();
    QCOMPARE(windows.size(), 1);
    ListenWindow* window = windows.first();
    QTRY_VERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->objectName(), QStringLiteral("listenWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Fretmap: listen"));
    QCOMPARE(QAccessible::queryAccessibleInterface(window)->text(QAccessible::Name), QStringLiteral("Fretmap: listen"));
    QVERIFY(m_form->isVisible()); // modeless: the main window goes on
    QVERIFY(!window->isModal());
    // No sound module beside this test: the window says so, and that alone.
    const QString problem = textOf(window, "inputProblem");
    QVERIFY2(problem.startsWith(QLatin1String("Cannot listen: the sound module fretmap-audio.so is not installed in")),
             qPrintable(problem));
    QVERIFY(!QApplication::activeModalWidget());
}

void ListenWindowTest::rowsFollowTheBoard_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("summary");

    const QStringList nothing{"String 1: nothing to check", "String 2: nothing to check",
                              "String 3: nothing to check", "String 4: nothing to check",
                              "String 5: nothing to check", "String 6: nothing to check"};
    const QString underway = QStringLiteral("Play the strings one at a time, the lowest first");
    QTest::newRow("before any display") << QStringList{"F8"} << nothing << "No chord shown: nothing to check";
    QTest::newRow("C displayed before the window opens") << QStringList{"List1:0", "display", "F8"} << kCToPlay
                                                         << underway;
    QTest::newRow("C displayed while it is open") << QStringList{"F8", "List1:0", "display"} << kCToPlay << underway;
    QTest::newRow("D after C")
        << QStringList{"List1:0", "display", "F8", "List1:2", "display"}
        << QStringList{"String 1, fret 2, F#4: waiting", "String 2, fret 3, D4: waiting",
                       "String 3, fret 2, A3: waiting", "String 4, open, D3: play it now", "String 5: not played",
                       "String 6: not played"}
        << underway;
    QTest::newRow("the unknown chord") << QStringList{"List1:0", "display", "F8", "List2:1", "List9:2", "List8:2",
                                                      "display"}
                                       << nothing << "Unknown chord: nothing to check";
    QTest::newRow("picks without a display change nothing")
        << QStringList{"List1:0", "display", "F8", "List1:2"} << kCToPlay << underway;
    // Closed, the window still follows the board, and opens on the last.
    QTest::newRow("displayed while closed") << QStringList{"F8", "close", "List1:0", "display", "F8"} << kCToPlay
                                            << underway;
}

void ListenWindowTest::rowsFollowTheBoard()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rows);
    QFETCH(QString, summary);

    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    for (const QString& step : steps) {
        if (step == QLatin1String("close"))
            listenWindows().first()->close();
        else
            runSteps(*m_form, {step});
    }
    QCOMPARE(listenWindows().size(), 1);
    const ListenWindow* window = listenWindows().first();
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(rowsOf(window), rows);
    QCOMPARE(textOf(window, "checkSummary"), summary);
}

void ListenWindowTest::verdicts_data()
{
    QTest::addColumn<QList<int>>("notes");     // played on strings 5 to 1
    QTest::addColumn<QList<double>>("cents"); // how far each is off its note
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("said"); // the notices, up to the summary
    QTest::addColumn<int>("blocks");       // of 10 ms, taken at each poll
    QTest::addColumn<int>("a4");           // set in the window before the chord is shown, in Hz
    QTest::addColumn<int>("gapMs");        // strummed, this far apart; 0 for one string at a time
    QTest::addColumn<QString>("marks");    // before each row, string 1 first

    const QList<int> c{48, 52, 55, 60, 64};
    const QList<double> inTune{0, 0, 0, 0, 0};
    const QStringList allRight{"String 1, open, E4: right", "String 2, fret 1, C4: right",
                               "String 3, open, G3: right", "String 4, fret 2, E3: right",
                               "String 5, fret 3, C3: right", "String 6: not played"};
    const QStringList allRightSaid{"String 5, fret 3, C3: play it now",
                                   "String 5, fret 3, C3: right. String 4, fret 2, E3: play it now",
                                   "String 4, fret 2, E3: right. String 3, open, G3: play it now",
                                   "String 3, open, G3: right. String 2, fret 1, C4: play it now",
                                   "String 2, fret 1, C4: right. String 1, open, E4: play it now",
                                   "String 1, open, E4: right. 5 of 5 strings right"};
    // The faults, other block sizes and the tuner's words are the session's
    // (sound/tests/listen_session_test.cpp); here the window shows and says
    // what it returns.
    const QString allRightMarks = QStringLiteral("\u2713\u2713\u2713\u2713\u2713\u00D7");
    QTest::newRow("all right") << c << inTune << allRight << "5 of 5 strings right" << allRightSaid << 10 << 440 << 0
                               << allRightMarks;
    // A4 set in the window, then a chord displayed while it is closed: that
    // chord too is checked against the A4 the guitar was tuned to.
    const QList<double> at432(c.size(), 1200.0 * std::log2(432.0 / 440.0));
    QTest::newRow("all right at A4 = 432 Hz") << c << at432 << allRight << "5 of 5 strings right" << allRightSaid << 10
                                              << 432 << 0 << allRightMarks;
    // Strummed once: the strum's rows in the check's place, its summary one
    // notice; E4 over E3 cannot be told apart, and is marked as unheard.
    const QString strum = QStringLiteral("Strum: 3 of 5 strings right; string 2 one fret low; "
                                         "string 1 can't tell in a strum: play it alone");
    QTest::newRow("strummed, string 2 a fret low")
        << QList<int>{48, 52, 55, 59, 64} << inTune
        << QStringList{"String 1, open, E4: can't tell in a strum", "String 2, fret 1, C4: B3, one fret low",
                       "String 3, open, G3: right", "String 4, fret 2, E3: right", "String 5, fret 3, C3: right",
                       "String 6: not played"}
        << strum << QStringList{"String 5, fret 3, C3: play it now", strum} << 10 << 440 << 30
        << QStringLiteral("?\u2717\u2713\u2713\u2713\u00D7");
}

// C played string by string into the microphone, or strummed: each row,
// as a screen reader reads it, and each notice, as it speaks; and nothing
// else spoken over them.
void ListenWindowTest::verdicts()
{
    QFETCH(QList<int>, notes);
    QFETCH(QList<double>, cents);
    QFETCH(QStringList, rows);
    QFETCH(QString, summary);
    QFETCH(QStringList, said);
    QFETCH(int, blocks);
    QFETCH(int, a4);
    QFETCH(int, gapMs);
    QFETCH(QString, marks);

    // Accessibility switched on as an assistive tool would.
    QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform);
    valueChanges.clear();
    const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(recordValueChange);
    platform->setActive(true);
    const auto off = qScopeGuard([platform, previous] {
        platform->setActive(false);
        QAccessible::installUpdateHandler(previous);
    });

    std::vector<float> sound;
    for (qsizetype i = 0; i < notes.size() && gapMs == 0; ++i) {
        const std::vector<float> string = turn(notes[i], cents[i]);
        sound.insert(sound.end(), string.begin(), string.end());
    }
    if (gapMs > 0)
        sound = strummed(notes, cents, gapMs);
    ListenWindow* window = makeWindow(sound, static_cast<std::size_t>(blocks));
    window->findChild<QSpinBox*>(QStringLiteral("referencePitch"))->setValue(a4);
    window->setBoard(BoardContent::Chord, kC);
    NoticeRecorder notices(window->findChild<QWidget*>(QStringLiteral("spokenNotice")), &m_log.takes);
    auto* level = window->findChild<QProgressBar*>(QStringLiteral("inputLevel"));
    QSignalSpy levelMoves(level, &QProgressBar::valueChanged);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QTRY_COMPARE_WITH_TIMEOUT(textOf(window, "checkSummary"), summary, 20000);
    QCOMPARE(rowsOf(window), rows);
    QCOMPARE(marksOf(window), marks);
    QCOMPARE(notices.said.mid(0, said.size()), said);
    // The last string rings on, and the tuner may read it, but not over the
    // summary: a screen reader would read the tuner's words in its place.
    const int last = notices.when.value(said.size() - 1);
    const int takesASecond = 100 / blocks;
    QTRY_VERIFY_WITH_TIMEOUT(m_log.takes > last + 2 * takesASecond, 20000);
    for (qsizetype i = said.size(); i < notices.when.size(); ++i)
        QVERIFY2(notices.when[i] - last >= takesASecond, qPrintable(notices.said[i] + " came with the summary"));
    // What the accessibility layer hands a screen reader for each row.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->findChild<QListWidget*>("stringChecks"));
    QVERIFY(list);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Strings"));
    QStringList read;
    for (int i = 0; i < list->childCount(); ++i) {
        if (list->child(i)->role() == QAccessible::ListItem)
            read << list->child(i)->text(QAccessible::Name);
    }
    QCOMPARE(read, rows);
    // The level meter follows the sound, but not as news: a screen reader
    // would speak its every move over the verdicts.
    QVERIFY(!levelMoves.isEmpty());
    QCOMPARE(valueChanges.count(level), 0);
}

void ListenWindowTest::startingAgain_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("said");

    QTest::newRow("F5") << "F5" << kCToPlay << "String 5, fret 3, C3: play it now";
    QTest::newRow("Start again") << "button" << kCToPlay << "String 5, fret 3, C3: play it now";
    QTest::newRow("the same chord displayed again") << "display C" << kCToPlay << "String 5, fret 3, C3: play it now";
    QTest::newRow("a new chord")
        << "display D"
        << QStringList{"String 1, fret 2, F#4: waiting", "String 2, fret 3, D4: waiting",
                       "String 3, fret 2, A3: waiting", "String 4, open, D3: play it now", "String 5: not played",
                       "String 6: not played"}
        << "String 4, open, D3: play it now";
    QTest::newRow("the unknown chord")
        << "display unknown"
        << QStringList{"String 1: nothing to check", "String 2: nothing to check", "String 3: nothing to check",
                       "String 4: nothing to check", "String 5: nothing to check", "String 6: nothing to check"}
        << "Unknown chord: nothing to check";
}

// Started again, the check asks for the lowest string once more, and
// counts its time from then: a string not heard in five seconds.
void ListenWindowTest::startingAgain()
{
    QFETCH(QString, how);
    QFETCH(QStringList, rows);
    QFETCH(QString, said);

    ListenWindow* window = makeWindow({}, 25); // silence, a quarter second at a time
    window->setBoard(BoardContent::Chord, kC);
    NoticeRecorder notices(window->findChild<QWidget*>(QStringLiteral("spokenNotice")));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_COMPARE(rowsOf(window).value(4), QStringLiteral("String 5, fret 3, C3: not heard"));
    QCOMPARE(notices.said.last(), QStringLiteral("String 5, fret 3, C3: not heard. String 4, fret 2, E3: play it now"));

    if (how == QLatin1String("F5"))
        QTest::keyClick(window->findChild<QListWidget*>(QStringLiteral("stringChecks")), Qt::Key_F5);
    else if (how == QLatin1String("button"))
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("startAgain")), Qt::LeftButton);
    else if (how == QLatin1String("display C"))
        window->setBoard(BoardContent::Chord, kC);
    else if (how == QLatin1String("display D"))
        window->setBoard(BoardContent::Chord, kD);
    else
        window->setBoard(BoardContent::UnknownChord);
    // A button's key presses it as a click does, visibly, a moment later.
    QTRY_COMPARE(rowsOf(window), rows);
    QCOMPARE(notices.said.last(), said);
    // A second of silence later, the string asked for is still awaited.
    const int restarted = m_log.takes;
    QTRY_VERIFY(m_log.takes >= restarted + 4);
    QCOMPARE(rowsOf(window), rows);
}

void ListenWindowTest::closingClosesTheInput_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("Esc") << "Esc";
    QTest::newRow("the window closed") << "close";
    QTest::newRow("the window hidden") << "hide";
}

// The microphone is open only while the window is shown: closed with the
// window, and opened anew when it shows again.
void ListenWindowTest::closingClosesTheInput()
{
    QFETCH(QString, how);

    ListenWindow* window = makeWindow(silence(1.0));
    QCOMPARE(m_log.opened, 0); // not before it is shown
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(m_log.opened, 1);
    QVERIFY(window->input());
    QTRY_VERIFY(m_log.takes > 2);

    if (how == QLatin1String("Esc"))
        QTest::keyClick(window->findChild<QListWidget*>(QStringLiteral("stringChecks")), Qt::Key_Escape);
    else if (how == QLatin1String("close"))
        window->close();
    else
        window->hide();
    QVERIFY(!window->isVisible());
    QCOMPARE(m_log.closed, 1);
    QVERIFY(!window->input());

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(m_log.opened, 2);
    QCOMPARE(m_log.closed, 1);
    m_window.reset();
    QCOMPARE(m_log.closed, 2);
}

void ListenWindowTest::inputProblemIsSaidOnce_data()
{
    QTest::addColumn<QString>("problem"); // from the factory; none: the stream stops
    QTest::addColumn<QString>("shown");

    QTest::newRow("no sound module")
        << "the sound module fretmap-audio.so is not installed in /usr/lib/x86_64-linux-gnu/fretmap; install "
           "Fretmap again"
        << "Cannot listen: the sound module fretmap-audio.so is not installed in /usr/lib/x86_64-linux-gnu/fretmap; "
           "install Fretmap again.";
    QTest::newRow("no microphone")
        << "no input was found; plug in a microphone"
        << "Cannot listen: no input was found; plug in a microphone.";
    QTest::newRow("the stream stops") << "" << "Cannot listen: the input was removed.";
}

// A problem with the input is shown in the window and said once; the check
// and the tuner stay in their places, with nothing heard.
void ListenWindowTest::inputProblemIsSaidOnce()
{
    QFETCH(QString, problem);
    QFETCH(QString, shown);

    int asked = 0;
    ListenWindow* window = makeWindow({});
    window->setInputFactory([&](const std::string&, QString& why) -> std::unique_ptr<AudioInput> {
        ++asked;
        if (!problem.isEmpty()) {
            why = problem;
            return nullptr;
        }
        auto input = std::make_unique<FakeInput>(silence(0.2), m_log);
        input->stopAfter(FakeInput::kRate / 2, "the input was removed");
        return input;
    });
    window->setBoard(BoardContent::Chord, kC);
    NoticeRecorder notices(window->findChild<QWidget*>(QStringLiteral("spokenNotice")));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));

    auto* label = window->findChild<QLabel*>(QStringLiteral("inputProblem"));
    QTRY_VERIFY(label->isVisible());
    QCOMPARE(label->text(), shown);
    QVERIFY(!window->input());
    QCOMPARE(m_log.closed, m_log.opened);
    QCOMPARE(asked, 1);
    QCOMPARE(notices.said.count(shown), 1);
    QCOMPARE(textOf(window, "inputName"), QStringLiteral("None"));
    QCOMPARE(textOf(window, "tunerReading"), QStringLiteral("No note"));
    QCOMPARE(rowsOf(window).value(4), QStringLiteral("String 5, fret 3, C3: play it now"));
    // The problem's lines push the check down, never over its rows.
    QTRY_COMPARE(checkLayoutFault(window), QString());
    QVERIFY(!QApplication::activeModalWidget());
}

void ListenWindowTest::inputChooser_data()
{
    QTest::addColumn<bool>("listed"); // whether the server lists its inputs
    QTest::addColumn<int>("downs");   // Down presses on the chooser
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("opened"); // the names each stream was opened with
    QTest::addColumn<QString>("listening");

    const QStringList both{"Default input", "USB guitar interface", "Built-in microphone"};
    QTest::newRow("the default input") << true << 0 << both << QStringList{""} << "Fake microphone";
    QTest::newRow("the second input") << true << 2 << both << QStringList{"", "usb", "builtin"}
                                      << "Built-in microphone";
    QTest::newRow("no list from the server") << false << 2 << QStringList{"Default input"} << QStringList{""}
                                             << "Fake microphone";
}

// The inputs the server lists, the default first; another choice opens
// the stream anew on it.
void ListenWindowTest::inputChooser()
{
    QFETCH(bool, listed);
    QFETCH(int, downs);
    QFETCH(QStringList, items);
    QFETCH(QStringList, opened);
    QFETCH(QString, listening);

    ListenWindow* window = makeWindow({});
    window->setInputFactory([this](const std::string& name, QString&) {
        m_log.names.push_back(name);
        auto input = std::make_unique<FakeInput>(silence(0.1), m_log);
        if (name == "usb")
            input->setDescription("USB guitar interface");
        else if (name == "builtin")
            input->setDescription("Built-in microphone");
        return input;
    });
    window->setInputLister([listed](QString& problem) {
        if (!listed) {
            problem = QStringLiteral("the sound server did not answer");
            return std::vector<AudioInputDevice>{};
        }
        return std::vector<AudioInputDevice>{{"usb", "USB guitar interface"}, {"builtin", "Built-in microphone"}};
    });
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* chooser = window->findChild<QComboBox*>(QStringLiteral("inputChooser"));
    QStringList shown;
    for (int i = 0; i < chooser->count(); ++i)
        shown << chooser->itemText(i);
    QCOMPARE(shown, items);

    chooser->setFocus();
    for (int down = 0; down < downs; ++down)
        QTest::keyClick(chooser, Qt::Key_Down);
    QStringList names;
    for (const std::string& name : m_log.names)
        names << QString::fromStdString(name);
    QCOMPARE(names, opened);
    QCOMPARE(m_log.opened - m_log.closed, 1); // one stream at a time
    QCOMPARE(textOf(window, "inputName"), listening);
}

void ListenWindowTest::referencePitch_data()
{
    QTest::addColumn<QString>("typed"); // into the A4 box
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("sign");
    QTest::addColumn<int>("blocks"); // of 10 ms, taken at each poll

    // A3 is 220 Hz against 440 Hz; against 445 Hz it is 222.5 Hz, and 220 Hz
    // is 19.6 cents below it.
    QTest::newRow("440 Hz") << "" << "A3, in tune" << "\u2713 in tune" << 10;
    QTest::newRow("445 Hz") << "445" << "A3, 20 cents flat" << "" << 10;
    QTest::newRow("430 Hz") << "430" << "A3, 40 cents sharp" << "" << 10;
    QTest::newRow("441 Hz") << "441" << "A3, in tune" << "\u2713 in tune" << 10;
    // A desktop too busy to poll on time: the tuner reads the same.
    QTest::newRow("445 Hz, a quarter second at a time") << "445" << "A3, 20 cents flat" << "" << 25;
}

// A steady A3 read against the A4 typed in; with no chord to check, the
// tuner speaks its reading, and Ctrl+T says it again.
void ListenWindowTest::referencePitch()
{
    QFETCH(QString, typed);
    QFETCH(QString, reading);
    QFETCH(QString, sign);
    QFETCH(int, blocks);

    ListenWindow* window = makeWindow(steadyTone(220.0, 30.0), static_cast<std::size_t>(blocks));
    window->setBoard(BoardContent::UnknownChord);
    NoticeRecorder notices(window->findChild<QWidget*>(QStringLiteral("spokenNotice")));
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* spin = window->findChild<QSpinBox*>(QStringLiteral("referencePitch"));
    QCOMPARE(spin->value(), 440);
    QCOMPARE(spin->suffix(), QStringLiteral(" Hz"));
    QTRY_COMPARE_WITH_TIMEOUT(textOf(window, "tunerReading"), QStringLiteral("A3, in tune"), 10000);
    if (!typed.isEmpty()) {
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, typed);
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(spin->value(), typed.toInt());
    }
    QTRY_COMPARE_WITH_TIMEOUT(textOf(window, "tunerReading"), reading, 10000);
    auto* label = window->findChild<QLabel*>(QStringLiteral("tunerReading"));
    QCOMPARE(label->accessibleName(), reading);
    QVERIFY2(label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(reading), "cut off");
    QCOMPARE(textOf(window, "inTuneSign"), sign);
    QTRY_VERIFY_WITH_TIMEOUT(notices.said.contains(reading), 10000);

    notices.said.clear();
    QTest::keyClick(spin, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(notices.said.value(0), reading);
}

void ListenWindowTest::nearestOpenString_data()
{
    QTest::addColumn<double>("hertz");
    QTest::addColumn<QString>("shown");

    QTest::newRow("B2, nearer A2 than D3") << 123.47 << "Nearest open string: 5 (A2)";
    QTest::newRow("high E") << 329.63 << "Nearest open string: 1 (E4)";
}

// Beside the note, the string a guitarist would tune with it.
void ListenWindowTest::nearestOpenString()
{
    QFETCH(double, hertz);
    QFETCH(QString, shown);

    ListenWindow* window = makeWindow(steadyTone(hertz, 30.0));
    window->setBoard(BoardContent::NothingShown);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_COMPARE_WITH_TIMEOUT(textOf(window, "nearestString"), shown, 10000);
}

void ListenWindowTest::inksReadInEveryTheme_data()
{
    QTest::addColumn<bool>("dark");

    QTest::newRow("light desktop") << false;
    QTest::newRow("dark desktop") << true;
}

// Each verdict has its glyph and its ink, and every ink reads against the
// list's field, light or dark.
void ListenWindowTest::inksReadInEveryTheme()
{
    QFETCH(bool, dark);

    std::optional<DarkDesktop> desktop;
    if (dark)
        desktop.emplace();
    // String 5 right, 4 sharp, 3 a fret high (an open string cannot sound
    // a fret low), 2 not heard; 1 to play.
    ListenWindow* window = makeWindow(joined({turn(48), turn(52, 35), turn(56), silence(6.0)}));
    window->setBoard(BoardContent::Chord, kC);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(window).value(0), QStringLiteral("String 1, open, E4: play it now"), 20000);

    auto* list = window->findChild<QListWidget*>(QStringLiteral("stringChecks"));
    const QColor field = list->palette().color(QPalette::Base);
    QCOMPARE(field.lightness() < 128, dark);
    const QStringList glyphs{"\u25B6", "?", "\u2717", "\u266F", "\u2713", "\u00D7"}; // string 1 first
    QSet<QRgb> inks;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        QVERIFY2(item->text().startsWith(glyphs[row]), qPrintable(item->text()));
        const QColor ink = item->foreground().color();
        QVERIFY2(contrastRatio(ink, field) >= 4.5,
                 qPrintable(QStringLiteral("%1: %2 on %3").arg(item->text(), ink.name(), field.name())));
        inks << ink.rgb();
    }
    QCOMPARE(inks.size(), 6); // the four verdicts, the next string and the string not played apart
    QVERIFY(list->item(0)->font().bold()); // the string to play now stands out
    QVERIFY(!list->item(1)->font().bold());
    QTRY_COMPARE(checkLayoutFault(window), QString());
}

void ListenWindowTest::keyboard_data()
{
    QTest::addColumn<QString>("family"); // none: the desktop's
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<bool>("whileShown"); // the font changed with the window open

    QTest::newRow("9 pt") << "" << 9.0 << false;
    QTest::newRow("18 pt") << "" << 18.0 << false;
    QTest::newRow("DejaVu Sans 9 pt") << "DejaVu Sans" << 9.0 << false;
    QTest::newRow("Liberation Sans 10 pt") << "Liberation Sans" << 10.0 << false;
    QTest::newRow("18 pt, chosen with the window open") << "" << 18.0 << true;
    QTest::newRow("DejaVu Sans 7 pt, chosen with the window open") << "DejaVu Sans" << 7.0 << true;
}

// Every control is reached by Tab, in the window's order, named for a
// screen reader; the six rows show whole at any font, and follow the
// desktop's font when it changes.
void ListenWindowTest::keyboard()
{
    QFETCH(QString, family);
    QFETCH(double, pointSize);
    QFETCH(bool, whileShown);

    const QFont before = QApplication::font();
    QFont font = before;
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPointSizeF(pointSize);
    if (!whileShown)
        QApplication::setFont(font);
    const auto restore = qScopeGuard([&] { QApplication::setFont(before); });

    // No sound at all: no verdict comes to set the rows anew, only the font.
    ListenWindow* window = makeWindow({}, 0);
    window->setBoard(BoardContent::Chord, kC);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* list = window->findChild<QListWidget*>(QStringLiteral("stringChecks"));
    if (whileShown) {
        QApplication::setFont(font);
        QTRY_COMPARE(QFontInfo(list->item(4)->font()).pointSizeF(), QFontInfo(font).pointSizeF());
    }

    const QStringList order{"inputChooser", "referencePitch", "stringChecks", "startAgain", "inputChooser"};
    window->findChild<QWidget*>(order.first())->setFocus();
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        // A spin box's focus is its line edit.
        QWidget* control = focus->objectName().isEmpty() ? focus->parentWidget() : focus;
        QCOMPARE(control->objectName(), order[i]);
        QVERIFY2(!QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty(),
                 qPrintable(order[i]));
    }

    QTRY_COMPARE(checkLayoutFault(window), QString());
    const QRect view = list->viewport()->rect();
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        QCOMPARE(QFontInfo(item->font()).pointSizeF(), QFontInfo(font).pointSizeF());
        const int wanted = QFontMetrics(item->font()).horizontalAdvance(item->text());
        QVERIFY2(wanted <= view.width(), qPrintable(item->text()));
    }
}

QTEST_MAIN(ListenWindowTest)
#include "listen_window_test.moc"
