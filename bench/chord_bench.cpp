#include "chord/chord_catalogue.h"
#include "chord/chord_selection.h"
#include "fretboard/fretboard_view.h"
#include "sound/pluck.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace fretmap;

void lookupAll(benchmark::State& state, const std::vector<std::int32_t>& codes)
{
    for (auto _ : state) {
        for (const std::int32_t code : codes)
            benchmark::DoNotOptimize(lookupChord(code));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(codes.size()));
}

void lookupEveryCataloguedCode(benchmark::State& state)
{
    std::vector<std::int32_t> codes;
    for (const ChordEntry& entry : chordCatalogue())
        codes.push_back(entry.code);
    lookupAll(state, codes);
}
BENCHMARK(lookupEveryCataloguedCode);

void lookupUnknownCodes(benchmark::State& state)
{
    // Codes around and between the catalogued ones: no root, root 13+,
    // combinations no type has, negative and huge values.
    std::vector<std::int32_t> codes;
    for (std::int32_t code = -50; code < 2000; code += 7)
        codes.push_back(code);
    for (std::int32_t code = 13; code < 2'100'000'000; code = code * 3 + 1)
        codes.push_back(code);
    lookupAll(state, codes);
}
BENCHMARK(lookupUnknownCodes);

void formChordCode(benchmark::State& state)
{
    ChordSelection selection;
    selection.pick(1, 10);
    selection.pick(7, 3);
    selection.pick(9, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(selection.chordCode());
}
BENCHMARK(formChordCode);

class NullSurface : public BoardSurface {
public:
    void setMarkerVisible(int, int, bool) override {}
    void setChordName(std::string_view) override {}
    void setBaseFretText(std::string_view) override {}
};

// G#7+9 on a board that draws nothing: what is measured is the cycle's own.
struct NullBoard {
    ChordSelection selection = [] {
        ChordSelection picked;
        picked.pick(1, 8);
        picked.pick(5, 1);
        picked.pick(7, 1);
        return picked;
    }();
    NullSurface surface;
    FretboardView view{selection, surface};
};

void displayCycle(benchmark::State& state)
{
    NullBoard board;
    for (auto _ : state) {
        board.view.display();
        benchmark::DoNotOptimize(board.view.state());
    }
}
BENCHMARK(displayCycle);

// What the main window adds to each display for a screen reader.
void describeBoard(benchmark::State& state)
{
    NullBoard board;
    board.view.display();
    for (auto _ : state)
        benchmark::DoNotOptimize(board.view.description());
}
BENCHMARK(describeBoard);

// The sound of a request: G#7+9's five strings (string 6 not played), at
// 48 kHz. The "per_second_of_sound" counter is the render time for each
// second rendered.
void renderSound(benchmark::State& state, PlayStyle style)
{
    NullBoard board;
    board.view.display();
    double seconds = 0.0;
    for (auto _ : state) {
        const auto samples = renderFingering(board.view.state(), style, 48000);
        seconds += static_cast<double>(samples.size()) / 48000.0;
        benchmark::DoNotOptimize(samples.data());
    }
    state.counters["per_second_of_sound"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(renderSound, strum, PlayStyle::Chord)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderSound, string_by_string, PlayStyle::StringByString)->Unit(benchmark::kMillisecond);

} // namespace
