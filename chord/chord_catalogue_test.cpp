#include "chord/chord_catalogue.h"
#include "chord/chord_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fretmap {
namespace {

const std::vector<std::string> kRootNames{"C", "C#", "D", "Eb", "E", "F",
                                          "F#", "G", "G#", "A", "Bb", "B"};

// Each chord type as a guitarist knows it: the suffix, the digits its
// selector items add to the code, its tones in semitones above the root, and
// the tones that its name needs besides the root (the third or the suspended
// tone, the seventh of a seventh chord, each sixth, ninth, altered fifth,
// altered ninth, eleventh or thirteenth the name has); only the plain fifth
// and an implied ninth may be left out. See soundsTone for the two
// exceptions the chart makes.
struct ChordTypeFacts {
    std::string suffix;
    std::int32_t offset;
    std::vector<int> tones;
    std::vector<int> naming;
};

const std::vector<ChordTypeFacts> kTypes{
    {"", 0, {0, 4, 7}, {4}},
    {"m", 100, {0, 3, 7}, {3}},
    {"sus2", 200, {0, 2, 7}, {2}},
    {"sus4", 300, {0, 5, 7}, {5}},
    {"dim", 400, {0, 3, 6, 9}, {3, 6, 9}},
    {"aug", 500, {0, 4, 8}, {4, 8}},
    {"6", 10000, {0, 4, 7, 9}, {4, 9}},
    {"m6", 10100, {0, 3, 7, 9}, {3, 9}},
    {"7", 100000, {0, 4, 7, 10}, {4, 10}},
    {"m7", 100100, {0, 3, 7, 10}, {3, 10}},
    {"7sus4", 100300, {0, 5, 7, 10}, {5, 10}},
    {"M7", 101000, {0, 4, 7, 11}, {4, 11}},
    {"mM7", 101100, {0, 3, 7, 11}, {3, 11}},
    {"76", 110000, {0, 4, 7, 9, 10}, {4, 9, 10}},
    {"7+5", 2100000, {0, 4, 8, 10}, {4, 8, 10}},
    {"7-5", 3100000, {0, 4, 6, 10}, {4, 6, 10}},
    {"m7-5", 3100100, {0, 3, 6, 10}, {3, 6, 10}},
    {"9", 10000000, {0, 2, 4, 7, 10}, {2, 4, 10}},
    {"m9", 10000100, {0, 2, 3, 7, 10}, {2, 3, 10}},
    {"M9", 10001000, {0, 2, 4, 7, 11}, {2, 4, 11}},
    {"mM9", 10001100, {0, 2, 3, 7, 11}, {2, 3, 11}},
    {"add9", 10002000, {0, 2, 4, 7}, {2, 4}},
    {"69", 10010000, {0, 2, 4, 7, 9}, {2, 4, 9}},
    {"m69", 10010100, {0, 2, 3, 7, 9}, {2, 3, 9}},
    {"9+5", 12000000, {0, 2, 4, 8, 10}, {2, 4, 8, 10}},
    {"9-5", 13000000, {0, 2, 4, 6, 10}, {2, 4, 6, 10}},
    {"7+9", 20100000, {0, 3, 4, 7, 10}, {3, 4, 10}},
    {"7(+9,+5)", 22100000, {0, 3, 4, 8, 10}, {3, 4, 8, 10}},
    {"7(+9,-5)", 23100000, {0, 3, 4, 6, 10}, {3, 4, 6, 10}},
    {"7-9", 30100000, {0, 1, 4, 7, 10}, {1, 4, 10}},
    {"7(-9,+5)", 32100000, {0, 1, 4, 8, 10}, {1, 4, 8, 10}},
    {"7(-9,-5)", 33100000, {0, 1, 4, 6, 10}, {1, 4, 6, 10}},
    {"11", 100000000, {0, 2, 4, 5, 7, 10}, {4, 5, 10}},
    {"m11", 100000100, {0, 2, 3, 5, 7, 10}, {3, 5, 10}},
    {"13", 1000000000, {0, 2, 4, 5, 7, 9, 10}, {4, 9, 10}},
    {"13-9", 1030000000, {0, 1, 4, 5, 7, 9, 10}, {1, 4, 9, 10}},
};

using PitchClasses = std::bitset<12>;

// Whether a fingering that sounds `sounded` on `root` (0 = C) sounds the
// type's `tone`, as the chart writes chords; the chart's two conventions,
// which the guide explains, are the only exceptions: the "11" chord leaves
// its third out, and the "13" chord may sound its eleventh in place of the
// third.
bool soundsTone(const ChordTypeFacts& type, const PitchClasses& sounded, int root, int tone)
{
    constexpr int kMajorThird = 4;
    constexpr int kEleventh = 5;
    const auto has = [&](int t) { return sounded.test(static_cast<std::size_t>((root + t) % 12)); };
    if (tone == kMajorThird && type.suffix == "11")
        return true;
    if (tone == kMajorThird && type.suffix == "13")
        return has(kMajorThird) || has(kEleventh);
    return has(tone);
}

const ChordTypeFacts* typeWithOffset(std::int32_t offset)
{
    const auto found = std::ranges::find(kTypes, offset, &ChordTypeFacts::offset);
    return found == kTypes.end() ? nullptr : &*found;
}

// The cell as the chart prints it, e.g. "01023x/1".
std::string cellText(const ChordEntry& entry)
{
    std::string text;
    for (const std::int16_t state : entry.strings)
        text += state == kMutedString ? 'x' : static_cast<char>('0' + state);
    return text + "/" + std::to_string(entry.baseFret);
}

// Pitch classes (0 = C) that the fingering sounds in standard tuning.
PitchClasses soundedPitchClasses(const ChordEntry& entry)
{
    constexpr int kOpenStrings[6] = {4, 11, 7, 2, 9, 4}; // E B G D A E, string 1 first
    PitchClasses sounded;
    for (std::size_t string = 0; string < 6; ++string) {
        const int state = entry.strings[string];
        if (state == kMutedString)
            continue;
        const int fret = state == kOpenString ? 0 : entry.baseFret + state - 1;
        sounded.set(static_cast<std::size_t>((kOpenStrings[string] + fret) % 12));
    }
    return sounded;
}

// FNV-1a over every entry's code, caption, string states and base fret, in
// the catalogue's order.
std::uint64_t catalogueDigest()
{
    std::uint64_t hash = 14695981039346656037u;
    const auto add = [&hash](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i, value >>= 8u) {
            hash ^= value & 0xffu;
            hash *= 1099511628211u;
        }
    };
    for (const ChordEntry& entry : chordCatalogue()) {
        add(static_cast<std::uint32_t>(entry.code), 4);
        for (const char c : entry.caption)
            add(static_cast<unsigned char>(c), 1);
        add(0, 1); // the end of the caption
        for (const std::int16_t state : entry.strings)
            add(static_cast<std::uint16_t>(state), 2);
        add(static_cast<std::uint16_t>(entry.baseFret), 2);
    }
    return hash;
}

