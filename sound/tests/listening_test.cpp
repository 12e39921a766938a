#include "fretboard/fretboard_view.h"
#include "sound/note_listener.h"
#include "sound/pluck.h"
#include "sound/tests/hard_notes.h"
#include "sound/tests/note_analysis.h"
#include "sound/tuner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

namespace fretmap {
namespace {

using listening::centsBetween;
using listening::frequencyOf;
using namespace listening::hard_notes;

// ---------------------------------------------------------------------------
// The pitch of one stretch

struct StretchRow {
    const char* name;
    int rate;
    Tone tone;
    std::optional<double> snrDb;
    double centsTolerance = 1.0;

    friend void PrintTo(const StretchRow& row, std::ostream* out) { *out << row.name; }
};

// clang-format off
const StretchRow kStretches[] = {
    // Every open string and its 12th fret, steel strings (the wound ones
    // less stiff), at both rates.
    {"E2_open",   48000, {40, kGuitar, 1e-4}, {}},
    {"A2_open",   44100, {45, kGuitar, 1e-4}, {}},
    {"D3_open",   48000, {50, kGuitar, 1.5e-4}, {}},
    {"G3_open",   44100, {55, kGuitar, 2e-4}, {}},
    {"B3_open",   48000, {59, kGuitar, 3e-4}, {}},
    {"E4_open",   44100, {64, kGuitar, 4e-4}, {}},
    {"E3_fret12", 44100, {52, kGuitar, 1e-4}, {}},
    {"A3_fret12", 48000, {57, kGuitar, 1e-4}, {}},
    {"D4_fret12", 44100, {62, kGuitar, 1.5e-4}, {}},
    {"G4_fret12", 48000, {67, kGuitar, 2e-4}, {}},
    {"B4_fret12", 44100, {71, kGuitar, 3e-4}, {}},
    {"E5_fret12", 48000, {76, kGuitar, 4e-4}, {}},
    {"B5_above_the_frets", 48000, {83, kGuitar, 4e-4}, {}},
    // The traps: a stiff string's sharp partials, a fundamental far under
    // its partials, noise.
    {"E2_stiffest_many_partials", 44100, {40, {0, -1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11}, 4e-4}, {}},
    {"E4_stiffest_many_partials", 48000, {64, {-6, 0, -2, -3, -4, -5, -6, -7}, 4e-4}, {}},
    {"E2_fundamental_25dB_under_third", 48000, {40, kWeakFundamental, 1e-4}, {}},
    {"E2_fundamental_25dB_under_third_44k", 44100, {40, kWeakFundamental, 4e-4}, {}},
    {"A2_fundamental_25dB_under_third", 48000, {45, kWeakFundamental, 2e-4}, {}},
    {"E2_second_partial_leads", 48000, {40, kOctaveUp, 1e-4}, {}},
    {"E2_odd_partials_faint", 44100, {40, kOddPartialsFaint, 1e-4}, {}},
    // Both traps at once: the fundamental is then told by the second
    // partial too.
    {"E2_weak_fundamental_in_noise", 48000, {40, kWeakFundamental, 1e-4}, 20.0},
    {"A2_weak_fundamental_in_noise", 44100, {45, kWeakFundamental, 1e-4}, 20.0},
    {"E3_weak_fundamental_in_noise", 48000, {52, kWeakFundamental, 1e-4}, 20.0},
    {"E2_in_noise", 44100, {40, kGuitar, 1e-4}, 20.0},
    {"B3_in_noise", 48000, {59, kGuitar, 3e-4}, 20.0},
    {"E5_in_noise", 44100, {76, kGuitar, 4e-4}, 20.0},
    {"G3_nylon", 44100, {55, kNylon, 2e-5}, {}},
    {"E2_nylon_in_noise", 48000, {40, kNylon, 2e-5}, 20.0},
};
// clang-format on

class PitchOfAStretch : public testing::TestWithParam<StretchRow> {};

// 300 ms of a steady note, past its attack: the fundamental within a cent,
// with no octave error.
TEST_P(PitchOfAStretch, IsTheFundamentalWithinACent)
{
    const StretchRow& row = GetParam();
    std::vector<float> sound(static_cast<std::size_t>(0.45 * row.rate), 0.0F);
    addTone(sound, row.tone, 0, row.rate, 7);
    if (row.snrDb)
        addNoise(sound, *row.snrDb, 11);
    const auto stretch = std::span(sound).subspan(static_cast<std::size_t>(0.15 * row.rate));

    const auto pitch = estimatePitch(stretch, row.rate);
    ASSERT_TRUE(pitch);
    EXPECT_NEAR(centsBetween(pitch->frequency, fundamentalOf(row.tone)), 0.0, row.centsTolerance);
    EXPECT_GT(pitch->clarity, 0.8);
}

INSTANTIATE_TEST_SUITE_P(HardNotes, PitchOfAStretch, testing::ValuesIn(kStretches),
                         [](const auto& info) { return std::string(info.param.name); });

struct NoPitchRow {
    const char* name;
    std::vector<float> samples;

