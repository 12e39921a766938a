// A strum's strings judged from one strum: synthetic strums of C major
// (x32010), each with one fault, and what the guitarist is told.

#include "sound/strum_check.h"
#include "sound/tests/hard_notes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fretmap {
namespace {

namespace hn = listening::hard_notes;

constexpr int kRate = 48000;
// C major, string 1 first: E4 C4 G3 E3 C3, string 6 left out.
const std::array<std::optional<MidiNote>, kStringCount> kCMajor{64, 60, 55, 52, 48, std::nullopt};
constexpr std::array<int, kStringCount> kOpenNotes{64, 59, 55, 50, 45, 40};

struct StrumRow {
    std::string name;
    bool upward = false;
    int faultString = 0;      // 0: a right strum
    int faultFrets = 0;       // the fault string a fret high or low
    double faultCents = 0.0;  // or out of tune
    bool faultSilent = false; // or struck but silent
    StrumStringKind expectedKind = StrumStringKind::Judged;
    VerdictKind expectedVerdict = VerdictKind::Right;
    std::string expectedSummaryPart;
};

std::vector<float> strum(const StrumRow& row)
{
    std::vector<float> sound(std::size_t(2.0 * kRate));
    std::uint32_t seed = 11;
    for (int step = 0; step < kStringCount; ++step) {
        const int string = row.upward ? step + 1 : kStringCount - step;
        const auto& wanted = kCMajor[std::size_t(string - 1)];
        const bool sounds = wanted.has_value() || string == row.faultString;
        if (!sounds || (string == row.faultString && row.faultSilent))
            continue;
        hn::Tone tone = hn::plucked(wanted ? *wanted : kOpenNotes[std::size_t(string - 1)]);
        if (string == row.faultString) {
            tone.note += row.faultFrets;
            tone.cents = row.faultCents;
        }
        const auto start = std::size_t((0.3 + 0.03 * step) * kRate);
        hn::addTone(sound, tone, start, kRate, seed++);
    }
    hn::addNoise(sound, 30.0, 5);
    return sound;
}

class StrumTable : public testing::TestWithParam<StrumRow> {};

TEST_P(StrumTable, EachStringAsOneStrumTellsIt)
{
    const StrumRow& row = GetParam();
    const auto strings = judgeStrum(kCMajor, kDefaultReferencePitch, kRate, strum(row));
    for (const StrumString& s : strings) {
        SCOPED_TRACE(describeStrumString(s));
        if (s.string == row.faultString) {
            EXPECT_EQ(s.kind, row.expectedKind);
            if (row.expectedKind == StrumStringKind::Judged) {
                EXPECT_EQ(s.verdict.kind, row.expectedVerdict);
            }
        } else if (!s.wanted) {
            EXPECT_EQ(s.kind, StrumStringKind::NotPlayed);
        } else if (s.covered) {
            // Never a guess: right, or said that one strum cannot tell.
            EXPECT_TRUE(s.kind == StrumStringKind::CantTell || (s.kind == StrumStringKind::Judged && s.verdict.kind == VerdictKind::Right));
        } else {
            EXPECT_EQ(s.kind, StrumStringKind::Judged);
            EXPECT_EQ(s.verdict.kind, VerdictKind::Right);
        }
    }
    EXPECT_TRUE(soundsAsStrum(strings));
    const std::string summary = strumSummary(strings);
    EXPECT_EQ(summary.rfind("Strum: ", 0), 0U) << summary;
    EXPECT_NE(summary.find(row.expectedSummaryPart), std::string::npos) << summary;
}

INSTANTIATE_TEST_SUITE_P(
    CMajor, StrumTable,
    testing::Values(StrumRow{"right_downward", false, 0, 0, 0.0, false, {}, {}, "strings right"},
                    StrumRow{"right_upward", true, 0, 0, 0.0, false, {}, {}, "strings right"},
                    StrumRow{"string_3_a_fret_high", false, 3, 1, 0.0, false, StrumStringKind::Judged,
                             VerdictKind::WrongFret, "string 3 one fret high"},
                    StrumRow{"string_5_a_fret_low", false, 5, -1, 0.0, false, StrumStringKind::Judged,
                             VerdictKind::WrongFret, "string 5 one fret low"},
                    // C4 shares every partial with C3, but B3 does not.
                    StrumRow{"covered_string_2_a_fret_low", true, 2, -1, 0.0, false, StrumStringKind::Judged,
                             VerdictKind::WrongFret, "string 2 one fret low"},
                    StrumRow{"string_3_30_cents_sharp", true, 3, 0, 30.0, false, StrumStringKind::Judged,
                             VerdictKind::OutOfTune, "string 3"},
                    // C4's partials lie on C3's, but 30 cents off they stand apart.
                    StrumRow{"covered_string_2_30_cents_flat", false, 2, 0, -30.0, false, StrumStringKind::Judged,
                             VerdictKind::OutOfTune, "cents flat"},
                    // ... while C3 off leaves C4 and E4 right or untold.
                    StrumRow{"string_5_30_cents_sharp_under_covered_strings", true, 5, 0, 30.0, false,
                             StrumStringKind::Judged, VerdictKind::OutOfTune, "cents sharp"},
                    StrumRow{"string_4_muted", false, 4, 0, 0.0, true, StrumStringKind::Judged,
                             VerdictKind::NotHeard, "string 4"},
                    StrumRow{"string_6_sounding_open", false, 6, 0, 0.0, false, StrumStringKind::NotPlayedButHeard, {}, "string 6 should not sound"}),
    [](const testing::TestParamInfo<StrumRow>& info) { return info.param.name; });

// A string plucked alone, judged as a strum, is found out: the others are
// not heard.
TEST(StrumJudgement, OneStringAloneIsNoStrum)
{
    std::vector<float> sound(std::size_t(2.0 * kRate));
    hn::addTone(sound, hn::plucked(55), std::size_t(0.1 * kRate), kRate, 3);
    EXPECT_FALSE(soundsAsStrum(judgeStrum(kCMajor, kDefaultReferencePitch, kRate, sound)));
}

// Strings that rang on from before an onset, against those struck at it:
// a string picked over others ringing is not taken for a strum.
TEST(StrumJudgement, StringsRingingBeforeAnOnsetAreTold)
{
    const auto at = std::size_t(1.0 * kRate);
    const auto window = std::size_t(0.1 * kRate);
    std::vector<float> ringingOn(std::size_t(2.0 * kRate));
    hn::addTone(ringingOn, hn::plucked(48), 0, kRate, 3);
    hn::addTone(ringingOn, hn::plucked(52), std::size_t(0.3 * kRate), kRate, 4);
    hn::addTone(ringingOn, hn::plucked(55), at, kRate, 5);
    std::vector<float> struckTogether(std::size_t(2.0 * kRate));
    for (MidiNote note : {48, 52, 55})
        hn::addTone(struckTogether, hn::plucked(note), at, kRate, std::uint32_t(note));
    for (auto* sound : {&ringingOn, &struckTogether})
        hn::addNoise(*sound, 30.0, 7);
    const auto ringing = [&](const std::vector<float>& sound) {
        const std::span<const float> all(sound);
        return stringsRingingBefore(kCMajor, kDefaultReferencePitch, kRate, all.subspan(at - window, window), all.subspan(at + window, window));
    };
    EXPECT_EQ(ringing(ringingOn), 2U);
    EXPECT_EQ(ringing(struckTogether), 0U);
}

TEST(StrumPhrases, ReadAsTheChecksRows)
{
    StrumString covered{1, 64, 0, StrumStringKind::CantTell, {}, true};
    EXPECT_EQ(describeStrumString(covered), "String 1, open, E4: can't tell in a strum");
    StrumString stray{6, std::nullopt, 0, StrumStringKind::NotPlayedButHeard, Verdict{VerdictKind::Right, 40}, false};
    EXPECT_EQ(describeStrumString(stray), "String 6: not played, but heard E2");
}

} // namespace
} // namespace fretmap
