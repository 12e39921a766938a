// The real main window played by a seeded random user: clicks and keys on the
// lists, Tab and Shift+Tab, "display", the play key and a click on the board,
// About and the about window's ways out, Contents, resizing. After every
// action the test checks what must always hold, whatever the user did before:
//   - the board shows exactly the chord the lists showed at the last
//     "display", worked out here from the lists' selected rows;
//   - a request for sound plays that chord, or nothing where none is known;
//   - no control moves when the window is resized;
//   - there is at most one about window, and About always leaves one open;
//   - no window blocks the others, and no error reaches the reporter.
//
// Environment:
//   FRETMAP_RANDOM_SEED=<n>     replay one seed (a failure prints it)
//   FRETMAP_RANDOM_ACTIONS=<n>  actions per seed; without a seed it runs one
//                               fresh seed, for a soak

#include "board_reading.h"
#include "recording_output.h"
#include "scratch_directory.h"

#include "app/fretmap_application.h"
#include "chord/chord_catalogue.h"
#include "sound/pluck.h"
#include "ui/chord_player.h"
#include "ui/common_dialog.h"
#include "ui/form1.h"
#include "ui/selector_list.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

using fretmap::CommonDialog;
using fretmap::FretmapApplication;
using fretmap::Form1;

namespace {

constexpr int kDefaultActions = 2000; // per seed, in CI
constexpr int kLogLength = 40; // actions shown with a failure

enum class Action {
    ClickItem,
    PickChord,
    Key,
    Tab,
    Display,
    About,
    AboutOk,
    AboutEnter,
    AboutEsc,
    AboutClose,
    Contents,
    Resize,
    ActivateMain,
    Play,
};

struct WeightedAction {
    Action action;
    int weight;
};

// Mostly picks and displays, as a guitarist uses the chart; the rest often
// enough that each comes up many times in a run. Random single picks almost
// never add up to a catalogued chord, so some actions pick a whole one.
constexpr WeightedAction kActions[] = {
    {Action::ClickItem, 30},  {Action::PickChord, 6}, {Action::Key, 24},     {Action::Tab, 8},
    {Action::Display, 16},    {Action::About, 3},     {Action::AboutOk, 1},  {Action::AboutEnter, 1},
    {Action::AboutEsc, 1},    {Action::AboutClose, 1}, {Action::Contents, 2}, {Action::Resize, 2},
    {Action::ActivateMain, 4}, {Action::Play, 4},
};

constexpr int totalWeight()
{
    int total = 0;
    for (const auto& a : kActions)
        total += a.weight;
    return total;
}
static_assert(totalWeight() > 0);

constexpr Qt::Key kMoveKeys[] = {Qt::Key_Up,   Qt::Key_Down, Qt::Key_Left,   Qt::Key_Right,
                                 Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown};

// Controls that keep their place whatever the size of the window.
constexpr const char* kFixedControls[] = {"Picture1", "Command1", "Frame3", "Frame4", "Frame5",
                                          "List1",    "List2",    "List3",  "List4",  "List5",
                                          "List6",    "List7",    "List8",  "List9"};

QString describe(const Board& board)
{
    return QStringLiteral("[%1] \"%2\" base %3").arg(board.markers.join(QLatin1Char(' ')), board.name,
                                                     board.baseFret);
}

Board boardFor(const fretmap::ChordEntry& entry)
{
    Board board;
    for (int string = 1; string <= 6; ++string) {
        const int state = entry.strings[static_cast<std::size_t>(string - 1)];
        if (state != 0)
            board.markers << QStringLiteral("%1:%2").arg(string).arg(state);
    }
    board.name = QString::fromUtf8(entry.caption.data(), static_cast<qsizetype>(entry.caption.size()));
    board.baseFret = QString::number(entry.baseFret);
    return board;
}

// The chord code of the rows the lists show (-1 for a list with nothing
// selected), by the code's digit layout: the root's number in the units and
// tens, then one digit per list from the hundreds up. Nothing when the sum
// does not fit in 32 bits.
std::optional<std::int32_t> codeOf(const std::array<int, 9>& rows)
{
    std::int64_t code = rows[0] < 0 ? 0 : rows[0] + 1;
    std::int64_t weight = 10;
    for (std::size_t list = 1; list < rows.size(); ++list) {
        weight *= 10;
        if (rows[list] > 0)
            code += rows[list] * weight;
    }
    if (code > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(code);
}

// The row that `code` names in list `number`: the inverse of codeOf().
int rowFor(std::int32_t code, int number)
{
    if (number == 1)
        return code % 100 - 1;
    int digit = code;
    for (int i = 0; i < number; ++i)
        digit /= 10;
    return digit % 10;
}

QList<QDialog*> aboutWindows()
{
    QList<QDialog*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("frmAbout"))
            if (auto* dialog = qobject_cast<QDialog*>(widget))
                windows << dialog;
    }
    return windows;
}

