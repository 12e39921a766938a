#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace fretmap {

// The power spectrum of a real stretch of sound, and the autocorrelation
// that a power spectrum stands for, by one radix-2 transform of half the
// length: the even samples as real parts, the odd ones as imaginary parts.
class RealFft {
public:
    // Throws std::invalid_argument unless `size` is a power of two of at
    // least 4.
    explicit RealFft(std::size_t size);

    std::size_t size() const { return m_size; }
    // Hz between two bins of the power spectrum at `sampleRate`.
    double binHertz(double sampleRate) const { return sampleRate / double(m_size); }

    // Bins 0 to size()/2 of `samples` less `mean`, each weighted by
    // `weights` where given (a window of the same length), padded with zeros
    // to size(); at most size() samples.
    void powerSpectrum(std::span<const float> samples, double mean, std::span<const double> weights,
                       std::vector<double>& power);

    // Lags 0 to lags.size() - 1 of the autocorrelation whose power spectrum,
    // bins 0 to size()/2, is `power`.
    void correlation(std::span<const double> power, std::span<double> lags);

private:
    void transform(bool inverse);
    static std::complex<double> times(std::complex<double> a, std::complex<double> b)
    {
        // Without the checks for infinities that the standard product makes,
        // which keep it from being inlined.
        return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
    }

    std::size_t m_size;
    std::vector<std::complex<double>> m_twiddles;
    std::vector<std::size_t> m_bitReversed;
    std::vector<std::complex<double>> m_data; // half the transform's length
};

} // namespace fretmap
