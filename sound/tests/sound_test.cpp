#include "sound/fingering_notes.h"
#include "sound/pluck.h"
#include "sound/tests/note_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
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
    // F, barred at the first fret on all six strings: 1 1 2 3 3 1 are frets
    // 1 1 2 3 3 1: F4, C4, A3, F3, C3, F2.
    {"F_all_six_strings", {{1, 1, 2, 3, 3, 1}, 1}, {65, 60, 57, 53, 48, 41}},
};

// The guide's "half a second apart" for strings played alone, and the
// 35 ms between the strings of a strum.
constexpr double kSecondsBetweenStringsAlone = 0.5;
constexpr double kSecondsBetweenStrummedStrings = 0.035;
// The sound ends this long after its last strike, whichever the style.
constexpr double kSecondsAfterTheLastStrike = 3.0;

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
    const auto pitches = listening::stringPitches(
        samples, rate, static_cast<std::size_t>(kSecondsBetweenStringsAlone * rate), notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        ASSERT_TRUE(pitches[i]) << "string " << i;
        EXPECT_NEAR(centsBetween(*pitches[i], listening::frequencyOf(notes[i])), 0.0, 5.0) << "string " << i;
    }
}

// Each string is struck once, lowest first, at its time: 35 ms apart in a
// strum, half a second apart when played alone; the sound ends three
// seconds after the last strike.
TEST_P(FingeringNotes, StrikesEachStringOnTimeAndEndsOnTime)
{
    constexpr int rate = 48000;
    const std::size_t strings = struck(GetParam().notes).size();
    for (const auto& [style, seconds] : {std::pair{PlayStyle::Chord, kSecondsBetweenStrummedStrings},
                                         std::pair{PlayStyle::StringByString, kSecondsBetweenStringsAlone}}) {
        const auto samples = renderFingering(GetParam().state, style, rate);
        const auto strikes = listening::strikeFrames(samples, rate);
        ASSERT_EQ(strikes.size(), strings) << testing::PrintToString(strikes) << " at " << seconds << " s";
        for (std::size_t i = 0; i < strings; ++i)
            EXPECT_NEAR(double(strikes[i]), 1000.0 * seconds * double(i), 1.0) << "string " << i << " at " << seconds << " s";
        const double length = seconds * double(strings - 1) + kSecondsAfterTheLastStrike;
        EXPECT_EQ(samples.size(), static_cast<std::size_t>(std::lround(length * rate))) << "at " << seconds << " s";
    }
}

// Played alone, every string but the last is damped as the next is struck:
// it fades to silence before the strike, with no click where it is cut,
// while the last rings on well past the half second.
TEST_P(FingeringNotes, StringByStringDampsWithoutAClickAndLetsTheLastRing)
{
    constexpr int rate = 48000;
    const std::vector<int> notes = struck(GetParam().notes);
    const auto samples = renderFingering(GetParam().state, PlayStyle::StringByString, rate);
    const auto spacing = static_cast<std::size_t>(kSecondsBetweenStringsAlone * rate);
    for (std::size_t i = 1; i < notes.size(); ++i) {
        // The last 5 ms before the next strike.
        const auto end = std::span(samples).subspan(spacing * i - rate / 200, rate / 200);
        const auto [low, high] = std::minmax_element(end.begin(), end.end());
        EXPECT_LT(std::max(-int(*low), int(*high)), 100) << "string " << i - 1 << " is still sounding";
    }
    // The last string from its strike to the half second, and the half
    // second after: still at least a hundredth of its level (-40 dB).
    const std::size_t last = spacing * (notes.size() - 1);
    const auto power = [&](std::size_t from) {
        double sum = 0.0;
        for (std::int16_t s : std::span(samples).subspan(from, spacing))
            sum += double(s) * double(s);
        return sum;
    };
    EXPECT_GT(power(last + spacing), 1e-4 * power(last)) << "the last string stops at the half second";
}

// The level of a sound at `seconds`, in dB: the RMS of the 50 ms centred
// there, against the largest RMS of any 50 ms of the sound.
double levelAt(std::span<const std::int16_t> samples, int rate, double seconds)
{
    const auto window = static_cast<std::size_t>(rate / 20);
    std::vector<double> energy(samples.size() + 1, 0.0); // energy[n]: of the first n samples
    for (std::size_t n = 0; n < samples.size(); ++n)
        energy[n + 1] = energy[n] + double(samples[n]) * double(samples[n]);
    const auto windowEnergy = [&](std::size_t from) { return energy[from + window] - energy[from]; };
    double loudest = 0.0;
    for (std::size_t from = 0; from + window <= samples.size(); ++from)
        loudest = std::max(loudest, windowEnergy(from));
    const auto from = static_cast<std::size_t>(seconds * rate) - window / 2;
    if (from + window > samples.size())
        return -300.0; // the sound has ended
    return 10.0 * std::log10(windowEnergy(from) / loudest);
}

