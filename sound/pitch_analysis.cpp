#include "sound/pitch_analysis.h"

#include "sound/note_listener.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

namespace fretmap::pitch_analysis {
namespace {

// The McLeod method's choice: the first peak that reaches this share of the
// highest peak is the period, so that a lower octave that repeats a little
// better does not win.
constexpr double kFirstPeakShare = 0.9;
// Below this, no peak counts: noise, or several notes at once.
constexpr double kLeastClarity = 0.5;
// A peak at twice or three times the lag chosen that repeats better than
// this margin means the lag was a partial's: the fundamental is weak.
constexpr double kOctaveMargin = 0.02;

// The band around the fundamental: three two-pole band-passes of this Q take
// the second partial more than 45 dB down, so that what is left repeats at
// the fundamental's own period.
constexpr double kBandQ = 4.0;
constexpr int kBandStages = 3;
// Periods left for the band-pass to settle before the period is measured.
constexpr double kSettlingPeriods = 4.0;
// What a band with a fundamental in it repeats at least.
constexpr double kLeastBandClarity = 0.9;
// How far the measured fundamental may lie from the rough pitch.
constexpr double kMostRefinementCents = 35.0;

// The vertex of the parabola through three equally spaced values: its
// offset from the middle one (-0.5 to 0.5 for a true peak) and its height.
struct Vertex {
    double offset;
    double height;
};

Vertex parabolaVertex(double before, double at, double after)
{
    const double curvature = before - 2.0 * at + after;
    if (curvature >= 0.0)
        return {0.0, at};
    const double offset = std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    return {offset, at - 0.25 * (before - after) * offset};
}

// How well `y` repeats at `lag`: 1 for a perfect repeat, 0 for none.
double normalisedCorrelation(std::span<const double> y, std::size_t lag)
{
    if (lag >= y.size())
        return 0.0;
    double product = 0.0;
    double energy = 0.0;
    for (std::size_t j = 0; j + lag < y.size(); ++j) {
        product += y[j] * y[j + lag];
        energy += y[j] * y[j] + y[j + lag] * y[j + lag];
    }
    return energy > 0.0 ? 2.0 * product / energy : 0.0;
}

// The peak of normalisedCorrelation() nearest `lag`, climbing from it.
std::optional<Period> correlationPeakNear(std::span<const double> y, double lag)
{
    auto at = static_cast<std::size_t>(std::lround(lag));
    if (at < 2 || at + 2 >= y.size())
        return std::nullopt;
    double here = normalisedCorrelation(y, at);
    double before = normalisedCorrelation(y, at - 1);
    double after = normalisedCorrelation(y, at + 1);
    // A few steps at most: the rough lag is within a few samples.
    for (int step = 0; step < 8; ++step) {
        if (after > here && at + 2 < y.size()) {
            before = here;
            here = after;
            ++at;
            after = normalisedCorrelation(y, at + 1);
        } else if (before > here && at > 2) {
            after = here;
            here = before;
            --at;
            before = normalisedCorrelation(y, at - 1);
        } else {
            break;
        }
    }
    if (before > here || after > here)
        return std::nullopt;
    const Vertex vertex = parabolaVertex(before, here, after);
    return Period{double(at) + vertex.offset, vertex.height};
}

} // namespace

PitchAnalyzer::PitchAnalyzer(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_shortestLag(static_cast<std::size_t>(std::floor(sampleRate / kHighestHeardPitch)))
    , m_longestLag(static_cast<std::size_t>(std::ceil(sampleRate / kLowestHeardPitch)))
{
    m_window = 3 * m_longestLag;
    m_fftSize = std::bit_ceil(m_window + m_longestLag + 1);
    m_twiddles.resize(m_fftSize / 2);
    for (std::size_t k = 0; k < m_twiddles.size(); ++k)
        m_twiddles[k] = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(m_fftSize));
    m_bitReversed.resize(m_fftSize);
    const int bits = std::countr_zero(m_fftSize);
    for (std::size_t i = 0; i < m_fftSize; ++i) {
        std::size_t reversed = 0;
        for (int b = 0; b < bits; ++b)
            reversed |= ((i >> b) & 1U) << (bits - 1 - b);
        m_bitReversed[i] = reversed;
    }
    m_spectrum.resize(m_fftSize);
    m_nsdf.assign(m_longestLag + 1, 0.0);
}

void PitchAnalyzer::transform(std::vector<std::complex<double>>& data, bool inverse) const
{
    const std::size_t n = data.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i < m_bitReversed[i])
            std::swap(data[i], data[m_bitReversed[i]]);
    }
    for (std::size_t half = 1; half < n; half *= 2) {
        const std::size_t stride = n / (2 * half);
        for (std::size_t start = 0; start < n; start += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> w = inverse ? std::conj(m_twiddles[k * stride]) : m_twiddles[k * stride];
                const std::complex<double> odd = w * data[start + k + half];
                data[start + k + half] = data[start + k] - odd;
                data[start + k] += odd;
            }
        }
    }
}