QDialog* openAboutWindow()
{
    for (QDialog* window : aboutWindows()) {
        if (window->isVisible())
            return window;
    }
    return nullptr;
}

// Lets queued work run and closed windows finish deleting themselves, as the
// event loop does between two user actions.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList g_reports; // what reached the application's error reporter

// The offscreen platform says on every About that it cannot raise a window.
// Dropped here, so that in a long run the test log still takes the messages
// that matter.
QtMessageHandler g_testLogHandler = nullptr;

void dropPlatformNotices(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_testLogHandler(type, context, message);
}

std::optional<quint32> environmentNumber(const char* name)
{
    bool ok = false;
    const uint value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? std::optional<quint32>(value) : std::nullopt;
}

} // namespace

class Form1RandomTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void randomActions_data();
    void randomActions();

private:
    fretmap::SelectorList* list(int number) const { return m_lists[static_cast<std::size_t>(number - 1)]; }
    // Each returns what went wrong, or an empty text.
    QString play(Action action);
    QString checkInvariants(Action action) const;
    void pressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = {});
    void note(const QString& what);

    std::unique_ptr<Form1> m_form;
    std::array<fretmap::SelectorList*, 9> m_lists{};
    QPushButton* m_command1 = nullptr;
    struct FixedControl {
        QString name;
        QPointer<QWidget> widget;
        QRect place; // as the window opened
    };
    QList<FixedControl> m_fixed;
    QRandomGenerator m_random;
    Board m_expected; // what the last "display" must have left on the board
    const fretmap::ChordEntry* m_shownChord = nullptr; // its entry, if it is a known chord
    QList<std::vector<std::int16_t>> m_plays; // what the sound output was given
    qsizetype m_playsBefore = 0;
    bool m_playReachesMain = false; // the last request went to the main window
    bool m_helpFilePresent = false;
    int m_contentsCount = 0;
    QList<QUrl> m_opened; // what Contents asked the desktop to open
    QStringList m_log;
    int m_step = 0;
};

void Form1RandomTest::initTestCase()
{
    g_testLogHandler = qInstallMessageHandler(dropPlatformNotices);
}

void Form1RandomTest::cleanupTestCase()
{
    qInstallMessageHandler(g_testLogHandler);
}

void Form1RandomTest::randomActions_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("actions");
    QTest::addColumn<bool>("helpFilePresent");

    const std::optional<quint32> seed = environmentNumber("FRETMAP_RANDOM_SEED");
    const std::optional<quint32> actions = environmentNumber("FRETMAP_RANDOM_ACTIONS");
    const int count = actions ? static_cast<int>(*actions) : kDefaultActions;
    if (seed || actions) {
        // A replay, or a soak with a fresh seed. The help file is there for
        // odd seeds, so a replay finds the same files as the run it repeats.
        const quint32 s = seed ? *seed : QRandomGenerator::global()->generate();
        QTest::addRow("seed %u", s) << s << count << (s % 2 == 1);
        return;
    }
    QTest::newRow("seed 1, help file present") << 1u << count << true;
    QTest::newRow("seed 2, no help file") << 2u << count << false;
    QTest::newRow("seed 3, help file present") << 3u << count << true;
}

