// The time from a request for sound to the first samples handed to the
// sound server, as a click on the board meets it: the real player and
// sound module, on the desktop's default output (PULSE_SERVER chooses the
// server), with the event loop running between requests, as in the
// program. The first request loads the module, connects to the server and
// opens the stream; later ones only render and hand the sound to the
// stream, which stays open.
//
// Usage: fretmap_sound_latency_bench [--requests N]

#include "chord/chord_selection.h"
#include "fretboard/fretboard_view.h"
#include "ui/chord_player.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 kWaitLimitMs = 10'000; // an output that never takes samples is a failure

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const qsizetype option = args.indexOf(QStringLiteral("--requests"));
    const int requests = option > 0 && option + 1 < args.size() ? args[option + 1].toInt() : 20;
    if (requests < 2) {
        std::fprintf(stderr, "fretmap_sound_latency_bench: --requests takes a number of 2 or more\n");
        return 2;
    }

    fretmap::ChordPlayer player;
    player.setOutputFactory([](QString& why) {
        return fretmap::ChordPlayer::loadModuleOutput({QStringLiteral(FRETMAP_AUDIO_MODULE_DIR)}, why);
    });
    QString problem;
    QObject::connect(&player, &fretmap::ChordPlayer::unavailable, [&](const QString& why) { problem = why; });

    // G#7+9, five strings, as the board shows it.
    class NullSurface : public fretmap::BoardSurface {
        void setMarkerVisible(int, int, bool) override {}
        void setChordName(std::string_view) override {}
        void setBaseFretText(std::string_view) override {}
    } surface;
    fretmap::ChordSelection selection;
    selection.pick(1, 8);
    selection.pick(5, 1);
    selection.pick(7, 1);
    fretmap::FretboardView view{selection, surface};
    view.display();
    const fretmap::FretboardState state = view.state();

    std::vector<double> later;
    double first = 0.0;
    for (int i = 0; i < requests; ++i) {
        QElapsedTimer clock;
        clock.start();
        player.play(state, fretmap::PlayStyle::Chord);
        while (problem.isEmpty() && (!player.output() || player.output()->samplesWritten() == 0)) {
            if (clock.elapsed() > kWaitLimitMs) {
                std::fprintf(stderr, "fretmap_sound_latency_bench: no samples reached the output in %lld ms\n",
                             static_cast<long long>(kWaitLimitMs));
                return 1;
            }
            QCoreApplication::processEvents();
        }
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "fretmap_sound_latency_bench: %s\n", qPrintable(problem));
            return 1;
        }
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (i == 0)
            first = ms;
        else
            later.push_back(ms);
        // Let the stream settle, as between two clicks.
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    player.stop();
    std::printf("request to first samples written, first (with the module load): %.1f ms\n", first);
    std::printf("request to first samples written, later (median of %zu): %.1f ms, slowest %.1f ms\n",
                later.size(), median(later), *std::max_element(later.begin(), later.end()));
    return 0;
}
