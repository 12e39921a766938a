#include "sound/pluck.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

namespace fretmap {
namespace {

// The fade that takes the last of the ring to silence, and the damping of a
// string when the next one is played alone, in seconds.
constexpr double kEndFade = 0.5;
constexpr double kDampTime = 0.04;
constexpr double kDampedBefore = 0.01; // silence between a damped string and the next strike
// The pick's tick as it leaves the string: how long it lasts, in seconds,
// and how loud it is beside the string's own first swing.
constexpr double kTickTime = 0.003;
constexpr float kTickLevel = 0.6F;

// Takes `sound` down to silence along a raised cosine, from 1 before its
// first sample to 0 at its last. The cosines come from a recurrence rather
// than a call each, which over a long fade is most of the fade's time.
void fadeOut(std::span<float> sound)
{
    const double step = 2.0 * std::cos(std::numbers::pi / static_cast<double>(sound.size()));
    double before = 1.0;      // cos(0)
    double cosine = step / 2; // cos(pi / n)
    for (float& sample : sound) {
        sample *= static_cast<float>(0.5 * (1.0 + cosine));
        const double next = step * cosine - before;
        before = cosine;
        cosine = next;
    }
}

std::size_t samplesIn(double seconds, int sampleRate)
{
    return static_cast<std::size_t>(std::lround(seconds * sampleRate));
}

// How each string of a steel-strung guitar rings, with the notes stopped on
// it in the first position sounding as it does.
struct StringVoice {
    MidiNote open;         // the open string's note
    double ringTime;       // how long its fundamental takes to fall by 60 dB, in seconds
    double promptTime;     // the same for the prompt sound
    float prompt;          // the prompt sound's share of the pluck
    double treble;         // how much faster the partials above it die (0: as slowly), at 48 kHz
    double pickPosition;   // where the pick strikes, as a fraction of the string from the bridge
    double pickBrightness; // the pick's top frequency, in Hz: a soft pick dulls the attack
    float scrape;          // how much of the attack is the pick's scrape rather than the string's shape
};

// Tuned by measure against a sampled steel-strung guitar: each
// open string, and the notes stopped on it near the nut, falls as that
// guitar's string does 1 s and 2 s after the pluck, within a few dB.
// clang-format off
constexpr std::array<StringVoice, kStringCount> kStringVoices{{
    // open  ring  prompt share  treble  pick   bright   scrape
    {64,      8.0,  1.5, 0.3F,  0.35,   0.14,  6000.0,  0.3F}, // 1, E4
    {59,     12.0,  1.5, 0.7F,  0.05,   0.14,  6000.0,  0.6F}, // 2, B3
    {55,      8.0,  1.5, 0.5F,  0.20,   0.14,  6000.0,  0.3F}, // 3, G3
    {50,     12.0,  0.4, 0.0F,  0.20,   0.14, 12000.0,  0.3F}, // 4, D3
    {45,      8.0,  1.5, 0.5F,  0.35,   0.14,  6000.0,  0.6F}, // 5, A2
    {40,     15.0,  1.5, 0.3F,  0.35,   0.14,  3000.0,  0.3F}, // 6, E2
}};
// clang-format on

// The string a guitarist plays `note` on nearest the nut: the highest open
// string at or below it, and the low E for anything lower.
const StringVoice& voiceOf(MidiNote note)
{
    const auto it = std::find_if(kStringVoices.begin(), kStringVoices.end(),
                                 [note](const StringVoice& voice) { return voice.open <= note; });
    return it != kStringVoices.end() ? *it : kStringVoices.back();
}

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

// The string's loop filter, three taps at delays m, m + 1 and m + 2: a
// Lagrange interpolator that carries the fraction of a sample an integer
// delay cannot, so that every pitch is in tune, plus a loss that grows with
// frequency, `treble` (1 - cos w) at angular frequency w, so that the upper
// partials die before the fundamental.
struct LoopTaps {
    std::array<double, 3> taps;

    static LoopTaps make(double delay, double treble)
    {
        // The interpolator for `delay` (0.5 to 1.5 samples) ...
        std::array<double, 3> t{0.5 * (1.0 - delay) * (2.0 - delay), delay * (2.0 - delay), 0.5 * delay * (delay - 1.0)};
        // ... plus treble / 2 (1 - z^-1)^2, which centred on the middle tap is
        // a gain of -treble (1 - cos w).
        t[0] += 0.5 * treble;
        t[1] -= treble;
        t[2] += 0.5 * treble;
        return {t};
    }