void Form1RandomTest::randomActions()
{
    QFETCH(quint32, seed);
    QFETCH(int, actions);
    QFETCH(bool, helpFilePresent);

    // Contents looks for help.hlp in the working directory.
    const ScratchDirectory dir(helpFilePresent);
    QVERIFY(dir.isReady());

    m_form = std::make_unique<Form1>();
    const auto close = qScopeGuard([this] {
        m_form.reset();
        settle();
    });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));

    for (int number = 1; number <= 9; ++number) {
        m_lists[static_cast<std::size_t>(number - 1)] =
            m_form->findChild<fretmap::SelectorList*>(QStringLiteral("List%1").arg(number));
        QVERIFY(list(number));
    }
    m_command1 = m_form->findChild<QPushButton*>(QStringLiteral("Command1"));
    QVERIFY(m_command1);
    m_fixed.clear();
    for (const char* name : kFixedControls) {
        QWidget* control = m_form->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(control, name);
        m_fixed.append({QLatin1String(name), control, control->geometry()});
    }

    // Nothing reaches the desktop: Contents finds a stand-in opener.
    auto* dialog = m_form->findChild<CommonDialog*>(QStringLiteral("dlgCommonDialog"));
    QVERIFY(dialog);
    m_opened.clear();
    dialog->setOpener([this](const QUrl& url) {
        m_opened << url;
        return true;
    });
    m_helpFilePresent = helpFilePresent;
    m_contentsCount = 0;
    m_plays.clear();
    m_shownChord = nullptr;
    m_form->findChild<fretmap::ChordPlayer*>()->setOutputFactory(
        [this](QString&) { return std::make_unique<RecordingOutput>(m_plays); });

    g_reports.clear();
    m_random.seed(seed);
    m_expected = Board{{}, {}, QStringLiteral("1")}; // as the window opens
    m_log.clear();
    qInfo("seed %u, %d actions", seed, actions);

    QElapsedTimer clock;
    clock.start();
    for (m_step = 1; m_step <= actions; ++m_step) {
        int pick = static_cast<int>(m_random.bounded(totalWeight()));
        Action action = kActions[0].action;
        for (const auto& a : kActions) {
            if (pick < a.weight) {
                action = a.action;
                break;
            }
            pick -= a.weight;
        }
        QString problem = play(action);
        if (problem.isEmpty()) {
            settle();
            problem = checkInvariants(action);
        }
        // All in the failure itself: the test log may have stopped taking
        // messages long before a soak fails.
        if (!problem.isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1\nat action %2 of seed %3; replay with FRETMAP_RANDOM_SEED=%3 "
                                            "FRETMAP_RANDOM_ACTIONS=%2. The last actions:\n  %4")
                                 .arg(problem).arg(m_step).arg(seed).arg(m_log.join(QStringLiteral("\n  ")))));
    }
    qInfo("seed %u: %d actions in %lld ms", seed, actions, static_cast<long long>(clock.elapsed()));
}

void Form1RandomTest::note(const QString& what)
{
    m_log << QStringLiteral("#%1 %2").arg(m_step).arg(what);
    if (m_log.size() > kLogLength)
        m_log.removeFirst();
}

// A key goes where the keyboard sends it: to the focused control of the
// window in front.
void Form1RandomTest::pressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    const QString keyName = QKeySequence(int(key) | int(modifiers)).toString();
    if (!target) {
        note(QStringLiteral("%1 with no window in front: skipped").arg(keyName));
        return;
    }
    note(QStringLiteral("%1 in %2 (%3)")
             .arg(keyName, target->objectName(), QString::fromLatin1(target->metaObject()->className())));
    QTest::keyClick(target, key, modifiers);
}

