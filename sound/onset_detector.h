#pragma once

#include "sound/fft.h"

#include <cstddef>
#include <deque>
#include <span>
#include <vector>

namespace fretmap {

// Finds plucks by what they add to the spectrum: the rise of each
// frequency bin over the same bin, and its neighbours, a few hops before
// (a positive spectral flux, with a maximum filter across frequency, as in
// Böck and Widmer's SuperFlux). The partials of strings that still ring do
// not rise, whatever their loudness, so a soft pluck under loud ringing
// strings stands out where the loudness of the whole sound would not.
class OnsetDetector {
public:
    explicit OnsetDetector(int sampleRate);

    // The samples `window` ending at the hop just fed (the last frameSize()
    // of them, or fewer at the start); returns whether a pluck begins in
    // this hop. `sensitive` hears softer plucks, for a listener that checks
    // each one against the note it expects.
    bool feed(std::span<const float> window, bool sensitive = false);
    std::size_t frameSize() const { return m_frame; }
    // The flux of the last hop, for inspection.
    double flux() const { return m_lastFlux; }

private:
    std::size_t m_frame;
    RealFft m_fft;
    std::vector<double> m_weights;
    std::vector<double> m_power;
    std::deque<std::vector<double>> m_past; // the compressed spectra of the last hops, newest last
    std::deque<double> m_recentFlux;
    double m_lastFlux = 0.0;
    std::size_t m_lowestBin;
    std::size_t m_highestBin;
};

} // namespace fretmap