// A strum rings on long after its last string is struck: two seconds after
// it the sound has lost no more than a string does between its first and
// its second second (a guitar's strings, 5 to 10 dB), and has not faded out.
TEST_P(FingeringNotes, StrumRingsTwoSecondsAfterItsLastString)
{
    constexpr int rate = 48000;
    const auto samples = renderFingering(GetParam().state, PlayStyle::Chord, rate);
    const double last = kSecondsBetweenStrummedStrings * double(struck(GetParam().notes).size() - 1);
    EXPECT_GT(levelAt(samples, rate, last + 2.0), levelAt(samples, rate, last + 1.0) - 15.0);
}

INSTANTIATE_TEST_SUITE_P(HandWorked, FingeringNotes, testing::ValuesIn(kFingerings),
                         [](const auto& info) { return std::string(info.param.name); });

// Each open string, and stopped frets low and high on the neck, rendered
// alone, at the output rates a desktop offers.
struct PitchRow {
    MidiNote note;
    int rate;
    double hertz; // equal temperament, A4 = 440 Hz

    friend void PrintTo(const PitchRow& row, std::ostream* out) { *out << row.note << " at " << row.rate; }
};

class PluckPitch : public testing::TestWithParam<PitchRow> {};

TEST_P(PluckPitch, IsInTuneWithinFiveCents)
{
    const auto [note, rate, hertz] = GetParam();
    const MidiNote notes[] = {note};
    const auto samples = renderPluckedNotes(notes, PlayStyle::Chord, rate);
    const auto pitch = estimatePitch(std::span(samples).subspan(static_cast<std::size_t>(rate / 10)), rate);
    ASSERT_TRUE(pitch);
    EXPECT_NEAR(centsBetween(*pitch, hertz), 0.0, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Strings, PluckPitch,
                         testing::Values(PitchRow{40, 48000, 82.41}, PitchRow{45, 48000, 110.00},
                                         PitchRow{50, 48000, 146.83}, PitchRow{55, 48000, 196.00},
                                         PitchRow{59, 48000, 246.94}, PitchRow{64, 48000, 329.63},
                                         PitchRow{41, 44100, 87.31}, PitchRow{67, 44100, 392.00},
                                         PitchRow{79, 48000, 783.99}),
                         [](const auto& info) {
                             return "note_" + std::to_string(info.param.note) + "_at_" + std::to_string(info.param.rate);
                         });

// Each open string, and a note stopped on it (fret 3, in the first
// position, where a note is played on that string), beside a sampled steel
// guitar (FluidR3 GM "Acoustic Guitar (steel)" through FluidSynth, no reverb,
// no chorus): its open string's level 1 s and 2 s after the pluck, in dB
// under the note's loudest, measured as levelAt measures it.
struct StringRow {
    const char* name;
    FretboardState state;
    double hertz; // equal temperament, A4 = 440 Hz
    double sampledAt1s;
    double sampledAt2s;
    bool strongFundamental; // strings 1 to 4: their fundamental carries the note

    friend void PrintTo(const StringRow& row, std::ostream* out) { *out << row.name; }
};

// clang-format off
const StringRow kStringRows[] = {
    {"E2_open",    {{6, 6, 6, 6, 6, 0}, 1},  82.41,  -8.0, -13.0, false},
    {"E2_fret_3",  {{6, 6, 6, 6, 6, 3}, 1},  98.00,  -8.0, -13.0, false},
    {"A2_open",    {{6, 6, 6, 6, 0, 6}, 1}, 110.00, -16.0, -23.0, false},
    {"A2_fret_3",  {{6, 6, 6, 6, 3, 6}, 1}, 130.81, -16.0, -23.0, false},
    {"D3_open",    {{6, 6, 6, 0, 6, 6}, 1}, 146.83,  -4.0, -14.0, true},
    {"D3_fret_3",  {{6, 6, 6, 3, 6, 6}, 1}, 174.61,  -4.0, -14.0, true},
    {"G3_open",    {{6, 6, 0, 6, 6, 6}, 1}, 196.00, -14.0, -23.0, true},
    {"G3_fret_3",  {{6, 6, 3, 6, 6, 6}, 1}, 233.08, -14.0, -23.0, true},
    {"B3_open",    {{6, 0, 6, 6, 6, 6}, 1}, 246.94, -16.0, -22.0, true},
    {"B3_fret_3",  {{6, 3, 6, 6, 6, 6}, 1}, 293.66, -16.0, -22.0, true},
    {"E4_open",    {{0, 6, 6, 6, 6, 6}, 1}, 329.63, -14.0, -22.0, true},
    {"E4_fret_3",  {{3, 6, 6, 6, 6, 6}, 1}, 392.00, -14.0, -22.0, true},
    {"E4_fret_7",  {{1, 6, 6, 6, 6, 6}, 7}, 493.88, -14.0, -22.0, true},
};
// clang-format on

class OneString : public testing::TestWithParam<StringRow> {
protected:
    static constexpr int kRate = 48000;
    std::vector<std::int16_t> m_samples = renderFingering(GetParam().state, PlayStyle::Chord, kRate);
};

// It rings as long as the sampled guitar's string: 1 s and 2 s after the
// pluck, within 6 dB of its level either way.
TEST_P(OneString, RingsAsLongAsASampledGuitar)
{
    EXPECT_NEAR(levelAt(m_samples, kRate, 1.0), GetParam().sampledAt1s, 6.0);
    EXPECT_NEAR(levelAt(m_samples, kRate, 2.0), GetParam().sampledAt2s, 6.0);
}

TEST_P(OneString, IsInTuneWithinThreeCents)
{
    const auto pitch = estimatePitch(std::span(m_samples).subspan(kRate / 10), kRate);
    ASSERT_TRUE(pitch);
    EXPECT_NEAR(centsBetween(*pitch, GetParam().hertz), 0.0, 3.0);
}

// On the four upper strings the fundamental is no weaker than 6 dB under
// the strongest partial, from 0.2 s to 0.5 s: each partial's level by a
// Hann-windowed Goertzel filter at its frequency.
TEST_P(OneString, FundamentalIsNearTheStrongestPartial)
{
    if (!GetParam().strongFundamental)
        GTEST_SKIP() << "the low strings' second and third partials may lead";
    const auto stretch = std::span(m_samples).subspan(kRate / 5, kRate * 3 / 10);
    const auto power = [&](double hertz) {
        const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hertz / kRate);
        double s1 = 0.0, s2 = 0.0;
        for (std::size_t i = 0; i < stretch.size(); ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(stretch.size() - 1));
            const double s0 = hann * stretch[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    };
    double strongest = 0.0;
    for (int partial = 1; partial <= 12; ++partial)
        strongest = std::max(strongest, power(partial * GetParam().hertz));
    EXPECT_GT(10.0 * std::log10(power(GetParam().hertz) / strongest), -6.0);
}

INSTANTIATE_TEST_SUITE_P(Strings, OneString, testing::ValuesIn(kStringRows),
                         [](const auto& info) { return std::string(info.param.name); });

// What a sound card gets: a little below full scale, silent at the end,
// and the same every time.
TEST(PluckRender, PeaksBelowFullScaleEndsInSilenceAndRepeats)
{
    for (const auto style : {PlayStyle::Chord, PlayStyle::StringByString}) {
        for (const auto& row : kFingerings) {
            const auto samples = renderFingering(row.state, style, 48000);
            const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
            EXPECT_GT(std::max(-int(*low), int(*high)), 0.8 * 32767) << row.name;
            const auto tail = std::span(samples).last(48);
            EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](std::int16_t s) { return std::abs(s) <= 1; })) << row.name;
            EXPECT_EQ(samples.back(), 0) << row.name;
            // No click at the end either: the ring has faded out smoothly, so
            // that its last 20 ms are already near silence (RMS under a
            // thousandth of full scale).
            double energy = 0.0;
            for (std::int16_t s : std::span(samples).last(960))
                energy += double(s) * double(s);
            EXPECT_LT(std::sqrt(energy / 960.0), 32.8) << row.name;
            EXPECT_EQ(renderFingering(row.state, style, 48000), samples) << row.name;
        }
    }
}