struct KnownEntry {
    const char* name;
    std::int32_t code;
    std::string_view caption;
    std::array<std::int16_t, 6> strings;
    std::int16_t baseFret;
};

void PrintTo(const KnownEntry& e, std::ostream* os) { *os << e.name; }

std::string knownEntryName(const testing::TestParamInfo<KnownEntry>& info)
{
    return info.param.name;
}

class LookupTest : public testing::TestWithParam<KnownEntry> {};

TEST_P(LookupTest, FindsTheEntryOfTheWholeCode)
{
    const KnownEntry& expected = GetParam();
    const ChordEntry& entry = lookupChord(expected.code);
    EXPECT_EQ(entry.caption, expected.caption);
    EXPECT_EQ(entry.strings, expected.strings);
    EXPECT_EQ(entry.baseFret, expected.baseFret);
}

constexpr std::array<std::int16_t, 6> kAllOpen{0, 0, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Catalogue, LookupTest,
    testing::Values(
        KnownEntry{"C", 1, "C", {0, 1, 0, 2, 3, 6}, 1},
        KnownEntry{"Eb", 4, "Eb", {1, 3, 3, 3, 1, 6}, 6},
        KnownEntry{"Cm", 101, "Cm", {1, 2, 3, 3, 1, 6}, 3},
        KnownEntry{"Bb13Minus9", 1030000011, "Bb13-9", {3, 0, 1, 0, 1, 6}, 1},
        KnownEntry{"GSharp7Plus9Minus5", 23100009, "G#7(+9,-5)", {6, 1, 2, 2, 1, 2}, 3},
        KnownEntry{"D7sus4", 100303, "D7sus4", {3, 1, 2, 0, 6, 6}, 1},
        KnownEntry{"FSharpm7Minus5", 3100107, "F#m7-5", {3, 3, 3, 2, 6, 6}, 3},
        KnownEntry{"BmM7", 101112, "BmM7", {1, 2, 2, 3, 1, 6}, 2},
        KnownEntry{"Gsus4", 308, "Gsus4", {3, 1, 0, 0, 3, 3}, 1}),
    knownEntryName);

