#pragma once

#include "sound/fft.h"

#include <optional>
#include <span>
#include <vector>

namespace fretmap {

// The sum of the amplitudes of the partials of a note at `hertz` in a
// spectrum of amplitudes `binHertz` apart: all of its first partials, those
// whose number is no multiple of `multiple`, or only those that are.
enum class Partials {
    All,
    NotMultiples,
    OnlyMultiples
};
double partialStrength(std::span<const double> amplitude, double binHertz, double hertz, Partials which = Partials::All,
                       int multiple = 1);

// Whether a note at `hertz` is the note, and not a partial of the note
// `multiple` times higher: its own partials, those the higher note lacks,
// are there, as strong as a share of those the two share.
bool ownPartialsHeard(std::span<const double> amplitude, double binHertz, double hertz, int multiple);

// Which note a new pluck sounds, from what it added to the spectrum of
// what already rang: the power of a stretch after the onset less that of
// a stretch as long before it. Strings that still ring add nothing, so
// they are not taken for the new note, and a note is told from its octaves
// and twelfths by the partials that only it explains.
class NoteEvidence {
public:
    // Throws std::invalid_argument for a rate of no use.
    explicit NoteEvidence(int sampleRate);

    // The length of the stretches compared, in samples.
    std::size_t stretchSize() const { return m_stretch; }

    // The power spectrum of a stretch of stretchSize() samples (fewer are
    // padded), for before() and pick().
    std::vector<double> spectrum(std::span<const float> stretch);

    struct Pick {
        double hertz = 0.0; // the note's rough frequency, within 10 cents
        double share = 0.0; // of the added power, how much lies on its partials
        double added = 0.0; // of the power after, how much was added
    };
    // The note between `lowestHertz` and `highestHertz` whose partials the
    // rise from `before` to `after` shows best; nothing where nothing rose.
    std::optional<Pick> pick(std::span<const double> before, std::span<const double> after, double lowestHertz,
                             double highestHertz) const;

private:
    double refined(std::span<const double> amplitude, double hertz) const;

    int m_sampleRate;
    std::size_t m_stretch;
    RealFft m_fft;
    std::vector<double> m_weights;
};

} // namespace fretmap
