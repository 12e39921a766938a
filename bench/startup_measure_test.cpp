#include "startup_measure.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fretmap::bench {
namespace {

struct MedianCase {
    const char* name;
    std::vector<double> values;
    std::optional<double> median;
};

void PrintTo(const MedianCase& c, std::ostream* os) { *os << c.name; }

class MedianTest : public testing::TestWithParam<MedianCase> {};

TEST_P(MedianTest, TakesTheMiddle)
{
    EXPECT_EQ(median(GetParam().values), GetParam().median);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, MedianTest,
    testing::Values(MedianCase{"Empty", {}, std::nullopt},
                    MedianCase{"One", {7.5}, 7.5},
                    MedianCase{"OddUnsorted", {9, 1, 5}, 5},
                    MedianCase{"EvenMeanOfTheTwoMiddle", {4, 1, 3, 2}, 2.5},
                    MedianCase{"OutlierDoesNotPull", {10, 11, 12, 500}, 11.5}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParseCase {
    const char* name;
    const char* text;
    std::optional<long long> value;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class CountTest : public testing::TestWithParam<ParseCase> {};

TEST_P(CountTest, AcceptsOnlyAWholeNumberInRange)
{
    EXPECT_EQ(parseCount(GetParam().text, 1, 100), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CountTest,
    testing::Values(ParseCase{"Lowest", "1", 1}, ParseCase{"Highest", "100", 100},
                    ParseCase{"Zero", "0", std::nullopt}, ParseCase{"AboveRange", "101", std::nullopt},
                    ParseCase{"Negative", "-5", std::nullopt}, ParseCase{"Empty", "", std::nullopt},
                    ParseCase{"TrailingText", "20x", std::nullopt},
                    ParseCase{"LeadingSpace", " 20", std::nullopt},
                    ParseCase{"TooLargeForAnyInteger", "99999999999999999999999", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

class TaggedTimeTest : public testing::TestWithParam<ParseCase> {};

TEST_P(TaggedTimeTest, ReadsTheReportLine)
{
    EXPECT_EQ(findTaggedTime(GetParam().text, kFirstPaintTag), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, TaggedTimeTest,
    testing::Values(ParseCase{"Alone", "first-paint-ns 123\n", 123},
                    ParseCase{"WithoutNewline", "first-paint-ns 123", 123},
                    ParseCase{"AfterOtherLines", "warning: x\nfirst-paint-ns 42\n", 42},
                    ParseCase{"NoOutput", "", std::nullopt},
                    ParseCase{"OtherLinesOnly", "first-paint\nfirst-paint-nsx 5\n", std::nullopt},
                    ParseCase{"TagWithoutTime", "first-paint-ns \n", std::nullopt},
                    ParseCase{"TimeCutShort", "first-paint-ns 12 ms\n", std::nullopt},
                    ParseCase{"NegativeTime", "first-paint-ns -1\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace fretmap::bench
