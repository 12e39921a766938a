#include "sound/pitch_analysis.h"

#include "sound/note_evidence.h"
#include "sound/pitch_units.h"

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
// A new note over ringing ones is heard apart from them when it adds at
// least this share of the window's power: otherwise the window is taken
// whole (the same string struck again more softly than it still rings).
constexpr double kLeastNewShare = 0.1;
// The share of the power before the onset that is taken away: the strings
// fade meanwhile, and a new note may share a frequency with one of theirs
// (a twelfth above the low E is the B string), where taking it all away
// would take the new note with it.
constexpr double kRingingShare = 1.0;
// Below this share of the power, what rang before is no more than the
// room's noise: the window is taken whole.
constexpr double kLeastRingingShare = 0.03;

// The fundamental is measured past three running sums of a period each,
// over at least this many periods.
constexpr std::size_t kBasebandSums = 3;
// Sums over several periods lie narrower: two of them are enough.
constexpr std::size_t kNarrowSums = 2;
constexpr double kLeastMeasuredPeriods = 2.0;
// What a fundamental, alone in its band, keeps of its turn from one end of
// the stretch to the other at least.
constexpr double kLeastBandClarity = 0.8;
constexpr double kLeastWideBandClarity = 0.97;
// A fundamental that keeps this much of its turn stands well out of the
// noise and is taken alone.
constexpr double kTrustedCoherence = 0.999;
// The running sums span at least this long, so that the band is narrow.
constexpr double kNarrowSumSeconds = 0.02;
// How far the measured fundamental may lie from the rough pitch.
constexpr double kMostRefinementCents = 35.0;

// A complex product without the checks for infinities that the standard
// one makes, which keep it from being inlined.
std::complex<double> times(std::complex<double> a, std::complex<double> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

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

} // namespace

PitchAnalyzer::PitchAnalyzer(int sampleRate)
    : m_sampleRate(sampleRate)
    , m_shortestLag(static_cast<std::size_t>(std::floor(sampleRate / kHighestHeardPitch)))
    , m_longestLag(static_cast<std::size_t>(std::ceil(sampleRate / kLowestHeardPitch)))
    , m_window(3 * m_longestLag)
    , m_fft(std::bit_ceil(m_window + m_longestLag + 1))
{
    m_power.resize(m_fft.size() / 2 + 1);
    m_correlation.resize(m_longestLag + 2);
    m_hann.resize(m_window);
    for (std::size_t i = 0; i < m_window; ++i)
        m_hann[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(m_window));
    // How the Hann window's own autocorrelation falls with the lag.
    m_hannCorrelation.assign(m_longestLag + 1, 0.0);
    for (std::size_t lag = 0; lag <= m_longestLag; ++lag) {
        for (std::size_t i = 0; i + lag < m_window; ++i)
            m_hannCorrelation[lag] += m_hann[i] * m_hann[i + lag];
    }
    const double atZero = m_hannCorrelation[0];
    for (double& value : m_hannCorrelation)
        value /= atZero;
    m_nsdf.assign(m_longestLag + 1, 0.0);
}

std::optional<Period> PitchAnalyzer::coarsePeriod(std::span<const float> samples, std::span<const double> background)
{
    const std::span<const float> window = samples.last(std::min(samples.size(), m_window));
    const std::size_t longest = std::min(m_longestLag, window.size() / 2);
    std::fill(m_nsdf.begin(), m_nsdf.end(), 0.0);
    m_heardNew = false;
    if (longest < m_shortestLag + 2 || !squareDifference(window, background, longest))
        return std::nullopt;

    const std::vector<std::size_t> keyMaxima = keyMaximaUpTo(longest);
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
    const Period period{double(chosen) + vertex.offset, vertex.height};

    if (m_heardNew) {
        // What is left of a new note once the ringing strings are taken
        // away is too rough for the check below: there the first peak
        // stands, its clarity told without the window's fall.
        const auto at = static_cast<std::size_t>(std::lround(period.lag));
        return shortestExplaining(Period{period.lag, std::min(1.0, period.clarity / m_hannCorrelation[std::min(at, m_longestLag)])});
    }
    // A fundamental far under its second or third partial: the window then
    // repeats better at twice or three times the partial's period. That
    // longer period is taken only where the spectrum holds the partials
    // that only the lower note explains.
    Period checked = period;
    for (int multiple : {2, 3}) {
        const auto other = peakNear(multiple * period.lag);
        if (other && other->clarity > checked.clarity + kOctaveMargin && ownPartialsHeard(other->lag, multiple))
            checked = *other;
    }
    return shortestExplaining(checked);
}

bool PitchAnalyzer::ownPartialsHeard(double lag, int multiple)
{
    m_amplitude.resize(m_power.size());
    std::transform(m_power.begin(), m_power.end(), m_amplitude.begin(), [](double p) { return std::sqrt(std::max(0.0, p)); });
    return fretmap::ownPartialsHeard(m_amplitude, m_fft.binHertz(m_sampleRate), m_sampleRate / lag, multiple);
}

