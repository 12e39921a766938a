#pragma once

#include <cmath>

namespace fretmap {

// The notes a guitar's strings can give in standard tuning and a little
// beyond, in Hz: a low E tuned down a little, to past the 12th fret of the
// high E.
inline constexpr double kLowestHeardPitch = 70.0;
inline constexpr double kHighestHeardPitch = 1400.0;

// How far `frequency` lies above `reference`, in cents; below it, negative.
inline double centsBetween(double frequency, double reference)
{
    return 1200.0 * std::log2(frequency / reference);
}

// The frequency `cents` above `hertz` (below it for negative cents).
inline double centsAbove(double hertz, double cents)
{
    return hertz * std::exp2(cents / 1200.0);
}

} // namespace fretmap
