// Takes in the program's own voice replayed through a listening session, as
// the listening window feeds it: the rows, the summary and what is said,
// in order.

#include "sound/listen_session.h"

#include "sound/pluck.h"
#include "sound/tests/hard_notes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fretmap {
namespace {

using listening::hard_notes::fromPcm;

constexpr FretboardState kC{{0, 1, 0, 2, 3, 6}, 1};

// Rendered at a rate that much lower and heard at `rate`, the sound is
// that much higher.
int renderRate(int rate, double cents)
{
    return static_cast<int>(std::lround(rate / std::exp2(cents / 1200.0)));
}

// The fingering as the program plays it string by string, every string
// `cents` off.
std::vector<float> fingering(const FretboardState& state, int rate, double cents = 0.0)
{
    return fromPcm(renderFingering(state, PlayStyle::StringByString, renderRate(rate, cents)));
}

struct Played {
    MidiNote note;
    double cents = 0.0;
};

// A guitarist's turn at each string in turn: a moment's quiet, then the
// string plucked and let ring for a second.
std::vector<float> turns(std::initializer_list<Played> strings, int rate)
{
    std::vector<float> sound;
    for (const Played& string : strings) {
        sound.resize(sound.size() + static_cast<std::size_t>(0.3 * rate));
        const MidiNote notes[] = {string.note};
        const std::vector<float> pluck = fromPcm(renderPluckedNotes(notes, PlayStyle::Chord, renderRate(rate, string.cents)));
        sound.insert(sound.end(), pluck.begin(), pluck.begin() + std::min<std::ptrdiff_t>(rate, std::ssize(pluck)));
    }
    return sound;
}

// Hard notes, a second apart, each left ringing under the next as a
// guitarist holding the chord shape picks one string after another; with
// a small room's echo and noise 20 dB under the notes where asked.
std::vector<float> ringing(std::initializer_list<MidiNote> notes, const std::vector<double>& partials, int rate,
                           bool roomAndNoise = false)
{
    std::vector<float> sound(static_cast<std::size_t>((0.3 + double(notes.size())) * rate), 0.0F);
    std::uint32_t seed = 11;
    std::size_t start = static_cast<std::size_t>(0.3 * rate);
    for (MidiNote note : notes) {
        listening::hard_notes::addTone(sound, listening::hard_notes::plucked(note, partials), start, rate, seed++);
        start += static_cast<std::size_t>(rate);
    }
    if (!roomAndNoise)
        return sound;
    std::vector<float> wet = listening::hard_notes::reverberate(sound, rate, 0.4, 47);
    listening::hard_notes::addNoise(wet, 20.0, 53);
    return wet;
}

// The C chord's notes as hard notes, a second apart, left ringing; string
// 4's E3 `cents` sharp, its pluck starting 30 cents sharper still and
// settling over some 0.2 s, as a sampled nylon string's does.
std::vector<float> slowlySettlingE3(double cents, int rate)
{
    namespace hn = listening::hard_notes;
    std::vector<float> sound(static_cast<std::size_t>(5.3 * rate), 0.0F);
    std::uint32_t seed = 11;
    std::size_t start = static_cast<std::size_t>(0.3 * rate);
    for (MidiNote note : {48, 52, 55, 60, 64}) {
        hn::Tone tone = hn::plucked(note);
        if (note == 52) {
            tone.cents = cents;
            tone.sharpCents = 30.0;
            tone.glideSeconds = 0.06;
        }
        hn::addTone(sound, tone, start, rate, seed++);
        start += static_cast<std::size_t>(rate);
    }
    return sound;
}

// The strum lasts from kStrumAt to its last string, `gapMs` apart.
constexpr double kStrumAt = 0.5;

// Hard notes strummed once and left ringing, lowest first or, upward,
// highest first, in a small room and noise where asked.
std::vector<float> strummed(std::vector<MidiNote> lowestFirst, double gapMs, bool upward, int rate, bool roomAndNoise = false)
{
    if (upward)
        std::reverse(lowestFirst.begin(), lowestFirst.end());
    std::vector<float> sound(static_cast<std::size_t>(2.5 * rate), 0.0F);
    std::uint32_t seed = 23;
    double at = kStrumAt;
    for (MidiNote note : lowestFirst) {
        listening::hard_notes::addTone(sound, listening::hard_notes::plucked(note), static_cast<std::size_t>(at * rate), rate, seed++);
        at += gapMs / 1000.0;
    }
    if (!roomAndNoise)
        return sound;
    std::vector<float> wet = listening::hard_notes::reverberate(sound, rate, 0.4, 47);
    listening::hard_notes::addNoise(wet, 20.0, 53);
    return wet;
}

// A tone with a few harmonics gliding evenly in pitch from `from` to `to`
// Hz over `seconds`; steady when the two are the same.
std::vector<float> tone(double from, double to, double seconds, int rate)
{
    std::vector<float> sound(static_cast<std::size_t>(seconds * rate));
    double phase = 0.0; // in cycles of the fundamental
    for (std::size_t n = 0; n < sound.size(); ++n) {
        double value = 0.0;
        for (int partial = 1; partial <= 4; ++partial)
            value += std::sin(2.0 * std::numbers::pi * partial * phase) / partial;
        sound[n] = static_cast<float>(0.3 * value);
        phase += from * std::pow(to / from, static_cast<double>(n) / rate / seconds) / rate;
    }
    return sound;
}

// What a session said, and when, in seconds of sound.
struct Replay {
    std::vector<std::string> said;
    std::vector<double> when;
};

void record(const ListenUpdate& update, const ListenSession& session, Replay& replay)
{
    for (const std::string& text : update.said) {
        replay.said.push_back(text);
        replay.when.push_back(session.seconds());
    }
}

// `sound` and a second of quiet after it, fed in blocks of `blockMs`, as
// a window's polls take what arrived.
Replay replay(ListenSession& session, std::vector<float> sound, int rate, double blockMs)
{
    Replay replayed;
    record(session.start(rate), session, replayed);
    sound.resize(sound.size() + static_cast<std::size_t>(rate));
    const auto block = static_cast<std::size_t>(blockMs * rate / 1000.0);
    for (std::size_t from = 0; from < sound.size(); from += block)
        record(session.feed(std::span(sound).subspan(from, std::min(block, sound.size() - from))), session, replayed);
    return replayed;
}

// ---------------------------------------------------------------------------
// C checked string by string

struct TakeRow {
    const char* name;
    double referencePitch; // set before the chord is shown
    std::vector<float> (*sound)(int rate);
    int rate;
    double blockMs;
    std::vector<std::string> rows; // string 1 first
    std::string summary;
    std::vector<std::string> said; // up to the summary
    double lastStringAt = 0.0;     // a strum's, whose summary comes within a second

