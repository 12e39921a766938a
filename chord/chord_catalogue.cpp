#include "chord/chord_catalogue.h"

#include <algorithm>
#include <cstddef>

namespace fretmap {
namespace {

constexpr std::size_t kRootCount = kRootNames.size();
constexpr std::size_t kTypeCount = 36;
constexpr std::size_t kEntryCount = kRootCount * kTypeCount;

// A code's root number is the index in kRootNames plus one.
constexpr const auto& kRoots = kRootNames;

// A chord type: its code offset (the digits of List2 to List9), the suffix
// written after the root, and one fingering per root, C to B.
struct ChordType {
    std::int32_t offset;
    std::string_view suffix;
    std::array<std::string_view, kRootCount> fingerings;
};

// A fingering reads string 1 to string 6, one character each ("0" open,
// "1" to "4" the fret cell, "x" not played), then "/" and the base fret.
// Every one has been checked against its chord's tones: see the catalogue
// test, which rejects a cell that sounds a foreign note.
// clang-format off
constexpr std::array<ChordType, kTypeCount> kChordTypes{{
    {0, "",
     {"01023x/1", "12134x/1", "2320xx/1", "13331x/6", "00122x/1", "112331/1",
      "112331/2", "300023/1", "112331/4", "02220x/1", "13331x/1", "13331x/2"}},
    {100, "m",
     {"12331x/3", "12331x/4", "1320xx/1", "12331x/6", "000220/1", "111331/1",
      "111331/2", "111331/3", "111331/4", "01220x/1", "12331x/1", "12331x/2"}},
    {200, "sus2",
     {"31003x/1", "11331x/4", "0320xx/1", "11331x/6", "11331x/7", "110331/1",
      "11331x/9", "330003/1", "11331x/11", "00220x/1", "11331x/1", "11331x/2"}},
    {300, "sus4",
     {"11033x/1", "113331/9", "3320xx/1", "14331x/6", "002220/1", "113331/1",
      "113331/2", "310033/1", "113331/4", "03220x/1", "14331x/1", "14331x/2"}},
    {400, "dim",
     {"2121xx/1", "2121xx/2", "1010xx/1", "2121xx/1", "020210/1", "1010xx/1",
      "2121xx/1", "131321/3", "1010xx/1", "21210x/1", "02021x/1", "131321/1"}},
    {500, "aug",
     {"x3341x/3", "x3341x/4", "2330xx/1", "3441xx/1", "xx1230/1", "1223xx/1",
      "1223xx/2", "1223xx/3", "1223xx/4", "x2230x/1", "x3341x/1", "x3341x/2"}},
    {10000, "6",
     {"01223x/1", "x2334x/1", "2020xx/1", "3131xx/1", "021220/1", "1323xx/1",
      "1323xx/2", "000023/1", "1323xx/4", "22220x/1", "33331x/1", "20112x/1"}},
    {10100, "m6",
     {"31213x/1", "31213x/2", "1020xx/1", "2131xx/1", "020220/1", "1110x1/1",
      "2221x2/1", "2221x2/2", "2221x2/3", "21220x/1", "3233xx/1", "3233xx/2"}},
    {100000, "7",
     {"01323x/1", "x1323x/2", "2120xx/1", "13131x/6", "001020/1", "112131/1",
      "112131/2", "100023/1", "112131/4", "02020x/1", "13131x/1", "20212x/1"}},
    {100100, "m7",
     {"12131x/3", "12131x/4", "1120xx/1", "12131x/6", "000020/1", "111131/1",
      "111131/2", "111131/3", "111131/4", "01020x/1", "12131x/1", "12131x/2"}},
    {100300, "7sus4",
     {"11333x/1", "11333x/2", "3120xx/1", "14131x/6", "002020/1", "113131/1",
      "113131/2", "1100x3/1", "113131/4", "03020x/1", "14131x/1", "14131x/2"}},
    {101000, "M7",
     {"00023x/1", "11134x/1", "2220xx/1", "3331xx/1", "3331xx/2", "0123xx/1",
      "1234xx/1", "200023/1", "3111xx/1", "02120x/1", "13231x/1", "13231x/2"}},
    {101100, "mM7",
     {"12231x/3", "12231x/4", "1220xx/1", "2331xx/1", "000120/1", "111231/1",
      "111231/2", "111231/3", "111231/4", "01120x/1", "12231x/1", "12231x/2"}},
    {110000, "76",
     {"331311/3", "331311/4", "331311/5", "331311/6", "021020/1", "132131/1",
      "132131/2", "132131/3", "132131/4", "22020x/1", "33131x/1", "33131x/2"}},
    {2100000, "7+5",
     {"231x1x/3", "231x1x/4", "2130xx/1", "3241xx/1", "0110xx/1", "x22101/1",
      "0332x2/1", "1001xx/1", "2112xx/1", "12030x/1", "23141x/1", "30212x/1"}},
    {3100000, "7-5",
     {"x3121x/3", "x3121x/4", "2110xx/1", "3221xx/1", "3221xx/2", "102101/1",
      "x132x2/1", "x132x2/2", "x132x2/3", "x2010x/1", "x3121x/1", "43321x/2"}},
    {3100100, "m7-5",
     {"x2121x/3", "x2121x/4", "1110xx/1", "2221xx/1", "3332xx/1", "3332xx/2",
      "3332xx/3", "3332xx/4", "2010xx/1", "31210x/1", "3121xx/2", "10202x/1"}},
    {10000000, "9",
     {"33323x/1", "33323x/2", "1440xx/2", "1201xx/1", "201020/1", "x10101/1",
      "312131/2", "312131/3", "312131/4", "32420x/1", "x1101x/1", "x2212x/1"}},
    {10000100, "m9",
     {"33313x/1", "33313x/2", "33313x/3", "33313x/4", "200020/1", "311131/1",
      "311131/2", "311131/3", "311131/4", "311131/5", "311131/6", "22202x/1"}},
    {10001000, "M9",
     {"x3423x/1", "x3423x/2", "01134x/2", "1301xx/1", "333310/2", "3301xx/3",
      "2412xx/3", "2412xx/4", "2412xx/5", "42420x/1", "11201x/1", "22312x/1"}},
    {10001100, "mM9",
     {"x3413x/1", "x3413x/2", "x3413x/3", "x3413x/4", "200120/1", "311231/1",
      "311231/2", "311231/3", "311231/4", "311231/5", "311231/6", "22302x/1"}},
    {10002000, "add9",
     {"03023x/1", "14134x/1", "14134x/2", "14134x/3", "201220/1", "3123xx/1",
      "3123xx/2", "302003/1", "3123xx/4", "02420x/1", "3123xx/6", "3123xx/7"}},
    {10010000, "69",
     {"33223x/1", "33223x/2", "00334x/2", "1101xx/1", "2212xx/1", "110001/1",
      "221112/1", "002023/1", "221112/3", "22420x/1", "11001x/1", "22112x/1"}},
    {10010100, "m69",
     {"x3213x/1", "x3213x/2", "x3213x/3", "x3213x/4", "220220/1", "3313xx/1",
      "3313xx/2", "3313xx/3", "3313xx/4", "01440x/1", "xx3324/3", "31301x/2"}},
    {12000000, "9+5",
     {"43323x/1", "43323x/2", "43323x/3", "43323x/4", "344340/2", "x20101/1",
      "x31212/1", "x31212/2", "x31212/3", "32430x/1", "21101x/1", "32212x/1"}},
    {13000000, "9-5",
     {"23323x/1", "23323x/2", "34434x/2", "34434x/3", "3223x0/2", "100101/1",
      "211212/1", "211212/2", "211212/3", "211212/4", "01101x/1", "12212x/1"}},
    {20100000, "7+9",
     {"x4323x/1", "x3212x/3", "x3212x/4", "22011x/1", "331220/1", "3312xx/2",
      "3312xx/3", "3312xx/4", "3312xx/5", "3312xx/6", "x2101x/1", "x3212x/1"}},
    {22100000, "7(+9,+5)",
     {"44323x/1", "44323x/2", "44323x/3", "44323x/4", "44323x/5", "x21101/1",
      "x32212/1", "x32212/2", "x32212/3", "x32212/4", "22101x/1", "33212x/1"}},
    {23100000, "7(+9,-5)",
     {"24323x/1", "24323x/2", "24323x/3", "24323x/4", "24323x/5", "101101/1",
      "x12212/1", "x12212/2", "x12212/3", "x12212/4", "02101x/1", "13212x/1"}},
    {30100000, "7-9",
     {"32323x/1", "32323x/2", "32323x/3", "02011x/1", "131220/1", "1312xx/2",
      "1312xx/3", "1312xx/4", "1312xx/5", "1312xx/6", "10101x/1", "21212x/1"}},
    {32100000, "7(-9,+5)",
     {"42323x/1", "42323x/2", "42323x/3", "42323x/4", "42323x/5", "222101/1",
      "333212/1", "333212/2", "333212/3", "333212/4", "20101x/1", "31212x/1"}},
    {33100000, "7(-9,-5)",
     {"11212x/2", "11212x/3", "11212x/4", "11212x/5", "11212x/6", "11212x/7",
      "11212x/8", "11212x/9", "11212x/10", "11212x/11", "00101x/1", "11212x/1"}},
    {100000000, "11",
     {"33333x/1", "33333x/2", "33333x/3", "33333x/4", "202020/1", "313131/1",
      "313131/2", "313131/3", "313131/4", "00000x/1", "11111x/1", "11111x/2"}},
    {100000100, "m11",
     {"13313x/1", "13313x/2", "13313x/3", "13313x/4", "000000/1", "111111/1",
      "111111/2", "111111/3", "111111/4", "111111/5", "111111/6", "02202x/1"}},
    {1000000000, "13",
     {"31111x/3", "31111x/4", "31111x/5", "31111x/6", "221020/1", "333131/1",
      "333131/2", "333131/3", "333131/4", "20000x/1", "31111x/1", "31111x/2"}},
    {1030000000, "13-9",
     {"41212x/2", "41212x/3", "41212x/4", "41212x/5", "41212x/6", "41212x/7",
      "41212x/8", "001323/1", "1124x4/1", "1124x4/2", "30101x/1", "41212x/1"}},
}};
// clang-format on

struct Fingering {
    StringStates strings{};
    std::int16_t baseFret = 0;
};

// Throwing here makes a malformed cell a compile error.
constexpr Fingering parseFingering(std::string_view cell)
{
    constexpr std::size_t kSlash = kStringCount;
    if (cell.size() < kSlash + 2 || cell[kSlash] != '/')
        throw "fingering must read like 01023x/1";
    Fingering result;
    for (std::size_t i = 0; i < kSlash; ++i) {
        const char c = cell[i];
        if (c == 'x')
            result.strings[i] = kMutedString;
        else if (c >= '0' && c <= '0' + kFretCellCount)
            result.strings[i] = static_cast<std::int16_t>(c - '0');
        else
            throw "string state must be 0 to 4 or x";
    }
    int baseFret = 0;
    for (const char c : cell.substr(kSlash + 1)) {
        if (c < '0' || c > '9')
            throw "base fret must be a decimal number";
        baseFret = baseFret * 10 + (c - '0');
    }
    result.baseFret = static_cast<std::int16_t>(baseFret);
    return result;
}

// Captions are root text plus suffix; they need storage of their own for the
// entries' string_views to point into.
struct CaptionText {
    std::array<char, 12> chars{};
    std::size_t size = 0;
};

constexpr std::size_t entryIndex(std::size_t type, std::size_t root)
{
    return type * kRootCount + root;
}

constexpr auto kCaptions = [] {
    std::array<CaptionText, kEntryCount> captions{};
    for (std::size_t type = 0; type < kTypeCount; ++type) {
        for (std::size_t root = 0; root < kRootCount; ++root) {
            CaptionText& caption = captions[entryIndex(type, root)];
            for (const std::string_view part : {kRoots[root], kChordTypes[type].suffix}) {
                for (const char c : part) {
                    if (caption.size == caption.chars.size())
                        throw "caption too long";
                    caption.chars[caption.size++] = c;
                }
            }
        }
    }
    return captions;
}();

constexpr auto kEntries = [] {
    std::array<ChordEntry, kEntryCount> entries{};
    for (std::size_t type = 0; type < kTypeCount; ++type) {
        for (std::size_t root = 0; root < kRootCount; ++root) {
            const std::size_t index = entryIndex(type, root);
            const Fingering fingering = parseFingering(kChordTypes[type].fingerings[root]);
            entries[index] = ChordEntry{
                kChordTypes[type].offset + static_cast<std::int32_t>(root + 1),
                std::string_view(kCaptions[index].chars.data(), kCaptions[index].size),
                fingering.strings,
                fingering.baseFret,
            };
        }
    }
    std::ranges::sort(entries, {}, &ChordEntry::code);
    return entries;
}();

constexpr bool codesAreDistinct()
{
    return std::ranges::adjacent_find(kEntries, {}, &ChordEntry::code) == kEntries.end();
}

constexpr bool statesAreValid()
{
    return std::ranges::all_of(kEntries, [](const ChordEntry& entry) {
        return std::ranges::all_of(entry.strings, [](std::int16_t state) { return isStringState(state); });
    });
}

constexpr bool baseFretsArePositive()
{
    return std::ranges::all_of(kEntries, [](const ChordEntry& entry) { return entry.baseFret >= 1; });
}

constexpr bool rootsAreReal()
{
    return std::ranges::all_of(kEntries, [](const ChordEntry& entry) {
        const std::int32_t root = entry.code % 100;
        return root >= 1 && root <= 12;
    });
}

static_assert(kEntries.size() == 432);
static_assert(codesAreDistinct(), "two catalogue entries share a code");
static_assert(statesAreValid(), "a string state is not 0 to 4 or 6");
static_assert(baseFretsArePositive(), "fret cell 1 cannot stand for the open string");
static_assert(rootsAreReal(), "an entry's code has no root 1 to 12");

constexpr ChordEntry kUnknownChord{0, "unknown", {0, 0, 0, 0, 0, 0}, 1};

} // namespace

const ChordEntry& lookupChord(std::int32_t code)
{
    const auto found = std::ranges::lower_bound(kEntries, code, {}, &ChordEntry::code);
    return (found != kEntries.end() && found->code == code) ? *found : kUnknownChord;
}

std::span<const ChordEntry> chordCatalogue()
{
    return kEntries;
}

} // namespace fretmap
