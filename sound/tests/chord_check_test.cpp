// The string-by-string check of a fingering: the verdict on each note heard,
// the words a screen reader reads for each string and the tuner, and the
// order in which the check asks for the strings.

#include "sound/chord_check.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fretmap {
namespace {

// Equal-tempered pitches at A4 = 440 Hz, from a table of note frequencies.
constexpr double kE2 = 82.41;
constexpr double kA2 = 110.00;
constexpr double kC3 = 130.81;
constexpr double kD3 = 146.83;
constexpr double kE3 = 164.81;
constexpr double kF3 = 174.61;
constexpr double kG3 = 196.00;
constexpr double kB3 = 246.94;
constexpr double kC4 = 261.63;
constexpr double kD4 = 293.66;
constexpr double kE4 = 329.63;

// Fingerings, string 1 first: C (x32010 as a guitarist writes it from the
// low E), Cm barred at the third fret, and D with two strings left out.
constexpr FretboardState kC{{0, 1, 0, 2, 3, 6}, 1};
constexpr FretboardState kCm{{1, 2, 3, 3, 1, 6}, 3};
constexpr FretboardState kD{{2, 3, 2, 0, 6, 6}, 1};

// One string of a fingering, judged on `hertz`.
struct VerdictRow {
    const char* name;
    int string;
    int fret;
    MidiNote wanted;
    double hertz;
    double referencePitch;
    const char* phrase;

