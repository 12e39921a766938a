#include "sound/pluck.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

namespace fretmap {
namespace {

// How long the fundamental of a string takes to fall by 60 dB, in seconds.
constexpr double kDecayTime = 1.6;
// The fade that takes the last of the ring to silence, and the damping of a
// string when the next one is played alone, in seconds.
constexpr double kEndFade = 0.3;
constexpr double kDampTime = 0.04;
// The pick's softness: how much of the noise burst's treble is kept.
constexpr float kPickBrightness = 0.6F;

// A small generator of its own, so that the same seed gives the same burst
// with every compiler and standard library.
class NoiseSource {
public:
    explicit NoiseSource(std::uint32_t seed)
        : m_state(seed)
    {
    }

    // Uniform in [-1, 1).
    float next()
    {
        m_state = m_state * 1664525U + 1013904223U;
        return static_cast<float>(m_state >> 8) / static_cast<float>(1U << 23) - 1.0F;
    }

private:
    std::uint32_t m_state;
};

// One plucked string (Karplus-Strong): a noise burst that circulates in a
// delay of one period, softened a little on each pass. The loop's filter
// averages neighbouring samples and also carries the fraction of a sample
// that an integer delay cannot, so that every pitch is in tune; it reads
// only samples a period old, so no sample waits on the one before it.
void pluckString(double frequency, int sampleRate, std::uint32_t seed, std::span<float> out)
{
    const double period = sampleRate / frequency;
    // Taps at delays m, m + 1 and m + 2 weighted (1 - f, 1, f) / 2 delay
    // the loop by m + 0.5 + f samples in all.
    const auto m = static_cast<std::size_t>(std::floor(period - 0.5));
    const auto f = static_cast<float>(period - 0.5 - static_cast<double>(m));
    const auto loss = static_cast<float>(std::pow(10.0, -3.0 / (kDecayTime * frequency)));
    const float near = loss * 0.5F * (1.0F - f);
    const float middle = loss * 0.5F;
    const float far = loss * 0.5F * f;

    // The burst fills the first pass through the loop, softened and with no
    // offset: the loop keeps an offset for as long as it rings.
    const std::size_t burst = std::min(out.size(), m + 2);
    NoiseSource noise{seed};
    float soft = 0.0F;
    double sum = 0.0;
    for (std::size_t n = 0; n < burst; ++n) {
        soft += kPickBrightness * (noise.next() - soft);
        out[n] = soft;
        sum += soft;
    }
    const auto mean = static_cast<float>(sum / static_cast<double>(burst));
    for (std::size_t n = 0; n < burst; ++n)
        out[n] -= mean;

    for (std::size_t n = burst; n < out.size(); ++n)
        out[n] = near * out[n - m] + middle * out[n - m - 1] + far * out[n - m - 2];
}

// A raised-cosine ramp from 1 at t = 0 down to 0 at t = 1.
float fadeOut(double t)
{
    return static_cast<float>(0.5 * (1.0 + std::cos(std::numbers::pi * std::clamp(t, 0.0, 1.0))));
}

std::size_t samplesIn(double seconds, int sampleRate)
{
    return static_cast<std::size_t>(std::lround(seconds * sampleRate));
}

} // namespace

std::vector<std::int16_t> renderPluckedNotes(std::span<const MidiNote> notes, PlayStyle style, int sampleRate)
{
    if (sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
        throw std::invalid_argument("sample rate " + std::to_string(sampleRate) + " Hz is outside "
                                    + std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate));
    for (MidiNote note : notes) {
        // A period of a few samples is no longer a string's sound.
        if (note < 0 || noteFrequency(note) > sampleRate / 8.0)
            throw std::invalid_argument("note " + std::to_string(note) + " cannot be played at "
                                        + std::to_string(sampleRate) + " Hz");
    }
    if (notes.empty())
        return {};

    const bool alone = style == PlayStyle::StringByString;
    const std::size_t spacing = samplesIn(alone ? kStringByStringSpacing : kStrumSpacing, sampleRate);
    const std::size_t total = spacing * (notes.size() - 1) + samplesIn(kRingTime, sampleRate);
    const std::size_t damp = samplesIn(kDampTime, sampleRate);
    std::vector<float> mix(total, 0.0F);

    std::vector<float> string(total);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const std::size_t start = spacing * i;
        // Played alone, a string is damped as the next one is struck.
        const bool damped = alone && i + 1 < notes.size();
        const std::size_t end = damped ? start + spacing : total;
        const std::span<float> sound = std::span(string).first(end - start);
        pluckString(noteFrequency(notes[i]), sampleRate, static_cast<std::uint32_t>(i + 1), sound);
        if (damped) {
            for (std::size_t k = 1; k <= std::min(damp, sound.size()); ++k)
                sound[sound.size() - k] *= fadeOut(1.0 - static_cast<double>(k) / static_cast<double>(damp));
        }
        for (std::size_t n = 0; n < sound.size(); ++n)
            mix[start + n] += sound[n];
    }

    // The tail fades to silence, so that the sound ends without a click.
    const std::size_t fade = std::min(total, samplesIn(kEndFade, sampleRate));
    for (std::size_t k = 0; k < fade; ++k)
        mix[total - fade + k] *= fadeOut(static_cast<double>(k + 1) / static_cast<double>(fade));

    float peak = 0.0F;
    for (float sample : mix)
        peak = std::max(peak, std::abs(sample));
    const double scale = peak > 0.0F ? kPeakLevel * std::numeric_limits<std::int16_t>::max() / peak : 0.0;
    std::vector<std::int16_t> samples(total);
    std::transform(mix.begin(), mix.end(), samples.begin(),
                   [scale](float sample) { return static_cast<std::int16_t>(std::lround(sample * scale)); });
    return samples;
}

std::vector<std::int16_t> renderFingering(const FretboardState& state, PlayStyle style, int sampleRate)
{
    const std::vector<MidiNote> notes = strumOrder(state);
    return renderPluckedNotes(notes, style, sampleRate);
}

} // namespace fretmap
