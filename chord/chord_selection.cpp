#include "chord/chord_selection.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace fretmap {
namespace {

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

} // namespace

void ChordSelection::pick(int list, int position)
{
    const ListRule& rule = ChordSelection::rule(list);
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
