#include "chord/chord_selection.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fretmap {
namespace {

using Picks = std::vector<std::pair<int, int>>; // (list, position), in order

struct CodeCase {
    const char* name;
    Picks picks;
    std::optional<std::int32_t> code;
};

ChordSelection selectionAfter(const Picks& picks)
{
    ChordSelection selection;
    for (const auto& [list, position] : picks)
        selection.pick(list, position);
    return selection;
}

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class ChordCodeTest : public testing::TestWithParam<CodeCase> {};

TEST_P(ChordCodeTest, FormsTheCodeOfThePicks)
{
    EXPECT_EQ(selectionAfter(GetParam().picks).chordCode(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Picks, ChordCodeTest,
    testing::Values(
        CodeCase{"NothingPicked", {}, 0},
        CodeCase{"QualityWithoutRoot", {{2, 1}}, 100},
        CodeCase{"C", {{1, 0}}, 1},
        CodeCase{"B", {{1, 11}}, 12},
        CodeCase{"Bb13Minus9", {{1, 10}, {7, 3}, {9, 1}}, 1030000011},
        CodeCase{"LaterPickReplacesEarlier", {{1, 4}, {1, 0}}, 1},
        CodeCase{"BlankItemClearsContribution", {{1, 0}, {2, 1}, {2, 0}}, 1},
        CodeCase{"EveryListAtItsLastItemButEleventhPlain",
                 {{1, 11}, {2, 5}, {3, 2}, {4, 1}, {5, 1}, {6, 3}, {7, 3}, {8, 1}, {9, 2}},
                 2133112512},
        CodeCase{"Minus13With11DoesNotOverflow", {{9, 2}, {8, 1}}, 2100000000},
        CodeCase{"Minus13WithPlus11Overflows", {{9, 2}, {8, 2}}, std::nullopt},
        CodeCase{"Minus13WithMinus11Overflows", {{1, 0}, {9, 2}, {8, 3}}, std::nullopt},
        CodeCase{"OverflowClearedByPickingBlank", {{9, 2}, {8, 2}, {8, 0}}, 2000000000}),
    [](const testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

struct BadPick {
    const char* name;
    int list;
    int position;
};

void PrintTo(const BadPick& c, std::ostream* os) { *os << c.name; }

class RejectedPickTest : public testing::TestWithParam<BadPick> {};

TEST_P(RejectedPickTest, ThrowsNamingListAndPositionAndChangesNothing)
{
    const Picks before{{1, 3}, {2, 1}, {5, 1}, {9, 1}};
    ChordSelection selection = selectionAfter(before);
    const auto [name, list, position] = GetParam();

    try {
        selection.pick(list, position);
        FAIL() << "pick(" << list << ", " << position << ") was accepted";
    } catch (const std::out_of_range& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(std::to_string(list)), std::string::npos) << message;
        if (list >= 1 && list <= 9) {
            EXPECT_NE(message.find(std::to_string(position)), std::string::npos) << message;
        }
    }
    EXPECT_EQ(selection.chordCode(), selectionAfter(before).chordCode());
}

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, RejectedPickTest,
    testing::Values(BadPick{"ListZero", 0, 0}, BadPick{"ListTen", 10, 0},
                    BadPick{"NegativeList", -1, 0}, BadPick{"NegativePosition", 1, -1},
                    BadPick{"PastLastRoot", 1, 12}, BadPick{"PastLastQuality", 2, 6},
                    BadPick{"PastLastSixth", 4, 2}, BadPick{"PastLastThirteenth", 9, 3},
                    BadPick{"HugePosition", 9, std::numeric_limits<int>::max()},
                    BadPick{"MostNegativePosition", 5, std::numeric_limits<int>::min()}),
    [](const testing::TestParamInfo<BadPick>& info) { return std::string(info.param.name); });

TEST(ChordSelectionTest, ListsHaveTheirItemCounts)
{
    const std::vector<int> counts{12, 6, 3, 2, 2, 4, 4, 4, 3};
    for (int list = 1; list <= 9; ++list)
        EXPECT_EQ(ChordSelection::itemCount(list), counts[static_cast<std::size_t>(list - 1)]) << list;
    EXPECT_THROW(ChordSelection::itemCount(0), std::out_of_range);
    EXPECT_THROW(ChordSelection::itemCount(10), std::out_of_range);
}

} // namespace
} // namespace fretmap