// A period chosen too long, where a window repeats nearly as well at twice
// or three times the true one: the note it stands for then lacks its own
// partials, and the shorter period is the note's.
Period PitchAnalyzer::shortestExplaining(Period period)
{
    for (bool moved = true; moved;) {
        moved = false;
        for (int multiple : {2, 3}) {
            if (m_sampleRate / period.lag * multiple > kHighestHeardPitch || ownPartialsHeard(period.lag, multiple))
                continue;
            if (const auto shorter = peakNear(period.lag / multiple); shorter && shorter->lag >= double(m_shortestLag)) {
                period = Period{shorter->lag, std::max(shorter->clarity, period.clarity)};
                moved = true;
                break;
            }
        }
    }
    return period;
}

bool PitchAnalyzer::squareDifference(std::span<const float> window, std::span<const double> background, std::size_t longest)
{
    const std::size_t n = window.size();
    const double mean = std::accumulate(window.begin(), window.end(), 0.0) / double(n);
    double energy = 0.0;
    m_squares.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = window[i] - mean;
        m_squares[i] = x * x;
        energy += x * x;
    }
    if (energy <= 0.0)
        return false;

    // What a new note adds to strings that still ring: the power above that
    // of the window before it began. Both are taken through a Hann window,
    // so that each ringing partial stays in its own few bins.
    if (background.size() == m_power.size() && n == m_window) {
        m_fft.powerSpectrum(window, mean, m_hann, m_power);
        double total = 0.0;
        double added = 0.0;
        for (std::size_t k = 0; k < m_power.size(); ++k) {
            const double more = std::max(0.0, m_power[k] - kRingingShare * background[k]);
            total += m_power[k];
            added += more;
            m_power[k] = more;
        }
        m_heardNew = added > kLeastNewShare * total && total - added > kLeastRingingShare * total;
    }
    // The autocorrelation through the power spectrum: the window is padded
    // with zeros past its longest lag, so nothing wraps around.
    if (!m_heardNew)
        m_fft.powerSpectrum(window, mean, {}, m_power);
    m_fft.correlation(m_power, m_correlation);

    m_nsdf[0] = 1.0;
    if (m_heardNew) {
        // Only a power spectrum is left: its autocorrelation, which falls
        // with the overlap, so that the first peak is favoured.
        const double r0 = m_correlation[0];
        for (std::size_t lag = 1; lag <= longest; ++lag)
            m_nsdf[lag] = r0 > 0.0 ? m_correlation[lag] / r0 : 0.0;
        return true;
    }
    // The normalised square difference: 2 r(lag) / m(lag), where m sums the
    // squares of both overlapping parts.
    double m = 2.0 * energy;
    for (std::size_t lag = 1; lag <= longest; ++lag) {
        m -= m_squares[lag - 1] + m_squares[n - lag];
        m_nsdf[lag] = m > 0.0 ? 2.0 * m_correlation[lag] / m : 0.0;
    }
    return true;
}

std::vector<std::size_t> PitchAnalyzer::keyMaximaUpTo(std::size_t longest) const
{
    // The highest point of each stretch where the function is positive,
    // after its first fall below zero, at the shortest lag or longer.
    std::vector<std::size_t> keyMaxima;
    std::size_t lag = 1;
    while (lag <= longest && m_nsdf[lag] > 0.0)
        ++lag;
    std::size_t highest = 0; // 0 while outside a positive stretch
    for (; lag <= longest; ++lag) {
        if (m_nsdf[lag] > 0.0) {
            if (highest == 0 || m_nsdf[lag] > m_nsdf[highest])
                highest = lag;
        } else if (highest != 0) {
            keyMaxima.push_back(highest);
            highest = 0;
        }
    }
    // A stretch cut off by the longest lag counts only with a true peak in it.
    if (highest != 0 && highest < longest)
        keyMaxima.push_back(highest);
    std::erase_if(keyMaxima, [this](std::size_t at) { return at < m_shortestLag; });
    return keyMaxima;
}

std::vector<double> PitchAnalyzer::background(std::span<const float> samples)
{
    if (samples.size() < m_window)
        return {};
    const std::span<const float> window = samples.last(m_window);
    const double mean = std::accumulate(window.begin(), window.end(), 0.0) / double(m_window);
    m_fft.powerSpectrum(window, mean, m_hann, m_power);
    return m_power;
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
    // A band some 40 Hz wide keeps noise, a room's echo of the pluck and
    // other strings away; a stretch too short for it gets a band as wide as
    // the pitch, trusted only where the fundamental is alone in it.
    const auto periods = static_cast<std::size_t>(std::ceil(kNarrowSumSeconds * roughHertz));
    if (periods > 1) {
        if (const auto narrow = fundamentalIn(stretch, roughHertz, {periods, kLeastBandClarity}))
            return narrow;
        const double needed = (kNarrowSums * double(periods) + kLeastMeasuredPeriods) * m_sampleRate / roughHertz;
        if (double(stretch.size()) >= needed)
            return std::nullopt;
    }
    return fundamentalIn(stretch, roughHertz, {1, periods > 1 ? kLeastWideBandClarity : kLeastBandClarity});
}

