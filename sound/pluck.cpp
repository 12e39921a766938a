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

// One plucked string (Karplus-Strong): a noise burst circulating in a delay
// line of one period, softened a little on each pass. An all-pass filter in
// the loop carries the fraction of a sample that an integer delay cannot,
// so that every pitch is in tune.
class PluckedString {
public:
    PluckedString(double frequency, int sampleRate, std::uint32_t seed)
    {
        const double period = sampleRate / frequency;
        // The averaging filter delays by half a sample; the all-pass carries
        // the rest, kept between 0.1 and 1.1 samples where it is well behaved.
        const auto length = static_cast<std::size_t>(std::floor(period - 0.6));
        const double fraction = period - static_cast<double>(length) - 0.5;
        m_allpass = static_cast<float>((1.0 - fraction) / (1.0 + fraction));
        m_loss = static_cast<float>(std::pow(10.0, -3.0 / (kDecayTime * frequency)));

        m_line.resize(length);
        NoiseSource noise{seed};
        float soft = 0.0F;
        for (float& sample : m_line) {
            soft += kPickBrightness * (noise.next() - soft);
            sample = soft;
        }
        // A burst with no offset: the loop keeps an offset for as long as it rings.
        double sum = 0.0;
        for (float sample : m_line)
            sum += sample;
        const auto mean = static_cast<float>(sum / static_cast<double>(length));
        for (float& sample : m_line)
            sample -= mean;
    }

    float next()
    {
        const float out = m_line[m_position];
        const float average = 0.5F * (out + m_previous);
        m_previous = out;
        const float shifted = m_allpass * average + m_allpassIn - m_allpass * m_allpassOut;
        m_allpassIn = average;
        m_allpassOut = shifted;
        m_line[m_position] = m_loss * shifted;
        if (++m_position == m_line.size())
            m_position = 0;
        return out;
    }

private:
    std::vector<float> m_line;
    std::size_t m_position = 0;
    float m_previous = 0.0F;
    float m_allpass = 0.0F;
    float m_allpassIn = 0.0F;
    float m_allpassOut = 0.0F;
    float m_loss = 1.0F;
};

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

    for (std::size_t i = 0; i < notes.size(); ++i) {
        PluckedString string{noteFrequency(notes[i]), sampleRate, static_cast<std::uint32_t>(i + 1)};
        const std::size_t start = spacing * i;
        // Played alone, a string is damped as the next one is struck.
        const bool damped = alone && i + 1 < notes.size();
        const std::size_t end = damped ? start + spacing : total;
        for (std::size_t n = start; n < end; ++n) {
            float sample = string.next();
            if (damped && end - n <= damp)
                sample *= fadeOut(1.0 - static_cast<double>(end - n) / static_cast<double>(damp));
            mix[n] += sample;
        }
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
