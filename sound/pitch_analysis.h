#pragma once

// The listener's own tools: the normalised square difference function of a
// window (the McLeod pitch method) with its choice of period, and the
// fundamental's exact frequency from a longer stretch. Not for callers
// outside sound/.

#include "sound/fft.h"

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace fretmap::pitch_analysis {

// A period found in a window, in samples, and how clearly the window
// repeats at it (the normalised square difference there, up to 1).
struct Period {
    double lag = 0.0;
    double clarity = 0.0;
};

class PitchAnalyzer {
public:
    explicit PitchAnalyzer(int sampleRate);

    int sampleRate() const { return m_sampleRate; }
    // The window that coarsePeriod() reads: long enough for three periods
    // of the lowest pitch heard.
    std::size_t windowSize() const { return m_window; }
    // The shortest and longest periods looked for, in samples.
    std::size_t shortestLag() const { return m_shortestLag; }
    std::size_t longestLag() const { return m_longestLag; }

    // The period of the last windowSize() samples of `samples` (all of
    // them when fewer): the first clear peak of the normalised square
    // difference, checked against its double and triple so that a strong
    // second or third partial is not taken for the fundamental. Nothing
    // when no peak is clear.
    //
    // With the background() of a window taken before a new note began, the
    // period is that of what the window adds to it, so that strings still
    // ringing from before, or the room's echo of them, are not taken for
    // the new note.
    std::optional<Period> coarsePeriod(std::span<const float> samples, std::span<const double> background = {});

    // What rings in the last windowSize() samples, for coarsePeriod() to hear
    // a new note apart from it: nothing when there are fewer samples.
    std::vector<double> background(std::span<const float> samples);
    // Whether the last period was that of a new note heard over a background.
    bool heardNew() const { return m_heardNew; }

    // After coarsePeriod(): how clearly the same window repeats at a lag
    // near `lag` (the highest peak within a few samples of it), or nothing
    // when that lag lies outside what was computed.
    std::optional<Period> peakNear(double lag) const;

    // The fundamental's frequency in Hz from a stretch of one note whose
    // pitch is near `roughHertz`: the stretch is narrowed to the
    // fundamental alone, so that higher partials, which a stiff string tunes
    // sharp, do not pull the pitch up, and its frequency is measured over the
    // whole stretch. Nothing when the stretch is too short or holds no
    // clear fundamental there.
    std::optional<double> fundamental(std::span<const float> stretch, double roughHertz);

private:
    // The running sums over `periods` periods, and what is left must keep
    // at least `leastCoherence` of its turn.
    struct Band {
        std::size_t periods;
        double leastCoherence;
    };
    std::optional<double> fundamentalIn(std::span<const float> stretch, double roughHertz, Band wanted);
    // The frequency of the partial near `centreHertz`, alone past the
    // running sums, and how much of its turn it keeps from the first half
    // of the stretch to the second (1 for a clean partial).
    struct Turn {
        double hertz;
        double coherence;
    };
    struct RunningSums {
        std::size_t length; // in samples
        std::size_t count;
    };
    Turn partialTurn(std::span<const float> stretch, double centreHertz, RunningSums running);
    bool ownPartialsHeard(double lag, int multiple);
    Period shortestExplaining(Period period);
    bool squareDifference(std::span<const float> window, std::span<const double> background, std::size_t longest);
    std::vector<std::size_t> keyMaximaUpTo(std::size_t longest) const;

    int m_sampleRate;
    std::size_t m_shortestLag;
    std::size_t m_longestLag;
    std::size_t m_window;
    RealFft m_fft;
    std::vector<double> m_power;           // of the last window, bins 0 to half the transform's length
    std::vector<double> m_amplitude;       // scratch
    std::vector<double> m_correlation;     // scratch, lags 0 to m_longestLag
    std::vector<double> m_nsdf;            // of the last window, lags 0 to m_longestLag
    std::vector<double> m_hann;            // over the window
    std::vector<double> m_hannCorrelation; // its autocorrelation, 1 at lag 0
    std::vector<double> m_squares;         // scratch
    bool m_heardNew = false;
    std::vector<std::complex<double>> m_baseband; // scratch
};

// The middle value of `values`, or the mean of the two middle ones; needs
// at least one value.
double median(std::vector<double> values);

} // namespace fretmap::pitch_analysis