    friend void PrintTo(const NoPitchRow& row, std::ostream* out) { *out << row.name; }
};

std::vector<float> sine(double hertz, double seconds, int rate)
{
    std::vector<float> samples(static_cast<std::size_t>(seconds * rate));
    for (std::size_t n = 0; n < samples.size(); ++n)
        samples[n] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hertz * double(n) / rate));
    return samples;
}

std::vector<float> noiseOnly(double seconds, int rate)
{
    std::vector<float> samples(static_cast<std::size_t>(seconds * rate), 0.0F);
    samples.front() = 0.1F; // a level for the noise to stand under
    addNoise(samples, -20.0, 5);
    return samples;
}

class NoPitch : public testing::TestWithParam<NoPitchRow> {};

TEST_P(NoPitch, StandsOut)
{
    EXPECT_FALSE(estimatePitch(GetParam().samples, 48000));
}

INSTANTIATE_TEST_SUITE_P(Stretches, NoPitch,
                         testing::Values(NoPitchRow{"silence", std::vector<float>(9600, 0.0F)},
                                         NoPitchRow{"white_noise", noiseOnly(0.2, 48000)},
                                         NoPitchRow{"hum_under_the_lowest_string", sine(45.0, 0.3, 48000)},
                                         NoPitchRow{"too_short_for_a_period", sine(440.0, 0.0004, 48000)},
                                         NoPitchRow{"nothing", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NoteListener, RefusesARateItCannotListenAt)
{
    for (int rate : {0, -44100, 7999, 1000000})
        EXPECT_THROW(NoteListener{rate}, std::invalid_argument) << rate;
    EXPECT_THROW(estimatePitch(sine(440.0, 0.1, 48000), 0), std::invalid_argument);
    EXPECT_EQ(NoteListener{44100}.sampleRate(), 44100);
}

// ---------------------------------------------------------------------------
// Notes followed as they come

struct Played {
    double onset; // seconds
    Tone tone;
};

struct TrackRow {
    const char* name;
    int rate;
    std::vector<Played> played;
    std::optional<double> snrDb;
    std::optional<double> rt60;
    double centsTolerance = 1.0;
    double latestSettle = 0.150; // seconds after the onset
    // A moment the recording lost: its samples skipped, or heard as silence,
    // as a sound server's overrun or underrun gives them.
    struct Dropout {
        double at = 0.0;
        double length = 0.0; // seconds; none when 0
        bool silent = false;
    } dropout{};

    friend void PrintTo(const TrackRow& row, std::ostream* out) { *out << row.name; }
};

std::vector<float> perform(const TrackRow& row)
{
    const double last = row.played.empty() ? 0.0 : row.played.back().onset;
    std::vector<float> sound(static_cast<std::size_t>((last + 1.2) * row.rate), 0.0F);
    std::uint32_t seed = 1;
    for (const Played& p : row.played)
        addTone(sound, p.tone, static_cast<std::size_t>(p.onset * row.rate), row.rate, ++seed);
    if (row.rt60)
        sound = reverberate(sound, row.rate, *row.rt60, 3);
    if (row.snrDb)
        addNoise(sound, *row.snrDb, 13);
    const auto from = sound.begin() + static_cast<std::ptrdiff_t>(row.dropout.at * row.rate);
    const auto to = from + static_cast<std::ptrdiff_t>(row.dropout.length * row.rate);
    if (row.dropout.silent)
        std::fill(from, to, 0.0F);
    else
        sound.erase(from, to);
    return sound;
}

// When a note was struck in what the listener hears, after any samples lost.
double heardOnset(const TrackRow& row, const Played& played)
{
    const bool skippedBefore = !row.dropout.silent && row.dropout.at < played.onset;
    return played.onset - (skippedBefore ? row.dropout.length : 0.0);
}

// clang-format off
const TrackRow kTracks[] = {
    {"E2_plucked", 48000, {{0.2, plucked(40, kGuitar, 1e-4)}}, {}, {}},
    {"E4_plucked_44k_in_noise", 44100, {{0.3, plucked(64, kGuitar, 4e-4)}}, 20.0, {}, 2.0},
    {"E2_weak_fundamental_in_noise", 48000, {{0.1, plucked(40, kWeakFundamental, 1e-4)}}, 20.0, {}, 2.0},
    // In a room the echoes swing the pitch while they build up: the note
    // settles later, and less exactly.
    {"E5_fret12_in_a_room", 44100, {{0.25, plucked(76, kGuitar, 4e-4)}}, {}, 0.4, 2.0, 0.2},
    // The open strings one after another, each still ringing as the next
    // is struck, in a room and in noise.
    {"open_strings_ringing_on", 48000,
     {{0.2, plucked(40, kGuitar, 1e-4)}, {0.7, plucked(45, kGuitar, 1e-4)}, {1.2, plucked(50, kGuitar, 1.5e-4)},
      {1.7, plucked(55)}, {2.2, plucked(59, kGuitar, 3e-4)}, {2.7, plucked(64, kGuitar, 4e-4)}}, {}, {}, 4.0, 0.25},
    {"open_strings_in_a_room_in_noise", 44100,
     {{0.2, plucked(40, kGuitar, 1e-4)}, {0.7, plucked(45, kGuitar, 1e-4)}, {1.2, plucked(50, kGuitar, 1.5e-4)},
      {1.7, plucked(55)}, {2.2, plucked(59, kGuitar, 3e-4)}, {2.7, plucked(64, kGuitar, 4e-4)}}, 20.0, 0.35, 8.0, 0.31},
    // The same string struck again while it rings is a new note.
    {"A2_struck_twice", 48000, {{0.2, plucked(45)}, {0.7, plucked(45)}}, {}, {}, 1.0},
    // Down a string: the ringing higher note must not come back.
    {"B3_then_D3_in_a_room", 48000, {{0.2, plucked(59)}, {0.7, plucked(50)}}, {}, 0.5, 8.0, 0.25},
    // A ringing note that the recording loses for a moment is still one
    // note, and a string struck after it is a note of its own.
    {"C3_skips_20_ms_while_ringing", 48000, {{0.2, plucked(48)}}, {}, {}, 1.0, 0.150, {0.6, 0.020}},
    {"C3_in_a_room_silent_for_40_ms", 44100, {{0.2, plucked(48)}}, 20.0, 0.35, 8.0, 0.31, {0.7, 0.040, true}},
    {"A2_skips_10_ms_then_D3", 48000, {{0.2, plucked(45)}, {0.9, plucked(50)}}, {}, {}, 1.0, 0.150, {0.5, 0.010}},
    {"silence", 48000, {}, {}, {}},
};
// clang-format on

struct Followed {
    std::vector<HeardNote> notes;
    std::uint64_t heard = 0;
};

Followed follow(std::span<const float> sound, int rate, std::size_t block)
{
    NoteListener listener(rate);
    Followed followed;
    for (std::size_t at = 0; at < sound.size(); at += block) {
        listener.feed(sound.subspan(at, std::min(block, sound.size() - at)));
        for (const HeardNote& note : listener.takeSettledNotes())
            followed.notes.push_back(note);
    }
    followed.heard = listener.samplesHeard();
    return followed;
}

class NoteTracking : public testing::TestWithParam<TrackRow> {};

// Each note once, from its own onset, settled within 150 ms at its pitch
// (later in a room, or over strings that still ring).
TEST_P(NoteTracking, HearsEachNoteOnceAtItsPitch)
{
    const TrackRow& row = GetParam();
    const std::vector<float> sound = perform(row);
    const Followed followed = follow(sound, row.rate, 512);
    EXPECT_EQ(followed.heard, sound.size());

    ASSERT_EQ(followed.notes.size(), row.played.size());
    for (std::size_t i = 0; i < row.played.size(); ++i) {
        const HeardNote& heard = followed.notes[i];
        const double onset = double(heard.onset) / row.rate;
        const double settled = double(heard.settled) / row.rate;
        const double struck = heardOnset(row, row.played[i]);
        EXPECT_NEAR(onset, struck, 0.020) << "note " << i;
        EXPECT_GT(settled - struck, 0.040) << "note " << i << " settled in its attack";
        EXPECT_LE(settled - struck, row.latestSettle) << "note " << i;
        EXPECT_NEAR(centsBetween(heard.frequency, fundamentalOf(row.played[i].tone)), 0.0, row.centsTolerance) << "note " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Performances, NoteTracking, testing::ValuesIn(kTracks),
                         [](const auto& info) { return std::string(info.param.name); });

struct RenderRow {
    const char* name;
    FretboardState state;
    std::vector<int> notes; // worked out by hand, lowest string first
    int rate;
    std::optional<double> snrDb;
};

// The program's own string-by-string sound: each string a new note, half a
// second after the one before, in the order struck.
TEST(NoteTrackingOfRenders, HearsEachStringOfAFingeringInTurn)
{
    // clang-format off
    const RenderRow rows[] = {
        // C: x 3 2 0 1 0 from string 6: C3 E3 G3 C4 E4.
        {"C_open_chord", {{0, 1, 0, 2, 3, 6}, 1}, {48, 52, 55, 60, 64}, 48000, {}},
        {"C_open_chord_44k_in_noise", {{0, 1, 0, 2, 3, 6}, 1}, {48, 52, 55, 60, 64}, 44100, 20.0},
        // F barred at fret 1: F2 C3 F3 A3 C4 F4.
        {"F_all_six_strings", {{1, 1, 2, 3, 3, 1}, 1}, {41, 48, 53, 57, 60, 65}, 48000, {}},
    };
    // clang-format on
    for (const RenderRow& row : rows) {
        std::vector<float> sound = fromPcm(renderFingering(row.state, PlayStyle::StringByString, row.rate));
        if (row.snrDb)
            addNoise(sound, *row.snrDb, 17);
        const Followed followed = follow(sound, row.rate, 441);
        ASSERT_EQ(followed.notes.size(), row.notes.size()) << row.name;
        for (std::size_t i = 0; i < row.notes.size(); ++i) {
            EXPECT_NEAR(double(followed.notes[i].onset) / row.rate, 0.5 * double(i), 0.020) << row.name << " string " << i;
            EXPECT_LE(double(followed.notes[i].settled) / row.rate - 0.5 * double(i), 0.150) << row.name << " string " << i;
            // The voice itself is tuned within 3 cents.
            EXPECT_NEAR(centsBetween(followed.notes[i].frequency, frequencyOf(row.notes[i])), 0.0, 4.0) << row.name << " string " << i;
        }
    }
}

TEST(NoteTracking, NoiseAloneIsNoNote)
{
    for (int rate : {44100, 48000}) {
        const std::vector<float> sound = noiseOnly(2.0, rate);
        NoteListener listener(rate);
        listener.feed(sound);
        EXPECT_TRUE(listener.takeSettledNotes().empty()) << rate;
        EXPECT_FALSE(listener.currentPitch()) << rate;
    }
}

// The same samples in blocks of any size: the same notes, to the sample.
TEST(NoteTracking, BlockSizesChangeNothing)
{
    // The first 1.6 s of the open strings in a room, in noise: three strings
    // struck, the last 0.4 s before the end.
    const TrackRow& row = kTracks[5];
    std::vector<float> sound = perform(row);
    sound.resize(static_cast<std::size_t>(1.6 * row.rate));
    const Followed whole = follow(sound, row.rate, sound.size());
    ASSERT_EQ(whole.notes.size(), 3U);
    for (std::size_t block : {1U, 441U, 4097U}) {
        const Followed inBlocks = follow(sound, row.rate, block);
        ASSERT_EQ(inBlocks.notes.size(), whole.notes.size()) << block;
        for (std::size_t i = 0; i < whole.notes.size(); ++i) {
            EXPECT_EQ(inBlocks.notes[i].onset, whole.notes[i].onset) << block;
            EXPECT_EQ(inBlocks.notes[i].settled, whole.notes[i].settled) << block;
            EXPECT_EQ(inBlocks.notes[i].frequency, whole.notes[i].frequency) << block;
        }
    }
}

// What a tuner shows: a pitch only past the attack, and a new one at least
// every fifteenth of a second of a note that glides.
TEST(NoteListener, CurrentPitchFollowsAGlideAndNotTheAttack)
{
    for (int rate : {44100, 48000}) {
        const int block = rate / 15;
        std::vector<float> sound(static_cast<std::size_t>(rate), 0.0F);
        addTone(sound, plucked(45), static_cast<std::size_t>(block), rate, 3);
        NoteListener listener(rate);
        listener.feed(std::span(sound).first(static_cast<std::size_t>(block)));
        EXPECT_FALSE(listener.currentPitch()) << "silence";
        listener.feed(std::span(sound).subspan(static_cast<std::size_t>(block), static_cast<std::size_t>(rate / 50)));
        EXPECT_FALSE(listener.currentPitch()) << "an attack of 20 ms";

        // A slow bend upwards: every fifteenth of a second a higher pitch.
        std::vector<float> bend(static_cast<std::size_t>(rate), 0.0F);
        double phase = 0.0;
        for (std::size_t n = 0; n < bend.size(); ++n) {
            const double hertz = 110.0 * std::exp2(60.0 * double(n) / rate / 1200.0);
            bend[n] = static_cast<float>(0.3 * std::sin(phase) + 0.15 * std::sin(2.0 * phase));
            phase += 2.0 * std::numbers::pi * hertz / rate;
        }
        NoteListener bent(rate);
        double previous = 0.0;
        for (std::size_t at = 0; at + static_cast<std::size_t>(block) <= bend.size(); at += static_cast<std::size_t>(block)) {
            bent.feed(std::span(bend).subspan(at, static_cast<std::size_t>(block)));
            if (at < static_cast<std::size_t>(rate / 5))
                continue;
            const auto pitch = bent.currentPitch();
            ASSERT_TRUE(pitch) << rate << " at " << at;
            EXPECT_GT(pitch->frequency, previous) << rate << " at " << at;
            previous = pitch->frequency;
        }
    }
}

// The low E knocked as the B string is plucked, gone after 60 ms: the first
// moments may read E2, a twelfth under B3, but the note is B3 throughout.
TEST(NoteListener, ANoteReadWrongInItsAttackIsNotHeldThere)
{
    constexpr int kRate = 48000;
    const auto onset = static_cast<std::size_t>(0.3 * kRate);
    std::vector<float> sound(static_cast<std::size_t>(1.5 * kRate), 0.0F);
    std::vector<float> knock(sound.size(), 0.0F);
    addTone(sound, plucked(59), onset, kRate, 5);
    addTone(knock, plucked(40), onset, kRate, 6);
    for (std::size_t n = onset; n < sound.size(); ++n) {
        const double after = double(n - onset) / kRate - 0.06;
        sound[n] += knock[n] * static_cast<float>(after < 0.0 ? 1.0 : std::exp(-after / 0.01));
    }
    NoteListener listener(kRate);
    for (std::size_t at = 0; at + 480 <= sound.size(); at += 480) {
        listener.feed(std::span(sound).subspan(at, 480));
        if (at < onset + kRate / 5)
            continue;
        const auto pitch = listener.currentPitch();
        ASSERT_TRUE(pitch) << at;
        EXPECT_NEAR(centsBetween(pitch->frequency, frequencyOf(59)), 0.0, 10.0) << double(at) / kRate << " s";
    }
}

// A note on the edge of a fret waits to be told until its pluck's sharp
// start has passed; a string struck meanwhile does not lose it.
TEST(NoteListener, ANoteOnAFretsEdgeIsToldOnceEvenWhenAnotherFollowsSoon)
{
    constexpr int kRate = 48000;
    Tone edge = plucked(52);
    edge.cents = 48.0;
    std::vector<float> sound(static_cast<std::size_t>(1.5 * kRate), 0.0F);
    addTone(sound, edge, static_cast<std::size_t>(0.3 * kRate), kRate, 5);
    addTone(sound, plucked(55), static_cast<std::size_t>(0.45 * kRate), kRate, 6);
    NoteListener listener(kRate);
    listener.expect(ExpectedNote{frequencyOf(40), 4.0 * frequencyOf(40), frequencyOf(52)});
    std::vector<HeardNote> notes;
    for (std::size_t at = 0; at + 480 <= sound.size(); at += 480) {
        listener.feed(std::span(sound).subspan(at, 480));
        for (const HeardNote& note : listener.takeSettledNotes())
            notes.push_back(note);
    }
    ASSERT_FALSE(notes.empty());
    EXPECT_NEAR(centsBetween(notes.front().frequency, frequencyOf(52)), 48.0, 3.0);
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                            [](const HeardNote& n) { return std::abs(centsBetween(n.frequency, frequencyOf(52))) < 60.0; }),
              1);
}

TEST(NoteListener, LevelIsThatOfTheLastMoments)
{
    NoteListener listener(48000);
    EXPECT_EQ(listener.level(), -120.0);
    listener.feed(std::vector<float>(4800, 0.0F));
    EXPECT_EQ(listener.level(), -120.0);
    // A sine of amplitude 0.5 has a mean square of 0.125: -9.03 dB.
    listener.feed(sine(440.0, 0.1, 48000));
    EXPECT_NEAR(listener.level(), -9.03, 0.1);
    listener.feed(std::vector<float>(4800, 0.0F));
    EXPECT_EQ(listener.level(), -120.0);
}

// ---------------------------------------------------------------------------
// The tuner

struct ReadingRow {
    const char* name;
    double hertz;
    double reference;
    MidiNote note;
    double cents;
    int string;

    friend void PrintTo(const ReadingRow& row, std::ostream* out) { *out << row.name; }
};

class PitchReading : public testing::TestWithParam<ReadingRow> {};

TEST_P(PitchReading, NamesTheNoteCentsAndString)
{
    const ReadingRow& row = GetParam();
    const TunerReading reading = readPitch(row.hertz, row.reference);
    EXPECT_EQ(reading.note, row.note);
    EXPECT_NEAR(reading.cents, row.cents, 0.05);
    EXPECT_EQ(reading.nearestString, row.string);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Pitches, PitchReading, testing::Values(
    ReadingRow{"low_E_in_tune",            82.407, 440.0, 40, 0.0, 6},
    ReadingRow{"A2_12_cents_flat",        109.240, 440.0, 45, -12.0, 5},
    ReadingRow{"C_sharp_3_nearest_D",     138.591, 440.0, 49, 0.0, 4},
    ReadingRow{"G3_sharp",                197.0, 440.0, 55, 8.83, 3},
    ReadingRow{"high_E_fret_12",          659.255, 440.0, 76, 0.0, 1},
    ReadingRow{"under_the_low_E",          73.416, 440.0, 38, 0.0, 6},
    ReadingRow{"A440_against_A432",       440.0, 432.0, 69, 31.77, 1},
    ReadingRow{"A440_against_A450",       440.0, 450.0, 69, -38.90, 1},
    ReadingRow{"half_way_up_is_the_next", 452.893, 440.0, 70, -50.0, 1}));
// clang-format on

TEST(PitchReading, RefusesWhatIsNoPitch)
{
    for (double hertz : {0.0, -110.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_THROW(readPitch(hertz), std::invalid_argument) << hertz;
}

struct TunerRun {
    std::vector<std::optional<TunerReading>> readings;
    // Distinct readings shown one after another, nothing left out.
    std::vector<TunerReading> changes() const
    {
        std::vector<TunerReading> shown;
        for (const auto& r : readings) {
            if (r && (shown.empty() || shown.back().note != r->note || shown.back().cents != r->cents))
                shown.push_back(*r);
        }
        return shown;
    }
};

// The tuner fed every 10 ms of `seconds` with `pitch(t)`: a frequency, or
// nothing where no pitch stands out.
template <typename Pitch>
TunerRun runTuner(Tuner& tuner, double seconds, Pitch pitch)
{
    TunerRun run;
    for (int i = 0; i * 0.01 <= seconds; ++i) {
        const double t = i * 0.01;
        run.readings.push_back(tuner.update(pitch(t), t));
    }
    return run;
}

// A wobble of up to a cent either way, as an estimator's frames give.
double wobble(int i)
{
    constexpr double kCents[] = {0.4, -0.7, 0.9, -0.2, 0.6, -1.0, 0.1, -0.5, 0.8, -0.3, 0.0};
    return kCents[i % 11];
}

TEST(Tuner, ASteadyNoteGivesOneReadingThatHolds)
{
    Tuner tuner;
    int i = 0;
    const TunerRun run = runTuner(tuner, 2.0, [&i](double) { return 110.0 * std::exp2((7.0 + wobble(i++)) / 1200.0); });
    EXPECT_FALSE(run.readings.front()) << "a single pitch is not yet a reading";
    const auto shown = run.changes();
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown.front().note, 45);
    EXPECT_NEAR(shown.front().cents, 7.0, 1.0);
    EXPECT_FALSE(shown.front().inTune());
    // Taken within a tenth of a second, and never lost.
    const auto first = std::find_if(run.readings.begin(), run.readings.end(), [](const auto& r) { return r.has_value(); });
    EXPECT_LE(first - run.readings.begin(), 10);
    EXPECT_TRUE(std::all_of(first, run.readings.end(), [](const auto& r) { return r.has_value(); }));
}

TEST(Tuner, ASteadyNoteHeardByTheListenerHolds)
{
    for (int rate : {44100, 48000}) {
        std::vector<float> sound(static_cast<std::size_t>(2.0 * rate), 0.0F);
        addTone(sound, plucked(40, kGuitar, 1e-4), static_cast<std::size_t>(rate / 10), rate, 9);
        addNoise(sound, 20.0, 21);
        NoteListener listener(rate);
        Tuner tuner;
        TunerRun run;
        const auto block = static_cast<std::size_t>(rate / 100);
        for (std::size_t at = 0; at + block <= sound.size(); at += block) {
            listener.feed(std::span(sound).subspan(at, block));
            const auto pitch = listener.currentPitch();
            run.readings.push_back(tuner.update(pitch ? std::optional(pitch->frequency) : std::nullopt,
                                                double(listener.samplesHeard()) / rate));
        }
        // Past the first half second, one reading, within a cent of E2.
        run.readings.erase(run.readings.begin(), run.readings.begin() + 50);
        const auto shown = run.changes();
        ASSERT_EQ(shown.size(), 1U) << rate;
        EXPECT_EQ(shown.front().note, 40);
        EXPECT_NEAR(shown.front().cents, 100.0 * std::log2(std::sqrt(1.0 + 1e-4)) * 12.0, 1.0) << rate;
        EXPECT_TRUE(shown.front().inTune());
        EXPECT_EQ(shown.front().nearestString, 6);
    }
}

TEST(Tuner, FollowsASlowDrift)
{
    // 30 cents up over three seconds, as a peg is turned.
    Tuner tuner;
    int i = 0;
    const TunerRun run = runTuner(tuner, 3.0, [&i](double t) { return 146.832 * std::exp2((-20.0 + 10.0 * t + 0.5 * wobble(i++)) / 1200.0); });
    const auto shown = run.changes();
    ASSERT_GE(shown.size(), 10U);
    for (std::size_t k = 1; k < shown.size(); ++k)
        EXPECT_GT(shown[k].cents, shown[k - 1].cents) << "the reading went back at change " << k;
    EXPECT_NEAR(shown.front().cents, -20.0, 2.0);
    EXPECT_NEAR(shown.back().cents, 10.0, 2.0);
    EXPECT_EQ(shown.back().note, 50);
}

TEST(Tuner, TakesANewNoteOnlyOnceItIsSteady)
{
    Tuner tuner;
    // A2 for a second, one stray octave, then D3.
    const TunerRun run = runTuner(tuner, 2.0, [](double t) -> std::optional<double> {
        if (t < 0.5 || (t > 0.505 && t < 1.0))
            return 110.0;
        if (t < 0.505)
            return 220.0;
        if (t < 1.1)
            return std::nullopt;
        return 146.832;
    });
    const auto shown = run.changes();
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[0].note, 45);
    EXPECT_EQ(shown[1].note, 50);
    // The gap of a tenth of a second keeps A2 showing.
    EXPECT_TRUE(run.readings[105]);
    EXPECT_EQ(run.readings[105]->note, 45);
}

TEST(Tuner, LetsGoAfterSilence)
{
    Tuner tuner;
    const TunerRun run = runTuner(tuner, 1.5, [](double t) -> std::optional<double> {
        return t < 0.5 ? std::optional(196.0) : std::nullopt;
    });
    EXPECT_TRUE(run.readings[50]);
    EXPECT_FALSE(run.readings.back());
    EXPECT_FALSE(tuner.reading());
}

TEST(Tuner, MeasuresAgainstTheChosenA4)
{
    Tuner tuner;
    EXPECT_EQ(tuner.referencePitch(), 440.0);
    runTuner(tuner, 0.5, [](double) { return 440.0; });
    ASSERT_TRUE(tuner.reading());
    EXPECT_NEAR(tuner.reading()->cents, 0.0, 0.01);

    tuner.setReferencePitch(432.0);
    ASSERT_TRUE(tuner.reading()) << "the reading changes at once";
    EXPECT_NEAR(tuner.reading()->cents, 31.77, 0.05);
    const auto next = tuner.update(440.0, 0.6);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->note, 69);
    EXPECT_NEAR(next->cents, 31.77, 0.05);

    tuner.setReferencePitch(430.0);
    tuner.setReferencePitch(450.0);
    EXPECT_EQ(tuner.referencePitch(), 450.0);
    for (double wrong : {429.9, 450.1, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(tuner.setReferencePitch(wrong), std::invalid_argument) << wrong;
        EXPECT_EQ(tuner.referencePitch(), 450.0);
    }
}

} // namespace
} // namespace fretmap
