#include "sound/note_evidence.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

namespace fretmap {
namespace {

// 80 ms compared before and after: with the partials above the fundamental,
// enough to tell a semitone on the lowest string.
constexpr double kStretchSeconds = 0.08;
// The transform pads the stretch to four times its length, for finer bins.
constexpr std::size_t kPadding = 4;
// A partial is looked for this close to its place: a stiff string's upper
// partials lie a little sharp.
constexpr double kPartialCents = 35.0;
// The partials counted, up to this frequency.
constexpr int kPartials = 10;
constexpr double kHighestPartialHertz = 5000.0;
// The note's frequency is measured on its first partials, those at least
// this share of the strongest one's power.
constexpr int kRefinedPartials = 4;
constexpr double kRefinedCents = 60.0; // where each peak is looked for
constexpr double kLeastRefinedPower = 0.05;
// A bin rises against the bins this near it.
constexpr std::size_t kNeighbourBins = 2;
// The candidates lie this far apart.
constexpr double kCandidateCents = 10.0;
// A note an octave (or a twelfth) below another is taken only where its
// own partials, those the higher note lacks, hold this share of the
// partials the two share.
constexpr double kOwnPartialsShare = 0.3;
// Fainter own partials count where at least two of them are no fainter
// than this share of the strongest partial, and this many times the noise.
constexpr double kFaintOwnPartialsShare = 0.08;
constexpr double kFaintPartial = 0.03;
constexpr double kOverNoise = 10.0;

} // namespace

NoteEvidence::NoteEvidence(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_stretch(static_cast<std::size_t>(kStretchSeconds * sampleRate))
    , m_fft(std::bit_ceil(kPadding * m_stretch))
    , m_weights(m_stretch)
{
    for (std::size_t i = 0; i < m_stretch; ++i)
        m_weights[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(m_stretch));
}

std::vector<double> NoteEvidence::spectrum(std::span<const float> stretch)
{
    stretch = stretch.last(std::min(stretch.size(), m_stretch));
    const double mean = stretch.empty() ? 0.0 : std::accumulate(stretch.begin(), stretch.end(), 0.0) / double(stretch.size());
    std::vector<double> power;
    m_fft.powerSpectrum(stretch, mean, std::span<const double>(m_weights).first(stretch.size()), power);
    return power;
}

namespace {

double partialNear(std::span<const double> amplitude, double binHertz, double hertz)
{
    const double reach = std::max(1.5 * binHertz, hertz * (std::exp2(kPartialCents / 1200.0) - 1.0));
    const auto from = static_cast<std::size_t>(std::max(0.0, std::floor((hertz - reach) / binHertz)));
    const auto to = std::min(amplitude.size() - 1, static_cast<std::size_t>(std::ceil((hertz + reach) / binHertz)));
    // A peak counts less the farther it lies from its place, so that the
    // candidate nearest the note scores best.
    double best = 0.0;
    for (std::size_t k = from; k <= to; ++k) {
        const double off = (double(k) * binHertz - hertz) / (reach + binHertz);
        best = std::max(best, amplitude[k] * (1.0 - 0.5 * off * off));
    }
    return best;
}

} // namespace

double partialStrength(std::span<const double> amplitude, double binHertz, double hertz, Partials which, int multiple)
{
    double sum = 0.0;
    const double highest = std::min(kHighestPartialHertz, binHertz * double(amplitude.size()) * 0.9);
    for (int k = 1; k <= kPartials && k * hertz <= highest; ++k) {
        const bool isMultiple = multiple > 1 && k % multiple == 0;
        if (which == Partials::All || isMultiple == (which == Partials::OnlyMultiples))
            sum += partialNear(amplitude, binHertz, k * hertz);
    }
    return sum;
}

bool ownPartialsHeard(std::span<const double> amplitude, double binHertz, double hertz, int multiple)
{
    const double own = partialStrength(amplitude, binHertz, hertz, Partials::NotMultiples, multiple);
    const double shared = partialStrength(amplitude, binHertz, hertz, Partials::OnlyMultiples, multiple);
    if (own >= kOwnPartialsShare * shared)
        return true;
    if (own < kFaintOwnPartialsShare * shared)
        return false;
    // Fainter own partials count where several of them stand out of the
    // noise: a lone hum or a body's resonance under a note is no lower note.
    std::vector<double> sorted(amplitude.begin(), amplitude.end());
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double noise = *middle;
    double strongest = 0.0;
    const double highest = std::min(kHighestPartialHertz, binHertz * double(amplitude.size()) * 0.9);
    for (int k = 1; k <= kPartials && k * hertz <= highest; ++k)
        strongest = std::max(strongest, partialNear(amplitude, binHertz, k * hertz));
    int standing = 0;
    for (int k = 1; k <= kPartials && k * hertz <= highest; ++k) {
        const double a = partialNear(amplitude, binHertz, k * hertz);
        if (k % multiple != 0 && a >= kFaintPartial * strongest && a >= kOverNoise * noise)
            ++standing;
    }
    return standing >= 2;
}

// The note's frequency from the peaks of its first partials, each placed
// between bins by the parabola through the logarithms of its three highest
// (exact for the Gaussian that a Hann window nearly is), weighed by its power.
double NoteEvidence::refined(std::span<const double> amplitude, double hertz) const
{
    const double bin = m_fft.binHertz(m_sampleRate);
    double sum = 0.0;
    double weights = 0.0;
    double loudest = 0.0;
    std::vector<std::pair<double, double>> peaks; // frequency / k, power
    for (int k = 1; k <= kRefinedPartials && k * hertz <= std::min(kHighestPartialHertz, 0.45 * m_sampleRate); ++k) {
        const double reach = std::max(1.5 * bin, k * hertz * (std::exp2(kRefinedCents / 1200.0) - 1.0));
        const auto from = static_cast<std::size_t>(std::max(1.0, std::floor((k * hertz - reach) / bin)));
        const auto to = std::min(amplitude.size() - 2, static_cast<std::size_t>(std::ceil((k * hertz + reach) / bin)));
        std::size_t at = from;
        for (std::size_t b = from; b <= to; ++b) {
            if (amplitude[b] > amplitude[at])
                at = b;
        }
        if (at == from || at == to || amplitude[at] <= 0.0)
            continue;
        const double before = std::log(std::max(amplitude[at - 1], 1e-30));
        const double middle = std::log(amplitude[at]);
        const double after = std::log(std::max(amplitude[at + 1], 1e-30));
        const double curvature = before - 2.0 * middle + after;
        const double offset = curvature < 0.0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
        peaks.emplace_back((double(at) + offset) * bin / k, amplitude[at] * amplitude[at]);
        loudest = std::max(loudest, amplitude[at] * amplitude[at]);
    }
    for (const auto& [frequency, power] : peaks) {
        if (power < kLeastRefinedPower * loudest)
            continue;
        sum += frequency * power;
        weights += power;
    }
    return weights > 0.0 ? sum / weights : hertz;
}

std::optional<NoteEvidence::Pick> NoteEvidence::pick(std::span<const double> before, std::span<const double> after,
                                                     double lowestHertz, double highestHertz) const
{
    if (before.size() != after.size() || after.empty() || !(lowestHertz > 0.0) || highestHertz < lowestHertz)
        return std::nullopt;
    std::vector<double> amplitude(after.size());
    // The rise of each bin over itself alone: the shape of a partial that
    // a ringing string shares, for the partials' places and the octaves.
    std::vector<double> plain(after.size());
    double added = 0.0;
    double total = 0.0;
    for (std::size_t k = 0; k < after.size(); ++k) {
        // Against the loudest of the bins around before, so that noise,
        // which swells in one bin and fades in the next, hardly rises.
        const std::size_t low = k < kNeighbourBins ? 0 : k - kNeighbourBins;
        const std::size_t high = std::min(after.size() - 1, k + kNeighbourBins);
        const double reference = *std::max_element(before.begin() + static_cast<std::ptrdiff_t>(low),
                                                   before.begin() + static_cast<std::ptrdiff_t>(high) + 1);
        const double rise = std::max(0.0, after[k] - reference);
        amplitude[k] = std::sqrt(rise);
        plain[k] = std::sqrt(std::max(0.0, after[k] - before[k]));
        added += rise;
        total += after[k];
    }
    if (added <= 0.0)
        return std::nullopt;

    const double bin = m_fft.binHertz(m_sampleRate);
    const auto bestNear = [&](double from, double to) {
        double best = from;
        double bestStrength = -1.0;
        for (double hertz = from; hertz <= to; hertz *= std::exp2(kCandidateCents / 1200.0)) {
            const double s = partialStrength(amplitude, bin, hertz);
            if (s > bestStrength) {
                bestStrength = s;
                best = hertz;
            }
        }
        return best;
    };
    double hertz = bestNear(lowestHertz, highestHertz);
    // A lower note shares every partial of the notes an octave and a
    // twelfth above it: it is kept only where its own partials are there.
    for (bool moved = true; moved;) {
        moved = false;
        for (int multiple : {2, 3}) {
            if (hertz * multiple > highestHertz * std::exp2(kCandidateCents / 1200.0))
                continue;
            if (!ownPartialsHeard(plain, bin, hertz, multiple)) {
                const double above = hertz * multiple;
                hertz = bestNear(std::max(lowestHertz, above * std::exp2(-50.0 / 1200.0)),
                                 std::min(highestHertz, above * std::exp2(50.0 / 1200.0)));
                moved = true;
                break;
            }
        }
    }
    hertz = refined(plain, hertz);
    // How much of the added power lies on the chosen note's partials.
    double onPartials = 0.0;
    for (int k = 1; k <= kPartials && k * hertz <= std::min(kHighestPartialHertz, 0.45 * m_sampleRate); ++k) {
        const double reach = std::max(2.5 * bin, k * hertz * (std::exp2(kPartialCents / 1200.0) - 1.0));
        const auto from = static_cast<std::size_t>(std::max(0.0, (k * hertz - reach) / bin));
        const auto to = std::min(amplitude.size() - 1, static_cast<std::size_t>((k * hertz + reach) / bin));
        for (std::size_t b = from; b <= to; ++b)
            onPartials += amplitude[b] * amplitude[b];
    }
    return Pick{hertz, onPartials / added, total > 0.0 ? added / total : 0.0};
}

} // namespace fretmap
