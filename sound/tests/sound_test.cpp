#include "sound/fingering_notes.h"
#include "sound/pluck.h"
#include "sound/tests/note_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace fretmap {
namespace {

using listening::centsBetween;
using listening::estimatePitch;
using Notes = std::array<std::optional<MidiNote>, kStringCount>;
constexpr std::optional<MidiNote> kSilent;

// Fingerings worked out by hand from the open strings E4 B3 G3 D3 A2 E2.
struct FingeringRow {
    const char* name;
    FretboardState state;
    Notes notes; // string 1 first

    friend void PrintTo(const FingeringRow& row, std::ostream* out) { *out << row.name; }
};

const FingeringRow kFingerings[] = {
    // C: 0 1 0 2 3 x: E4, C4, G3, E3, C3, not played.
    {"C_open_chord", {{0, 1, 0, 2, 3, 6}, 1}, {64, 60, 55, 52, 48, kSilent}},
    // Cm at base fret 3: cells 1 2 3 3 1 x are frets 3 4 5 5 3: G4, Eb4, C4, G3, C3.
    {"Cm_base_fret_3", {{1, 2, 3, 3, 1, 6}, 3}, {67, 63, 60, 55, 48, kSilent}},
    // D: 2 3 2 0 x x: F#4, D4, A3, D3, two strings not played.
    {"D_two_unplayed", {{2, 3, 2, 0, 6, 6}, 1}, {66, 62, 57, 50, kSilent, kSilent}},
};

class FingeringNotes : public testing::TestWithParam<FingeringRow> {};

TEST_P(FingeringNotes, EachStringSoundsItsFret)
{
    EXPECT_EQ(fingeringNotes(GetParam().state), GetParam().notes);
}

// The hand-worked notes in the order a guitarist strums them: from the
// lowest sounding string, string 6, up.
std::vector<int> struck(const Notes& notes)
{
    std::vector<int> order;
    for (std::size_t i = notes.size(); i-- > 0;) {
        if (notes[i])
            order.push_back(*notes[i]);
    }
    return order;
}

// A strum holds each note of its fingering, and every other semitone that
// rings is a partial of one of them, not a fundamental of its own.
TEST_P(FingeringNotes, StrumHoldsItsNotesAndNoOtherFundamental)
{
    constexpr int rate = 48000;
    const auto samples = renderFingering(GetParam().state, PlayStyle::Chord, rate);
    for (const std::string& problem :
         listening::strumProblems(std::span(samples).subspan(rate / 5, rate), rate, struck(GetParam().notes)))
        ADD_FAILURE() << problem;
}

// Played string by string, each stretch between two strikes holds one
// string alone, in tune, lowest string first.
TEST_P(FingeringNotes, StringByStringPlaysEachStringAlone)
{
    constexpr int rate = 44100;
    const std::vector<int> notes = struck(GetParam().notes);
    const auto samples = renderFingering(GetParam().state, PlayStyle::StringByString, rate);
    const auto pitches = listening::stringPitches(samples, rate, static_cast<std::size_t>(kStringByStringSpacing * rate),
                                                  notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        ASSERT_TRUE(pitches[i]) << "string " << i;
        EXPECT_NEAR(centsBetween(*pitches[i], listening::frequencyOf(notes[i])), 0.0, 5.0) << "string " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(HandWorked, FingeringNotes, testing::ValuesIn(kFingerings),
                         [](const auto& info) { return std::string(info.param.name); });

// Each open string, and stopped frets low and high on the neck, rendered
// alone, at the output rates a desktop offers.
struct PitchRow {
    MidiNote note;
    int rate;

    friend void PrintTo(const PitchRow& row, std::ostream* out) { *out << row.note << " at " << row.rate; }
};

class PluckPitch : public testing::TestWithParam<PitchRow> {};

TEST_P(PluckPitch, IsInTuneWithinFiveCents)
{
    const auto [note, rate] = GetParam();
    const MidiNote notes[] = {note};
    const auto samples = renderPluckedNotes(notes, PlayStyle::Chord, rate);
    const auto pitch = estimatePitch(std::span(samples).subspan(static_cast<std::size_t>(rate / 10)), rate);
    ASSERT_TRUE(pitch);
    EXPECT_NEAR(centsBetween(*pitch, listening::frequencyOf(note)), 0.0, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Strings, PluckPitch,
                         testing::Values(PitchRow{40, 48000}, PitchRow{45, 48000}, PitchRow{50, 48000},
                                         PitchRow{55, 48000}, PitchRow{59, 48000}, PitchRow{64, 48000},
                                         PitchRow{41, 44100}, PitchRow{67, 44100}, PitchRow{79, 48000}),
                         [](const auto& info) {
                             return "note_" + std::to_string(info.param.note) + "_at_" + std::to_string(info.param.rate);
                         });

// What a sound card gets: a little below full scale, never clipped, silent
// at the end, and the same every time.
TEST(PluckRender, PeaksBelowFullScaleEndsInSilenceAndRepeats)
{
    for (const auto style : {PlayStyle::Chord, PlayStyle::StringByString}) {
        for (const auto& row : kFingerings) {
            const auto samples = renderFingering(row.state, style, 48000);
            const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
            const int peak = std::max(-int(*low), int(*high));
            EXPECT_LT(peak, std::numeric_limits<std::int16_t>::max()) << row.name;
            EXPECT_GT(peak, 0.8 * std::numeric_limits<std::int16_t>::max()) << row.name;
            const auto tail = std::span(samples).last(48);
            EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](std::int16_t s) { return std::abs(s) <= 1; })) << row.name;
            EXPECT_EQ(samples.back(), 0) << row.name;
            EXPECT_EQ(renderFingering(row.state, style, 48000), samples) << row.name;
        }
    }
}

TEST(PluckRender, NothingToPlayIsNoSoundAndABadRateIsRefused)
{
    EXPECT_TRUE(renderFingering({{6, 6, 6, 6, 6, 6}, 1}, PlayStyle::Chord, 48000).empty());
    EXPECT_THROW(renderPluckedNotes(std::vector<MidiNote>{40}, PlayStyle::Chord, 0), std::invalid_argument);
    EXPECT_THROW(renderPluckedNotes(std::vector<MidiNote>{120}, PlayStyle::Chord, 8000), std::invalid_argument);
}

} // namespace
} // namespace fretmap
