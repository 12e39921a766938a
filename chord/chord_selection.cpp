#include "chord/chord_selection.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace fretmap {
namespace {

// How a list's position becomes its contribution: position × weight + offset,
// computed in 16 bits for the narrow lists and in 32 bits for the others,
// every step overflow-checked.
struct ListRule {
    int itemCount;
    std::int32_t weight;
    std::int32_t offset;
    bool narrow;
};

constexpr std::array<ListRule, ChordSelection::kListCount> kListRules{{
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

template <typename Int>
std::optional<std::int32_t> checkedContribution(int position, const ListRule& rule)
{
    Int product = 0;
    Int sum = 0;
    if (__builtin_mul_overflow(position, rule.weight, &product)
        || __builtin_add_overflow(product, rule.offset, &sum))
        return std::nullopt;
    return sum;
}

const ListRule& ruleFor(int list)
{
    if (list < 1 || list > ChordSelection::kListCount)
        throw std::out_of_range("ChordSelection: there is no list " + std::to_string(list)
                                + " (lists are 1 to 9)");
    return kListRules[static_cast<std::size_t>(list - 1)];
}

} // namespace

int ChordSelection::itemCount(int list)
{
    return ruleFor(list).itemCount;
}

void ChordSelection::pick(int list, int position)
{
    const ListRule& rule = ruleFor(list);
    if (position < 0 || position >= rule.itemCount)
        throw std::out_of_range("ChordSelection: list " + std::to_string(list) + " has no position "
                                + std::to_string(position) + " (it has "
                                + std::to_string(rule.itemCount) + " items)");

    const auto contribution = rule.narrow ? checkedContribution<std::int16_t>(position, rule)
                                          : checkedContribution<std::int32_t>(position, rule);
    if (!contribution) // cannot happen with the lists' item counts
        throw std::overflow_error("ChordSelection: contribution of list " + std::to_string(list)
                                  + " overflows");
    m_contributions[static_cast<std::size_t>(list - 1)] = *contribution;
}

std::optional<std::int32_t> ChordSelection::chordCode() const
{
    // Quality first, then the root, then List3 to List9.
    constexpr std::array<std::size_t, kListCount> kSumOrder{1, 0, 2, 3, 4, 5, 6, 7, 8};
    std::int32_t code = 0;
    for (const std::size_t index : kSumOrder) {
        if (__builtin_add_overflow(code, m_contributions[index], &code))
            return std::nullopt;
    }
    return code;
}

} // namespace fretmap
