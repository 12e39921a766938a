// A click on "display" to the repainted board, on the real main window: the
// display cycle, the labels it shows and hides, and the paint of the board
// with everything on it. Between clicks the events they posted are handled,
// as the program's event loop handles them, outside the time measured. Run
// with --benchmark_repetitions=N and read the median aggregate. A run whose
// iterations grow steadily fails, unless --no-fail-on-growth is given (the
// test suite's run, which checks that the benchmark runs, not how fast).

#include "chord/chord_catalogue.h"
#include "chord/chord_selection.h"
#include "fretmap_application.h"
#include "ui/board_picture.h"
#include "ui/form1.h"
#include "ui/qt_text.h"
#include "ui/selector_list.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace fretmap;

using Picks = std::vector<std::pair<int, int>>; // (list number, row)

// Two chords with different fingerings on the same lists, so that each
// pick replaces all of the other chord's picks: G7 and Ebm.
const std::array<Picks, 2> kChords{Picks{{1, 7}, {2, 0}, {5, 1}}, Picks{{1, 3}, {2, 1}, {5, 0}}};

// Counts the board's paints, so that the benchmark can tell that each
// iteration really repainted it.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    int m_count = 0;
};

// The main window, shown, with what the benchmarks click and watch.
class Window {
public:
    Window()
        : m_command1(child<QPushButton>("Command1"))
        , m_board(child<QWidget>("Picture1"))
        , m_picture1(child<fretmap::BoardPicture>("Picture1"))
        , m_paints(m_board)
    {
        m_form.show();
        if (!QTest::qWaitForWindowExposed(&m_form))
            throw std::runtime_error("the main window was never shown");
    }

    // Clicks each pick's row as a user does; the rows of lists not named
    // stay as they are. The lists are repainted here, so that their new
    // selections are not drawn in the board's repaint that is measured.
    void pick(const Picks& picks)
    {
        for (const auto& [number, row] : picks) {
            auto* list = child<fretmap::SelectorList>("List" + std::to_string(number));
            QTest::mouseClick(list, Qt::LeftButton, {}, list->rowRect(row).center());
        }
        m_form.repaint();
    }

    void clickDisplay() { QTest::mouseClick(m_command1, Qt::LeftButton); }
    void repaintBoard() { m_board->repaint(); }
    int boardPaints() const { return m_paints.count(); }
    QString chordName() const { return m_picture1->chordName(); }

private:
    template <typename T>
    T* child(const std::string& name)
    {
        T* found = m_form.findChild<T*>(QString::fromStdString(name));
        if (!found)
            throw std::runtime_error("the main window has no " + name);
        return found;
    }

    Form1 m_form;
    QPushButton* m_command1;
    QWidget* m_board;
    fretmap::BoardPicture* m_picture1;
    PaintCounter m_paints;
};

QString expectedName(const Picks& picks)
{
    ChordSelection selection;
    for (const auto& [number, row] : picks)
        selection.pick(number, row);
    const auto code = selection.chordCode();
    return code ? toQString(lookupChord(*code).caption) : QString();
}

Window* g_window = nullptr;
bool g_failed = false; // the harness exits 0 after a skipped benchmark; this program does not

void fail(benchmark::State& state, const char* why)
{
    g_failed = true;
    state.SkipWithError(why);
}

// The median of some iteration times.
double median(std::vector<double> times)
{
    const auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

// The medians of the first, middle and last thirds of a benchmark's
// iterations, over all its runs and repetitions: about equal when each
// iteration does the same work. Iterations that leave work behind for the
// next ones make them grow from third to third.
std::array<double, 3> thirds(const std::vector<double>& times)
{
    const auto third = static_cast<std::ptrdiff_t>(times.size() / 3);
    const auto at = [&](std::ptrdiff_t part) {
        return median({times.begin() + part * third, times.begin() + (part + 1) * third});
    };
    return {at(0), at(1), at(2)};
}

constexpr std::size_t kFewestIterationsForGrowth = 30;
// Each third this much slower than the one before is steady growth. A burst
// of load from elsewhere on the machine slows one or two thirds, not each.
constexpr double kGrowthStep = 1.25;

// The time of every iteration of each benchmark, in seconds, in order: the
// same chord, the changing chord.
std::array<std::vector<double>, 2> g_times;

// Each iteration: a click on "display", then the board repainted at once.
// Before it, outside the time measured, the events posted so far are
// handled, as the event loop handles them after each click in the program;
// with `changing`, the other chord is picked there too, so that each display
// changes the board. The time those events take is reported apart, as
// posted_us.
void displayToRepaint(benchmark::State& state, bool changing)
{
    using Clock = std::chrono::steady_clock;
    Window& window = *g_window;
    std::size_t chord = 0;
    window.pick(kChords[0]);
    const int paintsBefore = window.boardPaints();
    std::vector<double>& times = g_times[changing ? 1 : 0];
    double leftOver = 0; // seconds spent on the events that the displays posted
    for (auto _ : state) {
        state.PauseTiming();
        const Clock::time_point handling = Clock::now();
        QCoreApplication::processEvents();
        leftOver += std::chrono::duration<double>(Clock::now() - handling).count();
        if (changing) {
            chord = 1 - chord;
            window.pick(kChords[chord]);
            QCoreApplication::processEvents();
        }
        state.ResumeTiming();

        const Clock::time_point start = Clock::now();
        window.clickDisplay();
        window.repaintBoard();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    // Not in the time measured, but part of a display's cost to the program.
    state.counters["posted_us"] = benchmark::Counter(leftOver * 1e6, benchmark::Counter::kAvgIterations);
    if (window.boardPaints() - paintsBefore < static_cast<int>(state.iterations()))
        fail(state, "the board was not repainted on every iteration");
    else if (window.chordName() != expectedName(kChords[chord]))
        fail(state, "the board does not show the chord that was picked");
}

} // namespace

int main(int argc, char* argv[])
{
    // Headless unless there is a display to use or a platform was chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // A loaded machine can slow each third more than the one before: a
    // verdict on the figures, not on whether the benchmark works.
    const std::span<char*> arguments(argv, static_cast<std::size_t>(argc));
    const auto kept = std::remove_if(arguments.begin() + 1, arguments.end(),
                                     [](std::string_view argument) { return argument == "--no-fail-on-growth"; });
    const bool failOnGrowth = kept == arguments.end();
    argc = static_cast<int>(kept - arguments.begin());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    FretmapApplication app(argc, argv);
    Window window;
    g_window = &window;

    benchmark::RegisterBenchmark("displayToRepaint/sameChord", displayToRepaint, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("displayToRepaint/changingChord", displayToRepaint, true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Figures of a run that slows down as it goes measure a pile-up, not a
    // display.
    for (const bool changing : {false, true}) {
        const std::vector<double>& times = g_times[changing ? 1 : 0];
        if (times.size() < kFewestIterationsForGrowth)
            continue;
        const auto [first, middle, last] = thirds(times);
        const char* name = changing ? "changingChord" : "sameChord";
        std::fprintf(stderr, "displayToRepaint/%s: median of each third of the iterations %.0f, %.0f, %.0f us\n",
                     name, first * 1e6, middle * 1e6, last * 1e6);
        if (middle > kGrowthStep * first && last > kGrowthStep * middle) {
            std::fprintf(stderr, "displayToRepaint/%s: the iterations grow steadily; these figures mislead\n", name);
            g_failed = g_failed || failOnGrowth;
        }
    }
    g_window = nullptr;
    return g_failed ? 1 : 0;
}