QString Form1RandomTest::play(Action action)
{
    QDialog* about = openAboutWindow();
    QWidget* front = QApplication::activeWindow();
    QWidget* focused = front ? (front->focusWidget() ? front->focusWidget() : front) : nullptr;

    switch (action) {
    case Action::ClickItem: {
        // A click on the main window brings it to the front first.
        const int number = static_cast<int>(m_random.bounded(1, 10));
        fretmap::SelectorList* target = list(number);
        // Half the picks in List2 to List9 go back to the blank "none", which
        // keeps a catalogued chord within reach of the next picks.
        const bool none = number > 1 && m_random.bounded(2) == 0;
        const int row = none ? 0 : static_cast<int>(m_random.bounded(target->count()));
        note(QStringLiteral("click List%1 row %2").arg(number).arg(row));
        m_form->activateWindow();
        settle();
        QTest::mouseClick(target, Qt::LeftButton, {}, target->rowRect(row).center());
        break;
    }
    case Action::PickChord: {
        // The rows come from the code's digits, list by list, in a random order.
        const auto catalogue = fretmap::chordCatalogue();
        const fretmap::ChordEntry& entry = catalogue[m_random.bounded(static_cast<quint32>(catalogue.size()))];
        note(QStringLiteral("pick the rows of %1").arg(entry.code));
        m_form->activateWindow();
        settle();
        std::array<int, 9> order{1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (std::size_t i = order.size() - 1; i > 0; --i)
            std::swap(order[i], order[m_random.bounded(static_cast<quint32>(i + 1))]);
        for (int number : order) {
            const int row = rowFor(entry.code, number);
            fretmap::SelectorList* target = list(number);
            QTest::mouseClick(target, Qt::LeftButton, {}, target->rowRect(row).center());
        }
        break;
    }
    case Action::Key:
        pressKey(focused, kMoveKeys[m_random.bounded(static_cast<int>(std::size(kMoveKeys)))]);
        break;
    case Action::Tab:
        pressKey(focused, Qt::Key_Tab, m_random.bounded(2) ? Qt::ShiftModifier : Qt::NoModifier);
        break;
    case Action::Display: {
        // The board must come to show what the lists show now.
        std::array<int, 9> rows{};
        QStringList shown;
        for (int number = 1; number <= 9; ++number) {
            const int row = list(number)->pickedRow();
            rows[static_cast<std::size_t>(number - 1)] = row;
            shown << (row < 0 ? QStringLiteral("-") : QString::number(row));
        }
        const std::optional<std::int32_t> code = codeOf(rows);
        // An overflowing selection names no chord.
        const fretmap::ChordEntry& entry = fretmap::lookupChord(code.value_or(0));
        m_expected = boardFor(entry);
        m_shownChord = code && entry.code == *code ? &entry : nullptr;
        note(QStringLiteral("display with rows %1: code %2, expect %3")
                 .arg(shown.join(QLatin1Char(',')),
                      code ? QString::number(*code) : QStringLiteral("overflow"), describe(m_expected)));
        QTest::mouseClick(m_command1, Qt::LeftButton);
        break;
    }
    case Action::About: {
        note(QStringLiteral("About"));
        // Through the event loop, as a menu click runs it.
        QMetaObject::invokeMethod(m_form->findChild<QAction*>(QStringLiteral("about")), &QAction::trigger,
                                  Qt::QueuedConnection);
        break;
    }
    case Action::AboutOk:
    case Action::AboutEnter:
    case Action::AboutEsc:
    case Action::AboutClose: {
        static constexpr const char* kNames[] = {"OK", "Enter", "Esc", "close"};
        const char* name = kNames[int(action) - int(Action::AboutOk)];
        if (!about) {
            note(QStringLiteral("%1 with no about window: skipped").arg(QLatin1String(name)));
            break;
        }
        note(QStringLiteral("%1 on the about window").arg(QLatin1String(name)));
        // Enter and Esc act on the window in front, so the user brings the
        // about window there first; another window's Esc must not count.
        about->activateWindow();
        settle();
        if (QApplication::activeWindow() != about)
            return QStringLiteral("the about window does not come to the front");
        QWidget* inside = about->focusWidget() ? about->focusWidget() : about;
        if (action == Action::AboutOk) {
            auto* ok = about->findChild<QPushButton*>(QStringLiteral("cmdOK"));
            if (!ok)
                return QStringLiteral("the about window has no cmdOK");
            QTest::mouseClick(ok, Qt::LeftButton);
        } else if (action == Action::AboutEnter) {
            QTest::keyClick(inside, Qt::Key_Return);
        } else if (action == Action::AboutEsc) {
            QTest::keyClick(inside, Qt::Key_Escape);
        } else {
            about->windowHandle()->close(); // the title bar's close button
        }
        break;
    }
    case Action::Contents:
        note(QStringLiteral("Contents"));
        ++m_contentsCount;
        QMetaObject::invokeMethod(m_form->findChild<QAction*>(QStringLiteral("index")), &QAction::trigger,
                                  Qt::QueuedConnection);
        break;
    case Action::Resize: {
        const QSize size(static_cast<int>(m_random.bounded(60, 1400)), static_cast<int>(m_random.bounded(60, 1000)));
        note(QStringLiteral("resize to %1x%2").arg(size.width()).arg(size.height()));
        m_form->resize(size);
        break;
    }
    case Action::ActivateMain:
        note(QStringLiteral("bring the main window to the front"));
        m_form->activateWindow();
        break;
    case Action::Play:
        m_playsBefore = m_plays.size();
        if (m_random.bounded(2) == 0) {
            // The play key works in the main window only.
            m_playReachesMain = front == m_form.get();
            pressKey(focused, Qt::Key_F9);
        } else {
            note(QStringLiteral("click on the board"));
            m_form->activateWindow();
            settle();
            m_playReachesMain = true;
            QTest::mouseClick(m_form->findChild<QWidget*>(QStringLiteral("Picture1")), Qt::LeftButton);
        }
        break;
    }
    return {};
}

QString Form1RandomTest::checkInvariants(Action action) const
{
    if (!g_reports.isEmpty())
        return QStringLiteral("reported: ") + g_reports.join(QLatin1Char('\n'));
    if (!m_form->isVisible())
        return QStringLiteral("the main window has gone");
    if (QWidget* modal = QApplication::activeModalWidget())
        return QStringLiteral("a modal window blocks the others: ") + modal->objectName();

    const Board board = boardOf(*m_form);
    if (board != m_expected)
        return QStringLiteral("the board shows %1, expected %2").arg(describe(board), describe(m_expected));

    for (const FixedControl& control : m_fixed) {
        if (!control.widget)
            return control.name + QStringLiteral(" has gone");
        if (control.widget->geometry() != control.place)
            return control.name + QStringLiteral(" has moved or changed its size");
    }

    if (const qsizetype count = aboutWindows().size(); count > 1)
        return QStringLiteral("%1 about windows").arg(count);
    switch (action) {
    case Action::About:
        if (!openAboutWindow())
            return QStringLiteral("About left no about window open");
        break;
    case Action::AboutOk:
    case Action::AboutEnter:
    case Action::AboutEsc:
    case Action::AboutClose:
        if (openAboutWindow())
            return QStringLiteral("the about window is still open");
        break;
    case Action::Play: {
        const bool heard = m_plays.size() > m_playsBefore;
        if (heard != (m_playReachesMain && m_shownChord))
            return heard ? QStringLiteral("a request played with no known chord on the board")
                         : QStringLiteral("a request for the chord on the board played nothing");
        if (heard
            && m_plays.last()
                != fretmap::renderFingering({m_shownChord->strings, m_shownChord->baseFret}, fretmap::PlayStyle::Chord,
                                            RecordingOutput::kRate))
            return QStringLiteral("a request played another chord than %1").arg(describe(m_expected));
        break;
    }
    case Action::Contents:
        // With the file there, every Contents asks for help.hlp, and only that.
        if (m_helpFilePresent
            && (m_opened.size() != m_contentsCount || m_opened.last().fileName() != QLatin1String("help.hlp")))
            return QStringLiteral("Contents asked the desktop for %1 after %2 Contents")
                .arg(QUrl::toStringList(m_opened).join(QLatin1Char(' ')))
                .arg(m_contentsCount);
        break;
    default:
        break;
    }
    return {};
}

// The program's own application object, so that an error escaping a handler
// is reported as it would be to the user; here the report is recorded.
int main(int argc, char** argv)
{
    FretmapApplication app(argc, argv);
    app.setReporter([](const QString& text) { g_reports << text; });
    Form1RandomTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "form1_random_test.moc"