INSTANTIATE_TEST_SUITE_P(
    Fallback, LookupTest,
    testing::Values(KnownEntry{"Zero", 0, "unknown", kAllOpen, 1},
                    KnownEntry{"RootThirteen", 13, "unknown", kAllOpen, 1},
                    KnownEntry{"QualityWithoutRoot", 100, "unknown", kAllOpen, 1},
                    KnownEntry{"RootNinetyNine", 999, "unknown", kAllOpen, 1},
                    KnownEntry{"CWithMajorAlone", 1001, "unknown", kAllOpen, 1},
                    KnownEntry{"CWithPlainFifth", 1000001, "unknown", kAllOpen, 1},
                    KnownEntry{"CWithMajorAndSixth", 11001, "unknown", kAllOpen, 1},
                    KnownEntry{"Negative", -1, "unknown", kAllOpen, 1},
                    KnownEntry{"Largest", std::numeric_limits<std::int32_t>::max(), "unknown", kAllOpen, 1},
                    KnownEntry{"Smallest", std::numeric_limits<std::int32_t>::min(), "unknown", kAllOpen, 1}),
    knownEntryName);

TEST(ChordCatalogueTest, HoldsEveryTypeOnEveryRootWithItsCaption)
{
    const auto catalogue = chordCatalogue();
    ASSERT_EQ(catalogue.size(), 432u);
    std::set<std::int32_t> codes;
    for (const ChordEntry& entry : catalogue)
        codes.insert(entry.code);
    EXPECT_EQ(codes.size(), 432u);

    for (const ChordTypeFacts& type : kTypes) {
        for (std::size_t root = 0; root < kRootNames.size(); ++root) {
            const std::int32_t code = type.offset + static_cast<std::int32_t>(root + 1);
            const ChordEntry& entry = lookupChord(code);
            EXPECT_EQ(entry.code, code);
            EXPECT_EQ(entry.caption, kRootNames[root] + type.suffix) << code;
        }
    }
}

// Every fingering must sound only notes of its chord, sound the tones that
// name it, stand on a real fret, and differ from every other type on the same
// root: a wrong cell shows the guitarist a chord other than the one named.
TEST(ChordCatalogueTest, EveryFingeringSoundsItsChord)
{
    std::map<std::pair<std::int32_t, unsigned long>, std::string> soundsOnRoot;
    for (const ChordEntry& entry : chordCatalogue()) {
        const std::int32_t root = entry.code % 100;
        const ChordTypeFacts* type = typeWithOffset(entry.code - root);
        ASSERT_NE(type, nullptr) << entry.caption << " has code " << entry.code;

        PitchClasses chordTones;
        for (const int tone : type->tones)
            chordTones.set(static_cast<std::size_t>((root - 1 + tone) % 12));

        const PitchClasses sounded = soundedPitchClasses(entry);
        const PitchClasses foreign = sounded & ~chordTones;
        std::ostringstream foreignNotes;
        for (std::size_t pc = 0; pc < 12; ++pc)
            if (foreign.test(pc))
                foreignNotes << ' ' << kRootNames[pc];
        EXPECT_TRUE(foreign.none()) << entry.caption << " " << cellText(entry)
                                    << " sounds notes outside the chord:" << foreignNotes.str();
        EXPECT_GE(entry.baseFret, 1) << entry.caption << " " << cellText(entry);

        std::vector<int> needed{0}; // the root
        needed.insert(needed.end(), type->naming.begin(), type->naming.end());
        for (const int tone : needed) {
            EXPECT_TRUE(soundsTone(*type, sounded, root - 1, tone))
                << entry.caption << " " << cellText(entry) << " leaves out "
                << kRootNames[static_cast<std::size_t>((root - 1 + tone) % 12)] << ", a tone that its name needs";
        }

        const auto [previous, inserted] =
            soundsOnRoot.emplace(std::pair{root, sounded.to_ulong()}, std::string(entry.caption));
        EXPECT_TRUE(inserted) << entry.caption << " " << cellText(entry)
                              << " sounds the same notes as " << previous->second;
    }
    // Another fingering of the same chord sounds right as well, so the whole
    // catalogue is pinned; a deliberate change to it updates this digest in the same commit.
    EXPECT_EQ(catalogueDigest(), 0xe5a190a9640bdb14u);
}