std::optional<double> PitchAnalyzer::fundamentalIn(std::span<const float> stretch, double roughHertz, Band wanted)
{
    // The stretch is shifted down by the rough pitch, so that the
    // fundamental lies near 0 Hz and partial k near k - 1 times the pitch;
    // running sums over whole periods then take every partial but the
    // fundamental away (each lies near a zero of theirs, however stiff the
    // string), with nothing that rings on past them as a recursive filter
    // would.
    const double period = m_sampleRate / roughHertz;
    const auto length = static_cast<std::size_t>(std::max(2L, std::lround(double(wanted.periods) * period)));
    const std::size_t sums = wanted.periods > 1 ? kNarrowSums : kBasebandSums;
    if (double(stretch.size()) < double(sums * (length - 1)) + kLeastMeasuredPeriods * period)
        return std::nullopt;

    const Turn first = partialTurn(stretch, roughHertz, {length, sums});
    double hertz = first.hertz;
    if (first.coherence < kTrustedCoherence) {
        // A fundamental far under its partials, in noise: the second
        // partial, measured the same way, tells it too, a little sharp on a
        // stiff string (a cent at most). Each counts as clearly as it stands
        // out of the noise, the second twice as fine.
        const Turn second = partialTurn(stretch, 2.0 * roughHertz, {length, sums});
        const auto weight = [&wanted](double coherence) {
            return coherence < wanted.leastCoherence ? 0.0 : coherence / std::max(1e-6, 1.0 - coherence);
        };
        const double firstWeight = weight(first.coherence);
        const double secondWeight = 4.0 * weight(second.coherence);
        if (firstWeight + secondWeight <= 0.0)
            return std::nullopt;
        hertz = (firstWeight * first.hertz + secondWeight * 0.5 * second.hertz) / (firstWeight + secondWeight);
    }
    if (std::abs(centsBetween(hertz, roughHertz)) > kMostRefinementCents)
        return std::nullopt;
    return hertz;
}

PitchAnalyzer::Turn PitchAnalyzer::partialTurn(std::span<const float> stretch, double centreHertz, RunningSums running)
{
    const std::size_t length = running.length;
    const std::size_t sums = running.count;
    m_baseband.resize(stretch.size());
    const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi * centreHertz / m_sampleRate);
    std::complex<double> turn = 1.0;
    for (std::size_t n = 0; n < stretch.size(); ++n) {
        m_baseband[n] = double(stretch[n]) * turn;
        turn = times(turn, step);
        if (n % 1024 == 1023)
            turn /= std::abs(turn);
    }
    std::size_t valid = stretch.size();
    for (std::size_t sum = 0; sum < sums; ++sum) {
        double real = 0.0;
        double imaginary = 0.0;
        for (std::size_t n = 0; n < length; ++n) {
            real += m_baseband[n].real();
            imaginary += m_baseband[n].imag();
        }
        for (std::size_t n = 0; n + length <= valid; ++n) {
            const double firstReal = m_baseband[n].real();
            const double firstImaginary = m_baseband[n].imag();
            m_baseband[n] = {real, imaginary};
            if (n + length < valid) {
                real += m_baseband[n + length].real() - firstReal;
                imaginary += m_baseband[n + length].imag() - firstImaginary;
            }
        }
        valid -= length - 1;
    }
    // What is left is narrower than the sums' zeros lie apart: a few
    // samples between each two of them tell its turning as well as all.
    const std::size_t every = std::max<std::size_t>(1, length / 16);
    std::size_t kept = 0;
    for (std::size_t n = 0; n < valid; n += every)
        m_baseband[kept++] = m_baseband[n];
    const std::span<const std::complex<double>> band(m_baseband.data(), kept);

    // What is left turns at the partial's distance from the centre:
    // measured first over the sums' length, which cannot wrap, then over
    // half the stretch, which is finer by as much.
    const auto turnOver = [band](std::size_t lag, double expected) {
        std::complex<double> sum = 0.0;
        double before = 0.0;
        double after = 0.0;
        for (std::size_t n = 0; n + lag < band.size(); ++n) {
            sum += times(band[n + lag], std::conj(band[n]));
            before += std::norm(band[n]);
            after += std::norm(band[n + lag]);
        }
        const double coherence = before > 0.0 && after > 0.0 ? std::abs(sum) / std::sqrt(before * after) : 0.0;
        const double angle = std::arg(times(sum, std::polar(1.0, -expected * double(lag))));
        return std::pair{expected + angle / double(lag), coherence};
    };
    const auto [coarse, coherence] = turnOver(std::max<std::size_t>(1, length / every), 0.0);
    const auto [fine, fineCoherence] = turnOver(band.size() / 2, coarse);
    return {centreHertz + fine / double(every) * m_sampleRate / (2.0 * std::numbers::pi), std::min(coherence, fineCoherence)};
}

double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1)
        return *middle;
    return 0.5 * (*middle + *std::max_element(values.begin(), middle));
}

} // namespace fretmap::pitch_analysis
