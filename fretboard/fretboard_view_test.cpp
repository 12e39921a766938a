#include "fretboard/fretboard_view.h"

#include "chord/chord_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace fretmap {
namespace {

// Records every call a display cycle makes, in order, as short texts:
// "hide 1/0", "show 2/1", "name C", "fret 1".
class RecordingSurface : public BoardSurface {
public:
    std::vector<std::string> calls;

    void setMarkerVisible(int string, int index, bool shown) override
    {
        calls.push_back((shown ? "show " : "hide ") + std::to_string(string) + "/"
                        + std::to_string(index));
    }
    void setChordName(std::string_view text) override { calls.push_back("name " + std::string(text)); }
    void setBaseFretText(std::string_view text) override { calls.push_back("fret " + std::string(text)); }
};

using Picks = std::vector<std::pair<int, int>>;
using Calls = std::vector<std::string>;

// The calls of one cycle: hide the old six, name, show the new six, fret.
Calls cycle(const std::array<int, 6>& hidden, const std::string& name,
            const std::array<int, 6>& shown, const std::string& fret)
{
    Calls calls;
    for (int s = 0; s < 6; ++s)
        calls.push_back("hide " + std::to_string(s + 1) + "/" + std::to_string(hidden[static_cast<std::size_t>(s)]));
    calls.push_back("name " + name);
    for (int s = 0; s < 6; ++s)
        calls.push_back("show " + std::to_string(s + 1) + "/" + std::to_string(shown[static_cast<std::size_t>(s)]));
    calls.push_back("fret " + fret);
    return calls;
}

constexpr std::array<int, 6> kEmpty{0, 0, 0, 0, 0, 0};
constexpr std::array<int, 6> kC{0, 1, 0, 2, 3, 6};
constexpr std::array<int, 6> kCm{1, 2, 3, 3, 1, 6};

// The board in words after C and after a selection the chart does not know.
const std::string kCWords = "C, base fret 1: string 1 open, string 2 fret 1, string 3 open, string 4 fret 2, "
                            "string 5 fret 3, string 6 not played";
const std::string kUnknownWords = "Unknown chord: no fingering";

struct CycleCase {
    const char* name;
    std::vector<Picks> picksBeforeEachDisplay;
    Calls lastCycle; // the calls of the last display only
    FretboardState stateAfter;
    std::string description; // what the view says the board shows afterwards
};

void PrintTo(const CycleCase& c, std::ostream* os) { *os << c.name; }

class DisplayCycleTest : public testing::TestWithParam<CycleCase> {};

TEST_P(DisplayCycleTest, MakesTheCallsInOrder)
{
    ChordSelection selection;
    RecordingSurface surface;
    FretboardView view(selection, surface);

    for (const Picks& picks : GetParam().picksBeforeEachDisplay) {
        for (const auto& [list, position] : picks)
            selection.pick(list, position);
        surface.calls.clear();
        EXPECT_NO_THROW(view.display());
    }

    EXPECT_EQ(surface.calls, GetParam().lastCycle);
    EXPECT_EQ(view.state().strings, GetParam().stateAfter.strings);
    EXPECT_EQ(view.state().baseFret, GetParam().stateAfter.baseFret);
    EXPECT_EQ(view.description(), GetParam().description);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fretboard, DisplayCycleTest,
    testing::Values(
        CycleCase{"NothingPickedShowsUnknown", {{}}, cycle(kEmpty, "unknown", kEmpty, "1"), {{}, 1}, kUnknownWords},
        CycleCase{"C", {{{1, 0}}}, cycle(kEmpty, "C", kC, "1"), {{0, 1, 0, 2, 3, 6}, 1}, kCWords},
        CycleCase{"CmAfterC", {{{1, 0}}, {{2, 1}}}, cycle(kC, "Cm", kCm, "3"), {{1, 2, 3, 3, 1, 6}, 3},
                  "Cm, base fret 3: string 1 fret 3, string 2 fret 4, string 3 fret 5, string 4 fret 5, "
                  "string 5 fret 3, string 6 not played"},
        CycleCase{"Cm7", {{{1, 0}, {2, 1}, {5, 1}}}, cycle(kEmpty, "Cm7", {1, 2, 1, 3, 1, 6}, "3"),
                  {{1, 2, 1, 3, 1, 6}, 3},
                  "Cm7, base fret 3: string 1 fret 3, string 2 fret 4, string 3 fret 3, string 4 fret 5, "
                  "string 5 fret 3, string 6 not played"},
        CycleCase{"SameChordTwice", {{{1, 0}}, {}}, cycle(kC, "C", kC, "1"), {{0, 1, 0, 2, 3, 6}, 1}, kCWords},
        CycleCase{"TwoDigitBaseFret", {{{1, 8}, {5, 1}, {6, 3}, {7, 3}}},
                  cycle(kEmpty, "G#7(-9,-5)", {1, 1, 2, 1, 2, 6}, "10"), {{1, 1, 2, 1, 2, 6}, 10},
                  "G#7(-9,-5), base fret 10: string 1 fret 10, string 2 fret 10, string 3 fret 11, "
                  "string 4 fret 10, string 5 fret 11, string 6 not played"},
        CycleCase{"UnknownAfterC", {{{1, 0}}, {{3, 1}}}, cycle(kC, "unknown", kEmpty, "1"), {{}, 1}, kUnknownWords},
        CycleCase{"OverflowAfterCmShowsUnknown", {{{1, 0}, {2, 1}}, {{8, 2}, {9, 2}}},
                  cycle(kCm, "unknown", kEmpty, "1"), {{}, 1}, kUnknownWords},
        CycleCase{"ChordAfterOverflowHidesNothingStale", {{{1, 0}, {8, 3}, {9, 2}}, {{8, 0}, {9, 0}}},
                  cycle(kEmpty, "C", kC, "1"), {{0, 1, 0, 2, 3, 6}, 1}, kCWords}),
    [](const testing::TestParamInfo<CycleCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST(FretboardViewTest, StartsEmptyAndPicksAloneChangeNothing)
{
    ChordSelection selection;
    RecordingSurface surface;
    FretboardView view(selection, surface);
    selection.pick(1, 0);
    EXPECT_TRUE(surface.calls.empty());
    EXPECT_EQ(view.state().strings, (std::array<std::int16_t, 6>{}));
    EXPECT_EQ(view.state().baseFret, 0);
    EXPECT_EQ(view.description(), "No chord shown");
}

} // namespace
} // namespace fretmap