TEST(ChordCatalogueTest, StatesAndBaseFretsStayInTheirRanges)
{
    std::array<std::set<int>, 6> statesOfString;
    std::set<int> baseFrets;
    for (const ChordEntry& entry : chordCatalogue()) {
        for (std::size_t string = 0; string < 6; ++string)
            statesOfString[string].insert(entry.strings[string]);
        baseFrets.insert(entry.baseFret);
    }
    const std::set<int> allStates{0, 1, 2, 3, 4, 6};
    for (const std::size_t string : {0u, 1u, 3u, 4u, 5u})
        EXPECT_EQ(statesOfString[string], allStates) << "string " << string + 1;
    EXPECT_EQ(statesOfString[2], (std::set<int>{0, 1, 2, 3, 4})) << "string 3 is never muted";
    EXPECT_EQ(*baseFrets.begin(), 1);
    EXPECT_EQ(*baseFrets.rbegin(), 11);
}

// Every reachable selection: List1 never picked or at any root, every other
// list at each of its items.
TEST(ChordCatalogueTest, EverySelectionFormsItsCodeAndFindsItsEntry)
{
    std::array<int, 10> counts{}; // counts[list]
    for (int list = 1; list <= 9; ++list)
        counts[static_cast<std::size_t>(list)] = ChordSelection::itemCount(list);

    long combinations = 0;
    long found = 0;
    for (int root = -1; root < counts[1]; ++root) {
        ChordSelection selection;
        if (root >= 0)
            selection.pick(1, root);
        std::array<int, 10> at{};
        // An odometer over lists 2 to 9.
        for (bool more = true; more; ++combinations) {
            for (int list = 2; list <= 9; ++list)
                selection.pick(list, at[static_cast<std::size_t>(list)]);

            std::int64_t expected = root + 1;
            std::int64_t weight = 100;
            for (int list = 2; list <= 9; ++list, weight *= 10)
                expected += at[static_cast<std::size_t>(list)] * weight;
            const bool overflows = at[9] == 2 && (at[8] == 2 || at[8] == 3);
            ASSERT_EQ(expected > std::numeric_limits<std::int32_t>::max(), overflows);

            const auto code = selection.chordCode();
            if (overflows) {
                ASSERT_FALSE(code.has_value()) << expected;
            } else {
                ASSERT_EQ(code, expected);
                const ChordEntry& entry = lookupChord(*code);
                const bool catalogued = root >= 0 && typeWithOffset(*code - (root + 1)) != nullptr;
                if (catalogued) {
                    ASSERT_EQ(entry.code, *code);
                    ++found;
                } else {
                    ASSERT_EQ(entry.caption, "unknown") << *code;
                    ASSERT_EQ(entry.strings, kAllOpen);
                    ASSERT_EQ(entry.baseFret, 1);
                }
            }

            more = false;
            for (int list = 2; list <= 9; ++list) {
                auto& digit = at[static_cast<std::size_t>(list)];
                if (++digit < counts[static_cast<std::size_t>(list)]) {
                    more = true;
                    break;
                }
                digit = 0;
            }
        }
    }
    EXPECT_EQ(combinations, 179712);
    EXPECT_EQ(found, 432);
}

} // namespace
} // namespace fretmap
