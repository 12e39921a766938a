#include "sound/fft.h"

#include <algorithm>
#include <bit>
#include <numbers>
#include <stdexcept>
#include <string>

namespace fretmap {

RealFft::RealFft(std::size_t size)
    : m_size(size)
{
    if (size < 4 || !std::has_single_bit(size))
        throw std::invalid_argument("a transform of " + std::to_string(size) + " samples: it needs a power of two of at least 4");
    const std::size_t half = size / 2;
    m_twiddles.resize(half);
    for (std::size_t k = 0; k < half; ++k)
        m_twiddles[k] = std::polar(1.0, -2.0 * std::numbers::pi * double(k) / double(size));
    m_bitReversed.resize(half);
    const int bits = std::countr_zero(half);
    for (std::size_t i = 0; i < half; ++i) {
        std::size_t reversed = 0;
        for (int b = 0; b < bits; ++b)
            reversed |= ((i >> b) & 1U) << (bits - 1 - b);
        m_bitReversed[i] = reversed;
    }
    m_data.resize(half);
}

void RealFft::transform(bool inverse)
{
    const std::size_t n = m_data.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i < m_bitReversed[i])
            std::swap(m_data[i], m_data[m_bitReversed[i]]);
    }
    for (std::size_t half = 1; half < n; half *= 2) {
        const std::size_t stride = m_size / (2 * half);
        for (std::size_t start = 0; start < n; start += 2 * half) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> w = inverse ? std::conj(m_twiddles[k * stride]) : m_twiddles[k * stride];
                const std::complex<double> odd = times(w, m_data[start + k + half]);
                m_data[start + k + half] = m_data[start + k] - odd;
                m_data[start + k] += odd;
            }
        }
    }
}

void RealFft::powerSpectrum(std::span<const float> samples, double mean, std::span<const double> weights,
                            std::vector<double>& power)
{
    const std::size_t half = m_data.size();
    std::fill(m_data.begin(), m_data.end(), std::complex<double>{});
    const std::size_t count = std::min(samples.size(), m_size);
    for (std::size_t i = 0; i < count; ++i) {
        const double x = (samples[i] - mean) * (i < weights.size() ? weights[i] : 1.0);
        if (i % 2 == 0)
            m_data[i / 2].real(x);
        else
            m_data[i / 2].imag(x);
    }
    transform(false);
    // Each half's spectrum told apart by its symmetry, then joined.
    power.resize(half + 1);
    for (std::size_t k = 0; k <= half; ++k) {
        const std::complex<double> z = m_data[k % half];
        const std::complex<double> mirror = std::conj(m_data[(half - k) % half]);
        const std::complex<double> even = 0.5 * (z + mirror);
        const std::complex<double> odd = times({0.0, -0.5}, z - mirror);
        const std::complex<double> w = k < half ? m_twiddles[k] : std::complex<double>(-1.0, 0.0);
        power[k] = std::norm(even + times(w, odd));
    }
}

void RealFft::correlation(std::span<const double> power, std::span<double> lags)
{
    // The inverse of a real, even spectrum: a real sequence, whose even and
    // odd samples come out as the real and imaginary parts of half as many.
    const std::size_t half = m_data.size();
    for (std::size_t k = 0; k < half; ++k) {
        const double low = power[k];
        const double high = power[half - k];
        const std::complex<double> even = 0.5 * (low + high);
        const std::complex<double> odd = 0.5 * (low - high) * std::conj(m_twiddles[k]);
        m_data[k] = even + std::complex<double>(-odd.imag(), odd.real());
    }
    transform(true);
    const double scale = 1.0 / double(half);
    for (std::size_t lag = 0; lag < lags.size() && lag < m_size; ++lag) {
        const std::complex<double> pair = m_data[lag / 2];
        lags[lag] = (lag % 2 == 0 ? pair.real() : pair.imag()) * scale;
    }
}

} // namespace fretmap
