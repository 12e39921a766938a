#include "sound/onset_detector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

namespace fretmap {
namespace {

// About 21 ms of sound a frame: short enough to place an onset within a
// hop, long enough to part the partials of the higher strings.
constexpr double kFrameSeconds = 0.021;
// Each bin rises against the bins of the hop this many hops before: a
// pluck's rise takes a few milliseconds, and the frames overlap.
constexpr std::size_t kLagHops = 2;
// ... and against the loudest of this many hops from there back, so that
// noise, which swells in one hop and fades in the next, hardly rises.
constexpr std::size_t kMemoryHops = 3;
// A bin's power counts above this floor, about 80 dB under full scale,
// through a logarithm, so that a soft new partial rises as much as a loud
// one.
constexpr double kPowerFloor = 1e-8;
// The flux of an onset stands this far over the most flux of the hops
// before it, and over a least flux, in bins risen tenfold. Listening for a
// string it knows is played, the check hears softer plucks: what it then
// takes for a note must show that note's partials.
struct Threshold {
    double overRecent;
    double least;
};
constexpr Threshold kPlain{2.5, 8.0};
constexpr Threshold kSensitive{1.7, 4.0};
constexpr std::size_t kRecentHops = 8;
// The bins looked at: the lowest string's fundamental to the high E's
// eighth partial.
constexpr double kLowestHertz = 70.0;
constexpr double kHighestHertz = 5000.0;

} // namespace

OnsetDetector::OnsetDetector(int sampleRate)
    : m_frame(std::bit_floor(static_cast<std::size_t>(kFrameSeconds * sampleRate)))
    , m_fft(m_frame)
    , m_weights(m_frame)
    , m_lowestBin(static_cast<std::size_t>(kLowestHertz / m_fft.binHertz(sampleRate)))
    , m_highestBin(std::min(m_frame / 2, static_cast<std::size_t>(kHighestHertz / m_fft.binHertz(sampleRate))))
{
    double sum = 0.0;
    for (std::size_t i = 0; i < m_frame; ++i) {
        m_weights[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(m_frame));
        sum += m_weights[i] * m_weights[i];
    }
    // Power per sample, whatever the frame's length.
    for (double& w : m_weights)
        w /= std::sqrt(sum);
}

bool OnsetDetector::feed(std::span<const float> window, bool sensitive)
{
    const std::span<const float> frame = window.last(std::min(window.size(), m_frame));
    const double mean = frame.empty() ? 0.0 : std::accumulate(frame.begin(), frame.end(), 0.0) / double(frame.size());
    m_fft.powerSpectrum(frame, mean, m_weights.size() == frame.size() ? std::span<const double>(m_weights) : std::span<const double>(),
                        m_power);
    std::vector<double> compressed(m_highestBin + 2, 0.0);
    for (std::size_t k = m_lowestBin; k <= m_highestBin; ++k)
        compressed[k] = std::log10(1.0 + m_power[k] / kPowerFloor);

    double flux = 0.0;
    if (m_past.size() >= kLagHops + kMemoryHops - 1) {
        for (std::size_t k = std::max<std::size_t>(m_lowestBin, 1); k <= m_highestBin; ++k) {
            double reference = 0.0;
            for (std::size_t back = kLagHops; back < kLagHops + kMemoryHops; ++back) {
                const std::vector<double>& before = m_past[m_past.size() - back];
                reference = std::max({reference, before[k - 1], before[k], before[k + 1]});
            }
            flux += std::max(0.0, compressed[k] - reference);
        }
    }
    m_past.push_back(std::move(compressed));
    if (m_past.size() > kLagHops + kMemoryHops - 1)
        m_past.pop_front();

    double recent = 0.0;
    for (double f : m_recentFlux)
        recent = std::max(recent, f);
    m_recentFlux.push_back(flux);
    if (m_recentFlux.size() > kRecentHops)
        m_recentFlux.pop_front();
    m_lastFlux = flux;
    const Threshold& threshold = sensitive ? kSensitive : kPlain;
    return flux > threshold.least && flux > threshold.overRecent * recent;
}

} // namespace fretmap