    friend void PrintTo(const VerdictRow& row, std::ostream* out) { *out << row.name; }
};

class VerdictTable : public testing::TestWithParam<VerdictRow> {};

TEST_P(VerdictTable, ReadsAsTheGuitaristIsTold)
{
    const VerdictRow& row = GetParam();
    StringCheck check;
    check.string = row.string;
    check.fret = row.fret;
    check.wanted = row.wanted;
    check.status = StringStatus::Judged;
    check.verdict = judgeNote(row.wanted, row.hertz, row.referencePitch);
    EXPECT_EQ(describeStringCheck(check), row.phrase);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, VerdictTable,
    testing::Values(
        VerdictRow{"right", 5, 3, 48, kC3, 440.0, "String 5, fret 3, C3: right"},
        VerdictRow{"fifteen_cents_sharp_is_still_right", 5, 3, 48, 131.95, 440.0, "String 5, fret 3, C3: right"},
        VerdictRow{"twenty_two_cents_sharp_is_out_of_tune", 5, 3, 48, 132.49, 440.0,
                   "String 5, fret 3, C3: C3, 22 cents sharp"},
        VerdictRow{"thirty_five_cents_sharp", 5, 3, 48, 133.48, 440.0, "String 5, fret 3, C3: C3, 35 cents sharp"},
        VerdictRow{"thirty_five_cents_flat", 5, 3, 48, 128.19, 440.0, "String 5, fret 3, C3: C3, 35 cents flat"},
        VerdictRow{"forty_nine_cents_flat_is_still_the_note", 5, 3, 48, 127.16, 440.0,
                   "String 5, fret 3, C3: C3, 49 cents flat"},
        VerdictRow{"sixty_cents_sharp_is_the_next_fret", 5, 3, 48, 135.43, 440.0,
                   "String 5, fret 3, C3: C#3, one fret high"},
        VerdictRow{"one_fret_low", 2, 1, 60, kB3, 440.0, "String 2, fret 1, C4: B3, one fret low"},
        VerdictRow{"two_frets_high", 4, 0, 50, kE3, 440.0, "String 4, open, D3: E3, two frets high"},
        VerdictRow{"the_note_of_another_string", 5, 3, 48, kG3, 440.0, "String 5, fret 3, C3: G3, seven frets high"},
        VerdictRow{"an_octave_high", 6, 0, 40, kE3, 440.0, "String 6, open, E2: E3, twelve frets high"},
        VerdictRow{"past_the_octave_in_digits", 6, 0, 40, kF3, 440.0, "String 6, open, E2: F3, 13 frets high"},
        VerdictRow{"the_chart_spells_flats", 2, 4, 63, kD4, 440.0, "String 2, fret 4, Eb4: D4, one fret low"},
        // 110 Hz is A2 only at A4 = 440 Hz; against 432 Hz it is sharp.
        VerdictRow{"a4_at_432_hz_right", 5, 0, 45, 108.00, 432.0, "String 5, open, A2: right"},
        VerdictRow{"a4_at_432_hz_sharp", 5, 0, 45, kA2, 432.0, "String 5, open, A2: A2, 32 cents sharp"},
        VerdictRow{"no_pitch_at_all", 3, 0, 55, 0.0, 440.0, "String 3, open, G3: not heard"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TunerRow {
    const char* name;
    TunerReading reading;
    const char* phrase;

    friend void PrintTo(const TunerRow& row, std::ostream* out) { *out << row.name; }
};

class TunerPhrase : public testing::TestWithParam<TunerRow> {};

TEST_P(TunerPhrase, ReadsAsATunerShowsIt)
{
    EXPECT_EQ(describeTunerReading(GetParam().reading), GetParam().phrase);
}

INSTANTIATE_TEST_SUITE_P(Readings, TunerPhrase,
                         testing::Values(TunerRow{"flat", {45, -12.0, 5}, "A2, 12 cents flat"},
                                         TunerRow{"in_tune", {40, 3.0, 6}, "E2, in tune"},
                                         TunerRow{"five_cents_flat_is_in_tune", {40, -5.0, 6}, "E2, in tune"},
                                         TunerRow{"just_past_in_tune", {70, 6.4, 1}, "Bb4, 6 cents sharp"},
                                         TunerRow{"sharp_names", {54, 10.0, 4}, "F#3, 10 cents sharp"},
                                         TunerRow{"half_way", {66, -49.6, 1}, "F#4, 50 cents flat"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A step the guitarist or the clock takes during a check.
struct Step {
    enum class Kind {
        Hear,
        Elapse,
        Restart
    };
    Kind kind;
    double seconds;     // when the note settled, the clock's time, or the restart's
    double hertz = 0.0; // Hear: the note's pitch
    double onset = 0.0; // Hear: when the note began
};

Step heard(double hertz, double onset) { return {Step::Kind::Hear, onset + 0.1, hertz, onset}; }
Step clock(double seconds) { return {Step::Kind::Elapse, seconds}; }
Step startAgain(double seconds) { return {Step::Kind::Restart, seconds}; }

struct CheckRow {
    const char* name;
    FretboardState state;
    std::vector<Step> steps;
    std::array<const char*, kStringCount> rows; // string 1 first
    std::optional<int> next;                    // the string to play now
    const char* summary;

    friend void PrintTo(const CheckRow& row, std::ostream* out) { *out << row.name; }
};

class StringByString : public testing::TestWithParam<CheckRow> {};

TEST_P(StringByString, RowsAndSummary)
{
    const CheckRow& row = GetParam();
    ChordCheck check(row.state);
    for (const Step& step : row.steps) {
        switch (step.kind) {
        case Step::Kind::Hear:
            check.hear(step.hertz, step.onset, step.seconds);
            break;
        case Step::Kind::Elapse:
            check.elapse(step.seconds);
            break;
        case Step::Kind::Restart:
            check.restart(step.seconds);
            break;
        }
    }
    for (std::size_t i = 0; i < kStringCount; ++i)
        EXPECT_EQ(describeStringCheck(check.strings()[i]), row.rows[i]) << "string " << i + 1;
    EXPECT_EQ(check.current(), row.next);
    EXPECT_EQ(check.finished(), !row.next);
    EXPECT_EQ(check.summary(), row.summary);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, StringByString,
    testing::Values(
        CheckRow{"c_before_a_note",
                 kC,
                 {},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: waiting", "String 5, fret 3, C3: play it now", "String 6: not played"},
                 5,
                 ""},
        CheckRow{"d_starts_on_string_4",
                 kD,
                 {},
                 {"String 1, fret 2, F#4: waiting", "String 2, fret 3, D4: waiting", "String 3, fret 2, A3: waiting",
                  "String 4, open, D3: play it now", "String 5: not played", "String 6: not played"},
                 4,
                 ""},
        CheckRow{"the_mark_moves_up_a_string",
                 kC,
                 {heard(kC3, 1.0)},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: play it now", "String 5, fret 3, C3: right", "String 6: not played"},
                 4,
                 ""},
        CheckRow{"c_all_right",
                 kC,
                 {heard(kC3, 1.0), heard(kE3, 2.0), heard(kG3, 3.0), heard(kC4, 4.0), heard(kE4, 5.0)},
                 {"String 1, open, E4: right", "String 2, fret 1, C4: right", "String 3, open, G3: right",
                  "String 4, fret 2, E3: right", "String 5, fret 3, C3: right", "String 6: not played"},
                 std::nullopt,
                 "5 of 5 strings right"},
        CheckRow{"c_with_string_2_a_fret_low",
                 kC,
                 {heard(kC3, 1.0), heard(kE3, 2.0), heard(kG3, 3.0), heard(kB3, 4.0), heard(kE4, 5.0)},
                 {"String 1, open, E4: right", "String 2, fret 1, C4: B3, one fret low", "String 3, open, G3: right",
                  "String 4, fret 2, E3: right", "String 5, fret 3, C3: right", "String 6: not played"},
                 std::nullopt,
                 "4 of 5 strings right; string 2 one fret low"},
        CheckRow{"cm_with_faults_in_the_order_played",
                 kCm,
                 {heard(kC3, 1.0), heard(200.00, 2.0), heard(kC4, 3.0), heard(kD4, 4.0), clock(9.2)},
                 {"String 1, fret 3, G4: not heard", "String 2, fret 4, Eb4: D4, one fret low",
                  "String 3, fret 5, C4: right", "String 4, fret 5, G3: G3, 35 cents sharp",
                  "String 5, fret 3, C3: right", "String 6: not played"},
                 std::nullopt,
                 "2 of 5 strings right; string 4 35 cents sharp; string 2 one fret low; string 1 not heard"},
        // The string before still rings when its verdict is written; the
        // listener may take up that sound again as a note of its own.
        CheckRow{"a_note_from_before_the_turn_is_passed_over",
                 kC,
                 {heard(kC3, 1.0), {Step::Kind::Hear, 1.3, kC3, 1.05}, heard(kE3, 2.0)},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: play it now",
                  "String 4, fret 2, E3: right", "String 5, fret 3, C3: right", "String 6: not played"},
                 3,
                 ""},
        CheckRow{"not_heard_after_five_seconds_of_its_turn",
                 kC,
                 {clock(4.9), clock(5.0)},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: play it now", "String 5, fret 3, C3: not heard", "String 6: not played"},
                 4,
                 ""},
        // The turn of the next string starts when the verdict before it is
        // written, not when the check started.
        CheckRow{"the_wait_counts_from_the_verdict_before",
                 kC,
                 {heard(kC3, 3.0), clock(8.0)},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: play it now", "String 5, fret 3, C3: right", "String 6: not played"},
                 4,
                 ""},
        CheckRow{"a_note_after_the_end_changes_nothing",
                 kD,
                 {clock(60.0), heard(kD3, 61.0)},
                 {"String 1, fret 2, F#4: not heard", "String 2, fret 3, D4: not heard",
                  "String 3, fret 2, A3: not heard", "String 4, open, D3: not heard", "String 5: not played",
                  "String 6: not played"},
                 std::nullopt,
                 "0 of 4 strings right; string 4 not heard; string 3 not heard; string 2 not heard; string 1 not heard"},
        // Started again, from the lowest string, with what was struck
        // before the restart passed over.
        CheckRow{"start_again",
                 kC,
                 {heard(kC3, 1.0), heard(kE3, 2.0), startAgain(2.5), {Step::Kind::Hear, 2.6, kE3, 2.4}},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: waiting", "String 5, fret 3, C3: play it now", "String 6: not played"},
                 5,
                 ""},
        CheckRow{"start_again_after_the_end",
                 kC,
                 {clock(30.0), startAgain(31.0), heard(kE2, 31.5)},
                 {"String 1, open, E4: waiting", "String 2, fret 1, C4: waiting", "String 3, open, G3: waiting",
                  "String 4, fret 2, E3: play it now", "String 5, fret 3, C3: E2, eight frets low",
                  "String 6: not played"},
                 4,
                 ""}),
    [](const auto& info) { return std::string(info.param.name); });

// No chord on the board: there is nothing to check and nothing to say.
TEST(ChordCheck, WithoutAChordHearsNothing)
{
    ChordCheck check;
    EXPECT_FALSE(check.hasChord());
    EXPECT_FALSE(check.hear(kC3, 1.0, 1.1));
    EXPECT_FALSE(check.elapse(60.0));
    EXPECT_EQ(check.current(), std::nullopt);
    EXPECT_EQ(check.summary(), "");
}

// What the window speaks on: a verdict written reports true, once.
TEST(ChordCheck, SaysWhenAVerdictIsWritten)
{
    ChordCheck check(kC);
    EXPECT_FALSE(check.hear(kC3, -1.0, 0.5)); // struck before the check began
    EXPECT_FALSE(check.elapse(4.99));
    EXPECT_TRUE(check.hear(kC3, 1.0, 1.1));
    EXPECT_FALSE(check.elapse(6.0));
    EXPECT_TRUE(check.elapse(6.2));
    EXPECT_FALSE(check.elapse(6.2));
}

} // namespace
} // namespace fretmap