std::optional<Period> PitchAnalyzer::coarsePeriod(std::span<const float> samples)
{
    const std::span<const float> window = samples.last(std::min(samples.size(), m_window));
    const std::size_t n = window.size();
    const std::size_t longest = std::min(m_longestLag, n / 2);
    std::fill(m_nsdf.begin(), m_nsdf.end(), 0.0);
    if (longest < m_shortestLag + 2)
        return std::nullopt;

    const double mean = std::accumulate(window.begin(), window.end(), 0.0) / double(n);
    std::fill(m_spectrum.begin(), m_spectrum.end(), std::complex<double>{});
    double energy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = window[i] - mean;
        m_spectrum[i] = x;
        energy += x * x;
    }
    if (energy <= 0.0)
        return std::nullopt;

    // The autocorrelation through the power spectrum: the window is padded
    // with zeros past its longest lag, so nothing wraps around.
    std::vector<double> squares(n);
    for (std::size_t i = 0; i < n; ++i)
        squares[i] = std::norm(m_spectrum[i]);
    transform(m_spectrum, false);
    for (auto& bin : m_spectrum)
        bin = std::norm(bin);
    transform(m_spectrum, true);
    const double scale = 1.0 / double(m_fftSize);

    // The normalised square difference: 2 r(lag) / m(lag), where m sums the
    // squares of both overlapping parts.
    double m = 2.0 * energy;
    m_nsdf[0] = 1.0;
    for (std::size_t lag = 1; lag <= longest; ++lag) {
        m -= squares[lag - 1] + squares[n - lag];
        m_nsdf[lag] = m > 0.0 ? 2.0 * m_spectrum[lag].real() * scale / m : 0.0;
    }

    // The key maxima: the highest point of each stretch where the function
    // is positive, after its first fall below zero.
    std::vector<std::size_t> keyMaxima;
    std::size_t lag = 1;
    while (lag <= longest && m_nsdf[lag] > 0.0)
        ++lag;
    std::optional<std::size_t> highest;
    for (; lag <= longest; ++lag) {
        if (m_nsdf[lag] > 0.0) {
            if (!highest || m_nsdf[lag] > m_nsdf[*highest])
                highest = lag;
        } else if (highest) {
            keyMaxima.push_back(*highest);
            highest.reset();
        }
    }
    // A stretch cut off by the longest lag counts only with a true peak in it.
    if (highest && *highest < longest)
        keyMaxima.push_back(*highest);
    std::erase_if(keyMaxima, [this](std::size_t at) { return at < m_shortestLag; });
    if (keyMaxima.empty())
        return std::nullopt;

    double best = 0.0;
    for (std::size_t at : keyMaxima)
        best = std::max(best, m_nsdf[at]);
    if (best < kLeastClarity)
        return std::nullopt;
    const auto chosen = *std::find_if(keyMaxima.begin(), keyMaxima.end(),
                                      [&](std::size_t at) { return m_nsdf[at] >= kFirstPeakShare * best; });
    const Vertex vertex = parabolaVertex(m_nsdf[chosen - 1], m_nsdf[chosen], m_nsdf[chosen + 1]);
    Period period{double(chosen) + vertex.offset, vertex.height};

    // A fundamental far under its second or third partial: the window then
    // repeats better at twice or three times the partial's period.
    Period checked = period;
    for (int multiple : {2, 3}) {
        const auto other = peakNear(multiple * period.lag);
        if (other && other->clarity > checked.clarity + kOctaveMargin)
            checked = *other;
    }
    return checked;
}

std::optional<Period> PitchAnalyzer::peakNear(double lag) const
{
    const auto around = static_cast<std::size_t>(std::lround(lag));
    const auto reach = static_cast<std::size_t>(std::max(2.0, 0.02 * lag));
    if (around < reach + 1 || around + reach + 1 >= m_nsdf.size())
        return std::nullopt;
    std::size_t at = around - reach;
    for (std::size_t i = around - reach; i <= around + reach; ++i) {
        if (m_nsdf[i] > m_nsdf[at])
            at = i;
    }
    if (m_nsdf[at] <= 0.0 || m_nsdf[at - 1] > m_nsdf[at] || m_nsdf[at + 1] > m_nsdf[at])
        return std::nullopt;
    const Vertex vertex = parabolaVertex(m_nsdf[at - 1], m_nsdf[at], m_nsdf[at + 1]);
    return Period{double(at) + vertex.offset, vertex.height};
}

std::optional<double> PitchAnalyzer::fundamental(std::span<const float> stretch, double roughHertz)
{
    if (!(roughHertz > 0.0))
        return std::nullopt;
    const double period = m_sampleRate / roughHertz;
    const auto settling = static_cast<std::size_t>(std::ceil(kSettlingPeriods * period));
    if (double(stretch.size()) < double(settling) + 2.5 * period)
        return std::nullopt;

    // The band-pass of constant peak gain, centred on the rough pitch.
    const double w0 = 2.0 * std::numbers::pi * roughHertz / m_sampleRate;
    const double alpha = std::sin(w0) / (2.0 * kBandQ);
    const double a0 = 1.0 + alpha;
    const double b0 = alpha / a0;
    const double a1 = -2.0 * std::cos(w0) / a0;
    const double a2 = (1.0 - alpha) / a0;

    m_filtered.assign(stretch.begin(), stretch.end());
    for (int stage = 0; stage < kBandStages; ++stage) {
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (double& sample : m_filtered) {
            const double y = b0 * (sample - x2) - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = sample;
            y2 = y1;
            y1 = y;
            sample = y;
        }
    }
    const std::span<const double> band = std::span<const double>(m_filtered).subspan(settling);

    const auto first = correlationPeakNear(band, period);
    if (!first || first->clarity < kLeastBandClarity)
        return std::nullopt;
    // The same peak many periods on tells the period as many times finer.
    double measured = first->lag;
    const auto periods = static_cast<std::size_t>(0.5 * double(band.size()) / first->lag);
    if (periods >= 2) {
        const auto far = correlationPeakNear(band, double(periods) * first->lag);
        if (far && far->clarity >= kLeastBandClarity)
            measured = far->lag / double(periods);
    }
    const double hertz = m_sampleRate / measured;
    if (std::abs(1200.0 * std::log2(hertz / roughHertz)) > kMostRefinementCents)
        return std::nullopt;
    return hertz;
}

} // namespace fretmap::pitch_analysis