// Every fingering of the chart, strummed and string by string: no sample
// reaches full scale either way, none is clipped, and none wraps round to
// the other sign (which shows as a leap of more than full scale from one
// sample to the next, more than any string moves in one sample).
TEST(PluckRender, NoFingeringOfTheChartClipsOrWraps)
{
    constexpr int rate = 8000;
    constexpr int headroom = 31000; // 0.95 of full scale
    for (const auto style : {PlayStyle::Chord, PlayStyle::StringByString}) {
        for (const ChordEntry& entry : chordCatalogue()) {
            const auto samples = renderFingering({entry.strings, entry.baseFret}, style, rate);
            const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
            int leap = 0; // more than 1.5 of full scale: a wrap
            for (std::size_t n = 1; n < samples.size(); ++n)
                leap = std::max(leap, std::abs(int(samples[n]) - int(samples[n - 1])));
            EXPECT_TRUE(*low > -headroom && *high < headroom && leap < 49151)
                << entry.caption << (style == PlayStyle::Chord ? " strummed" : " string by string") << ": from "
                << *low << " to " << *high << ", a leap of " << leap;
        }
    }
}

TEST(PluckRender, NothingToPlayIsNoSoundAndABadRateIsRefused)
{
    EXPECT_TRUE(renderFingering({{6, 6, 6, 6, 6, 6}, 1}, PlayStyle::Chord, 48000).empty());
    EXPECT_THROW(renderPluckedNotes(std::vector<MidiNote>{40}, PlayStyle::Chord, 0), std::invalid_argument);
    EXPECT_THROW(renderPluckedNotes(std::vector<MidiNote>{120}, PlayStyle::Chord, 8000), std::invalid_argument);
    // C6 (1047 Hz) at 8 kHz has under eight samples a period, too few for a
    // string's sound, also behind a note that has enough; B5 (988 Hz) has more.
    EXPECT_THROW(renderPluckedNotes(std::vector<MidiNote>{40, 84}, PlayStyle::Chord, 8000), std::invalid_argument);
    EXPECT_FALSE(renderPluckedNotes(std::vector<MidiNote>{83}, PlayStyle::Chord, 8000).empty());
}

} // namespace
} // namespace fretmap