    std::complex<double> response(double w) const
    {
        return taps[0] + taps[1] * std::polar(1.0, -w) + taps[2] * std::polar(1.0, -2.0 * w);
    }
};

// Runs a string's loop over out[from...]: each sample is the loop filter's
// three taps over the samples one period (m, m + 1, m + 2) before it. A
// stretch of m samples reads only samples before the stretch, so within it
// no sample waits on another and the stretch runs as a vector.
void circulate(std::span<float> out, std::size_t from, std::size_t m, const std::array<float, 3>& taps)
{
    const auto [near, middle, far] = taps;
    for (std::size_t start = from; start < out.size(); start += m) {
        const std::size_t length = std::min(m, out.size() - start);
        const auto stretch = out.subspan(start, length);
        const auto before = out.subspan(start - m - 2, length + 2);
        for (std::size_t n = 0; n < length; ++n)
            stretch[n] = far * before[n] + middle * before[n + 1] + near * before[n + 2];
    }
}

// One plucked string (extended Karplus-Strong): the string's shape at the
// moment the pick lets go circulates in a delay of one period, losing a
// little on each pass, the treble faster than the fundamental. A guitar's
// string rings in two ways at once: a prompt sound, moving the bridge
// hard and so dying soon, and the aftersound that goes on; the same shape
// circulates in a loop for each, and `spare` holds the prompt one's.
void pluckString(const StringVoice& voice, double frequency, int sampleRate, std::uint32_t seed,
                 std::span<float> out, std::span<float> spare)
{
    const double period = sampleRate / frequency;
    const double w = 2.0 * std::numbers::pi / period;
    // The treble loss is set for 48 kHz; at another rate the same partial
    // lies at another angle, and (1 - cos w) grows with its square.
    const double rateRatio = sampleRate / 48000.0;
    const double treble = std::min(voice.treble * rateRatio * rateRatio, 0.9);

    // The loop delays by m whole samples and the interpolator's 0.5 to 1.5
    // more: for a guitar's notes at 44.1 or 48 kHz the loop's period is then
    // within a tenth of a cent of the note's.
    const auto m = static_cast<std::size_t>(std::floor(period - 0.5));
    const LoopTaps loop = LoopTaps::make(period - static_cast<double>(m), treble);
    // Each pass loses what takes the fundamental down 60 dB in `seconds`.
    const auto tapsFor = [&](double seconds) {
        const double loss = std::pow(10.0, -3.0 / (seconds * frequency)) / std::abs(loop.response(w));
        return std::array<float, 3>{static_cast<float>(loss * loop.taps[0]), static_cast<float>(loss * loop.taps[1]),
                                    static_cast<float>(loss * loop.taps[2])};
    };

    // The first pass: the string's slope at release, a step at the pick's
    // place (what silences the partials with a node there), with the pick's
    // scrape on it, dulled by the pick's softness and with no offset, since
    // the loop keeps an offset for as long as it rings.
    const std::size_t burst = std::min(out.size(), m + 2);
    const auto pick = static_cast<std::size_t>(std::lround(voice.pickPosition * period));
    NoiseSource noise{seed};
    std::vector<float> scrape(burst);
    for (float& s : scrape)
        s = voice.scrape * noise.next();
    // Above a sixth of the rate a one-pole filter no longer dulls anything.
    const double brightness = std::min(voice.pickBrightness, sampleRate / 6.0);
    const auto soft = static_cast<float>(1.0 - std::exp(-2.0 * std::numbers::pi * brightness / sampleRate));
    float dulled = 0.0F;
    double sum = 0.0;
    for (std::size_t n = 0; n < burst; ++n) {
        const float shape = (n < pick ? 1.0F : 0.0F) + scrape[n] - (n >= pick ? scrape[n - pick] : 0.0F);
        dulled += soft * (shape - dulled);
        out[n] = dulled;
        sum += dulled;
    }
    const auto mean = static_cast<float>(sum / static_cast<double>(burst));
    for (std::size_t n = 0; n < burst; ++n)
        out[n] -= mean;
    std::copy_n(out.begin(), burst, spare.begin());

    circulate(out, burst, m, tapsFor(voice.ringTime));
    circulate(spare, burst, m, tapsFor(voice.promptTime));
    const float aftersound = 1.0F - voice.prompt;
    for (std::size_t n = 0; n < out.size(); ++n)
        out[n] = aftersound * out[n] + voice.prompt * spare[n];

    // The tick is treble that the string does not carry on, so that each
    // strike stands out from the strings already ringing.
    const std::size_t tick = std::min(out.size(), samplesIn(kTickTime, sampleRate));
    float previous = 0.0F;
    for (std::size_t n = 0; n < tick; ++n) {
        const float next = noise.next();
        out[n] += kTickLevel * (next - previous) * (1.0F - static_cast<float>(n) / static_cast<float>(tick));
        previous = next;
    }
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
    std::vector<float> spare(total);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const std::size_t start = spacing * i;
        // Played alone, a string is damped as the next one is struck.
        const bool damped = alone && i + 1 < notes.size();
        const std::size_t end = damped ? start + spacing - samplesIn(kDampedBefore, sampleRate) : total;
        const std::span<float> sound = std::span(string).first(end - start);
        pluckString(voiceOf(notes[i]), noteFrequency(notes[i]), sampleRate, static_cast<std::uint32_t>(i + 1), sound,
                    std::span(spare).first(sound.size()));
        if (damped)
            fadeOut(sound.last(std::min(damp, sound.size())));
        for (std::size_t n = 0; n < sound.size(); ++n)
            mix[start + n] += sound[n];
    }

    // The tail fades to silence, so that the sound ends without a click.
    fadeOut(std::span(mix).last(std::min(total, samplesIn(kEndFade, sampleRate))));

    float peak = 0.0F;
    for (float sample : mix)
        peak = std::max(peak, std::abs(sample));
    const auto scale = static_cast<float>(peak > 0.0F ? kPeakLevel * std::numeric_limits<std::int16_t>::max() / peak : 0.0);
    std::vector<std::int16_t> samples(total);
    // Rounded half away from zero, as a plain add and cut that runs as a vector.
    std::transform(mix.begin(), mix.end(), samples.begin(), [scale](float sample) {
        const float scaled = sample * scale;
        return static_cast<std::int16_t>(scaled + std::copysign(0.5F, scaled));
    });
    return samples;
}

std::vector<std::int16_t> renderFingering(const FretboardState& state, PlayStyle style, int sampleRate)
{
    const std::vector<MidiNote> notes = strumOrder(state);
    return renderPluckedNotes(notes, style, sampleRate);
}

} // namespace fretmap
