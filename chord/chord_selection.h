#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace fretmap {

// How a list's position becomes its contribution: position × weight + offset,
// computed in 16 bits for the narrow lists and in 32 bits for the others,
// every step overflow-checked.
struct ListRule {
    int itemCount;
    std::int32_t weight;
    std::int32_t offset;
    bool narrow;
};

// The nine selector lists' contributions to the chord code. Each list owns
// one or two decimal digits of the code: List1 the root (units and tens),
// List2 to List9 one digit each from the hundreds upwards.
class ChordSelection {
public:
    static constexpr int kListCount = 9;

    // The rule of list n is kListRules[n - 1]. The windows check their items
    // against these counts when they are compiled.
    static constexpr std::array<ListRule, kListCount> kListRules{{
        {12, 1, 1, true},          // List1: root, "C" to "B" give 1 to 12
        {6, 100, 0, true},         // List2: triad quality
        {3, 1000, 0, true},        // List3: major seventh / added ninth
        {2, 10000, 0, true},       // List4: sixth
        {2, 100000, 0, false},     // List5: seventh
        {4, 1000000, 0, false},    // List6: fifth
        {4, 10000000, 0, false},   // List7: ninth
        {4, 100000000, 0, false},  // List8: eleventh
        {3, 1000000000, 0, false}, // List9: thirteenth
    }};

    // Stores the contribution of `position` (zero-based) in `list` (1 to 9),
    // replacing that list's previous one. Throws std::out_of_range for a list
    // or position that does not exist, and then changes nothing.
    void pick(int list, int position);

    // The sum of the nine contributions, or nothing when the sum does not fit
    // in 32 bits ("-13" together with "+11" or "-11").
    std::optional<std::int32_t> chordCode() const;

    // The rule of `list` (1 to 9); throws std::out_of_range otherwise.
    static constexpr const ListRule& rule(int list)
    {
        if (list < 1 || list > kListCount)
            throw std::out_of_range("ChordSelection: there is no list " + std::to_string(list)
                                    + " (lists are 1 to 9)");
        return kListRules[static_cast<std::size_t>(list - 1)];
    }

    // The number of items in `list` (1 to 9); throws std::out_of_range otherwise.
    static constexpr int itemCount(int list) { return rule(list).itemCount; }

private:
    std::array<std::int32_t, kListCount> m_contributions{};
};

} // namespace fretmap