    friend void PrintTo(const TakeRow& row, std::ostream* out) { *out << row.name; }
};

const std::vector<std::string> kAllRight{"String 1, open, E4: right", "String 2, fret 1, C4: right",
                                         "String 3, open, G3: right", "String 4, fret 2, E3: right",
                                         "String 5, fret 3, C3: right", "String 6: not played"};
const std::vector<std::string> kAllRightSaid{"String 5, fret 3, C3: play it now",
                                             "String 5, fret 3, C3: right. String 4, fret 2, E3: play it now",
                                             "String 4, fret 2, E3: right. String 3, open, G3: play it now",
                                             "String 3, open, G3: right. String 2, fret 1, C4: play it now",
                                             "String 2, fret 1, C4: right. String 1, open, E4: play it now",
                                             "String 1, open, E4: right. 5 of 5 strings right"};

const std::vector<std::string> kStrumRight = kAllRight;
const std::vector<std::string> kStrumUntold{"String 1, open, E4: can't tell in a strum", "String 2, fret 1, C4: can't tell in a strum",
                                            "String 3, open, G3: right", "String 4, fret 2, E3: right",
                                            "String 5, fret 3, C3: right", "String 6: not played"};
const std::string kStrumUntoldSummary = "Strum: 3 of 5 strings right; string 2 can't tell in a strum: play it alone; "
                                        "string 1 can't tell in a strum: play it alone";

// The all-right lines with one string's verdict and the summary changed.
std::vector<std::string> withFault(std::vector<std::string> lines, const std::string& right, const std::string& fault,
                                   const std::string& summary)
{
    const auto replace = [](std::string& line, const std::string& from, const std::string& to) {
        if (const auto at = line.find(from); at != std::string::npos)
            line.replace(at, from.size(), to);
    };
    for (std::string& line : lines) {
        replace(line, right, fault);
        replace(line, "5 of 5 strings right", summary);
    }
    return lines;
}

const std::string kLowSummary = "4 of 5 strings right; string 2 one fret low";
const std::string kLow = "String 2, fret 1, C4: B3, one fret low";
const std::string kSharpSummary = "4 of 5 strings right; string 4 35 cents sharp";
const std::string kSharp = "String 4, fret 2, E3: E3, 35 cents sharp";
const std::string kEdgeSummary = "4 of 5 strings right; string 4 45 cents sharp";
const std::string kEdge = "String 4, fret 2, E3: E3, 45 cents sharp";
const std::string kRight2 = "String 2, fret 1, C4: right";
const std::string kRight4 = "String 4, fret 2, E3: right";

// clang-format off
const TakeRow kTakes[] = {
    {"played_right", 440, [](int rate) { return fingering(kC, rate); }, 48000, 10, kAllRight, "5 of 5 strings right", kAllRightSaid},
    // A desktop too busy to poll on time: the verdicts are the same.
    {"a_quarter_second_taken_at_a_time", 440, [](int rate) { return fingering(kC, rate); }, 48000, 250, kAllRight, "5 of 5 strings right", kAllRightSaid},
    // Blocks that end inside the steps of 10 ms.
    {"blocks_of_7_ms_at_44k", 440, [](int rate) { return fingering(kC, rate); }, 44100, 7, kAllRight, "5 of 5 strings right", kAllRightSaid},
    // A guitar tuned to A4 = 432 Hz, checked against 432 Hz.
    {"A4_432_applies_to_the_chord_shown_after", 432, [](int rate) { return fingering(kC, rate, 1200.0 * std::log2(432.0 / 440.0)); }, 48000, 10, kAllRight, "5 of 5 strings right", kAllRightSaid},
    // A fault changes its own row, the notice that says it, and the summary.
    {"string_2_a_fret_low", 440, [](int rate) { return turns({{48}, {52}, {55}, {59}, {64}}, rate); }, 48000, 10,
     withFault(kAllRight, kRight2, kLow, kLowSummary), kLowSummary, withFault(kAllRightSaid, kRight2, kLow, kLowSummary)},
    {"string_4_35_cents_sharp", 440, [](int rate) { return turns({{48}, {52, 35}, {55}, {60}, {64}}, rate); }, 48000, 10,
     withFault(kAllRight, kRight4, kSharp, kSharpSummary), kSharpSummary, withFault(kAllRightSaid, kRight4, kSharp, kSharpSummary)},
    // Near halfway to the next fret, read once the pluck's sharp start has
    // passed (43 cents, still lifted a little by its tail): not a fret high.
    {"string_4_43_cents_sharp_settling_slowly", 440, [](int rate) { return slowlySettlingE3(43.0, rate); }, 48000, 10,
     withFault(kAllRight, kRight4, kEdge, kEdgeSummary), kEdgeSummary, withFault(kAllRightSaid, kRight4, kEdge, kEdgeSummary)},
    // Strings left ringing: C3's and E3's second partials are the C4 and E4
    // of strings 2 and 1, the third partial leads and the fundamental is
    // faint. Each string is named among the notes it can sound, from what
    // its pluck added.
    {"left_ringing_fundamentals_25_dB_under", 440, [](int rate) { return ringing({48, 52, 55, 60, 64}, listening::hard_notes::kWeakFundamental, rate); }, 48000, 10,
     kAllRight, "5 of 5 strings right", kAllRightSaid},
    {"left_ringing_in_a_room_in_noise", 440, [](int rate) { return ringing({48, 52, 55, 60, 64}, listening::hard_notes::kGuitar, rate, true); }, 44100, 10,
     kAllRight, "5 of 5 strings right", kAllRightSaid},
    {"left_ringing_string_2_a_fret_low", 440, [](int rate) { return ringing({48, 52, 55, 59, 64}, listening::hard_notes::kOctaveUp, rate); }, 48000, 10,
     withFault(kAllRight, kRight2, kLow, kLowSummary), kLowSummary, withFault(kAllRightSaid, kRight2, kLow, kLowSummary)},
    // Strummed at any moment of the check: judged whole, the summary said as one notice.
    {"strummed_down_30_ms_apart", 440, [](int rate) { return strummed({48, 52, 55, 60, 64}, 30, false, rate); }, 48000, 10,
     kStrumRight, "Strum: 5 of 5 strings right", {"String 5, fret 3, C3: play it now", "Strum: 5 of 5 strings right"}, kStrumAt + 0.12},
    // The room blurs strikes 15 ms apart: C4 over C3 and E4 over E3 cannot be told, and are named last.
    {"strummed_up_15_ms_apart_in_a_room_in_noise", 440, [](int rate) { return strummed({48, 52, 55, 60, 64}, 15, true, rate, true); }, 44100, 10,
     kStrumUntold, kStrumUntoldSummary, {"String 5, fret 3, C3: play it now", kStrumUntoldSummary}, kStrumAt + 0.06},
    {"strummed_50_ms_apart_string_2_a_fret_low", 440, [](int rate) { return strummed({48, 52, 55, 59, 64}, 50, false, rate); }, 48000, 10,
     withFault(kStrumRight, kRight2, kLow, kLowSummary), "Strum: " + kLowSummary, {"String 5, fret 3, C3: play it now", "Strum: " + kLowSummary}, kStrumAt + 0.2},
};
// clang-format on

class ChordTake : public testing::TestWithParam<TakeRow> {};

// The rows and the summary once played, and each notice in order: the
// tuner keeps quiet while the check waits for a string, and for a second
// after the summary, so that a screen reader reads it whole.
TEST_P(ChordTake, GivesTheRowsTheSummaryAndTheNoticesInOrder)
{
    const TakeRow& row = GetParam();
    ListenSession session;
    session.setReferencePitch(row.referencePitch);
    session.setBoard(BoardContent::Chord, kC);
    const Replay replayed = replay(session, row.sound(row.rate), row.rate, row.blockMs);

    const auto rows = session.rows();
    EXPECT_EQ(std::vector(rows.begin(), rows.end()), row.rows);
    EXPECT_EQ(session.summary(), row.summary);
    ASSERT_GE(replayed.said.size(), row.said.size());
    EXPECT_EQ(std::vector(replayed.said.begin(), replayed.said.begin() + std::ssize(row.said)), row.said);
    const double summaryAt = replayed.when[row.said.size() - 1];
    for (std::size_t i = row.said.size(); i < replayed.said.size(); ++i)
        EXPECT_GE(replayed.when[i] - summaryAt, 1.0) << replayed.said[i] << " came with the summary";
    if (row.lastStringAt > 0.0) {
        EXPECT_LE(summaryAt - row.lastStringAt, 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(C, ChordTake, testing::ValuesIn(kTakes),
                         [](const testing::TestParamInfo<TakeRow>& info) { return std::string(info.param.name); });

// A strum stands in the rows' place until Start again; then the strings
// are checked one at a time from the lowest again.
TEST(ListenSession, StartAgainAfterAStrumChecksStringByString)
{
    constexpr int kRate = 48000;
    ListenSession session;
    session.setBoard(BoardContent::Chord, kC);
    replay(session, strummed({48, 52, 55, 60, 64}, 30, false, kRate), kRate, 10);
    ASSERT_TRUE(session.strum());
    const auto stood = session.rows();
    session.feed(turns({{48}}, kRate)); // a single string is not judged over the strum
    EXPECT_EQ(session.rows(), stood);

    const ListenUpdate again = session.startAgain();
    EXPECT_FALSE(session.strum());
    EXPECT_EQ(again.said, std::vector<std::string>{"String 5, fret 3, C3: play it now"});
    session.feed(turns({{48}}, kRate));
    EXPECT_EQ(session.rows()[4], "String 5, fret 3, C3: right");
    EXPECT_EQ(session.summary(), "Play the strings one at a time, the lowest first");
}

// ---------------------------------------------------------------------------
// The tuner's words with nothing to check

struct TunerRow {
    const char* name;
    std::vector<float> (*sound)(int rate);
    std::size_t fewest; // readings said
    std::size_t most;

    friend void PrintTo(const TunerRow& row, std::ostream* out) { *out << row.name; }
};

// clang-format off
const TunerRow kTunerTakes[] = {
    {"a_steady_note_is_said_once", [](int rate) { return tone(220.0, 220.0, 4.0, rate); }, 1, 1},
    // A3 from 10 cents flat to 40 cents sharp, 12.5 cents a second: a new
    // reading every 0.4 s, were it not for the pause of a second between two.
    {"a_gliding_note_once_a_second_at_most", [](int rate) { return tone(218.74, 225.14, 4.0, rate); }, 3, 5},
    {"the_same_note_struck_again_is_said_again", [](int rate) {
         std::vector<float> sound = tone(220.0, 220.0, 1.5, rate);
         sound.resize(sound.size() + static_cast<std::size_t>(2 * rate));
         const std::vector<float> again = tone(220.0, 220.0, 1.5, rate);
         sound.insert(sound.end(), again.begin(), again.end());
         return sound;
     }, 2, 2},
};
// clang-format on

class TunerTake : public testing::TestWithParam<TunerRow> {};

// When it takes a note and when the note moves 5 cents, never more than
// once a second of sound.
TEST_P(TunerTake, SaysWhatIsNewAtMostOnceASecond)
{
    const TunerRow& row = GetParam();
    constexpr int kRate = 48000;
    ListenSession session;
    const Replay replayed = replay(session, row.sound(kRate), kRate, 100);

    ASSERT_FALSE(replayed.said.empty());
    EXPECT_EQ(replayed.said.front(), "No chord shown: nothing to check");
    const std::vector readings(replayed.said.begin() + 1, replayed.said.end());
    EXPECT_GE(readings.size(), row.fewest) << testing::PrintToString(readings);
    EXPECT_LE(readings.size(), row.most) << testing::PrintToString(readings);
    for (const std::string& reading : readings)
        EXPECT_EQ(reading.substr(0, 4), "A3, ") << reading;
}

INSTANTIATE_TEST_SUITE_P(A3, TunerTake, testing::ValuesIn(kTunerTakes),
                         [](const testing::TestParamInfo<TunerRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Starting and stopping

TEST(ListenSession, ARateTheAnalysisCannotUseIsRefused)
{
    ListenSession session;
    EXPECT_THROW(session.start(4000), std::invalid_argument);
    EXPECT_FALSE(session.listening());
    EXPECT_TRUE(session.feed(tone(220.0, 220.0, 0.5, 4000)).said.empty());
}

// Stopped, the session keeps nothing heard: no reading, no level, and the
// next start counts the sound from nothing.
TEST(ListenSession, StoppingKeepsNothingHeard)
{
    constexpr int kRate = 48000;
    ListenSession session;
    session.start(kRate);
    session.feed(tone(220.0, 220.0, 1.0, kRate));
    ASSERT_EQ(session.tunerPhrase(), "A3, in tune");

    const ListenUpdate stopped = session.stop();
    EXPECT_TRUE(stopped.tunerChanged);
    EXPECT_EQ(session.tunerPhrase(), "No note");
    EXPECT_FALSE(session.level());
    EXPECT_EQ(session.seconds(), 0.0);
    session.start(kRate);
    EXPECT_EQ(session.tunerPhrase(), "No note");
}

} // namespace
} // namespace fretmap
