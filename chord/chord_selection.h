#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace fretmap {

// The nine selector lists' contributions to the chord code. Each list owns
// one or two decimal digits of the code: List1 the root (units and tens),
// List2 to List9 one digit each from the hundreds upwards.
class ChordSelection {
public:
    static constexpr int kListCount = 9;

    // Stores the contribution of `position` (zero-based) in `list` (1 to 9),
    // replacing that list's previous one. Throws std::out_of_range for a list
    // or position that does not exist, and then changes nothing.
    void pick(int list, int position);

    // The sum of the nine contributions, or nothing when the sum does not fit
    // in 32 bits ("-13" together with "+11" or "-11").
    std::optional<std::int32_t> chordCode() const;

    // The number of items in `list` (1 to 9); throws std::out_of_range otherwise.
    static int itemCount(int list);

private:
    std::array<std::int32_t, kListCount> m_contributions{};
};

} // namespace fretmap
