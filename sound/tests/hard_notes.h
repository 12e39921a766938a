#pragma once

// Notes built to be hard for a pitch tracker, with none of the listener's
// own code: a sum of partials, each tuned k f0 sqrt(1 + B k^2) as a stiff
// string tunes them, a noisy pluck that starts sharp, white noise, a small
// room's echo. Used by the listening tests and the listening benchmark.

#include "sound/tests/note_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace fretmap::listening::hard_notes {

struct Tone {
    int note = 69;                     // MIDI number of the fundamental
    std::vector<double> partialsDb{0}; // the level of partial 1, 2, ... in dB
    double stiffness = 0.0;            // B
    double attackNoise = 0.0;          // a burst of noise over the first 40 ms, against the note's peak
    double sharpCents = 0.0;           // how sharp the pluck starts
    double glideSeconds = 0.015;       // the time constant it settles by (some 50 ms in all)
    double cents = 0.0;                // how far the string is out of tune
};

// A guitar string's partials, a little under each other, the fundamental
// strongest.
inline const std::vector<double> kGuitar{0, -3, -6, -10, -12, -16, -20, -24, -28, -30};
// A low E plucked near the bridge into a small speaker: the fundamental 25 dB
// under the third partial, which leads; the second, fourth and fifth ring.
inline const std::vector<double> kWeakFundamental{-25, -6, 0, -4, -8, -14, -18};
// The second partial leads and the fundamental is far under it: the trap
// that reads a low E as E3.
inline const std::vector<double> kOctaveUp{-20, 0, -10, -3, -14, -12};
// Worse: the odd partials faint too, so that the note repeats almost as
// well at half its period.
inline const std::vector<double> kOddPartialsFaint{-25, 0, -18, -3, -22, -8};
// A nylon string: few partials, no stiffness to speak of.
inline const std::vector<double> kNylon{0, -8, -14, -24, -30};

// The frequency of the fundamental that `tone` rings at once settled.
inline double fundamentalOf(const Tone& tone)
{
    return frequencyOf(tone.note) * std::exp2(tone.cents / 1200.0) * std::sqrt(1.0 + tone.stiffness);
}

// Adds `tone` to `out` from sample `start`, decaying as a string does.
inline void addTone(std::vector<float>& out, const Tone& tone, std::size_t start, int rate, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const double f0 = frequencyOf(tone.note) * std::exp2(tone.cents / 1200.0);
    struct Partial {
        double frequency, amplitude, phase;
    };
    std::vector<Partial> partials;
    for (std::size_t k = 1; k <= tone.partialsDb.size(); ++k) {
        const double frequency = double(k) * f0 * std::sqrt(1.0 + tone.stiffness * double(k * k));
        if (frequency < 0.45 * rate)
            partials.push_back({frequency, std::pow(10.0, tone.partialsDb[k - 1] / 20.0), phase(random)});
    }
    double peak = 0.0;
    for (const Partial& p : partials)
        peak += p.amplitude;
    const double scale = 0.3 / peak;
    const auto attack = static_cast<std::size_t>(0.040 * rate);
    std::vector<double> phases(partials.size());
    for (std::size_t i = 0; i < partials.size(); ++i)
        phases[i] = partials[i].phase;
    for (std::size_t n = 0; start + n < out.size(); ++n) {
        const double t = double(n) / rate;
        // The sharpness of the pluck dies away; the phase runs on at the
        // frequency of each moment.
        const double bend = std::exp2(tone.sharpCents * std::exp(-t / tone.glideSeconds) / 1200.0);
        const double decay = std::exp(-t / 1.5);
        double sample = 0.0;
        for (std::size_t i = 0; i < partials.size(); ++i) {
            sample += partials[i].amplitude * std::sin(phases[i]);
            phases[i] += 2.0 * std::numbers::pi * partials[i].frequency * bend / rate;
        }
        sample *= scale * decay;
        if (n < attack)
            sample += tone.attackNoise * 0.3 * noise(random) * (1.0 - double(n) / double(attack));
        out[start + n] += static_cast<float>(sample);
    }
}

// White noise `snrDb` under the sound's own level over its loud part.
inline void addNoise(std::vector<float>& samples, double snrDb, std::uint32_t seed)
{
    double energy = 0.0;
    std::size_t loud = 0;
    for (float s : samples) {
        if (std::abs(s) > 1e-3) {
            energy += double(s) * s;
            ++loud;
        }
    }
    const double rms = std::sqrt(energy / double(std::max<std::size_t>(loud, 1))) * std::pow(10.0, -snrDb / 20.0);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, rms);
    for (float& s : samples)
        s += static_cast<float>(noise(random));
}

// A small room: the sound plus its echoes, a sparse noise that decays by
// 60 dB in `rt60` seconds and carries about as much energy as the sound.
inline std::vector<float> reverberate(std::span<const float> dry, int rate, double rt60, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> gap(1, 2 * rate / 1500);
    std::bernoulli_distribution sign;
    struct Echo {
        std::size_t delay;
        float gain;
    };
    std::vector<Echo> echoes;
    double energy = 0.0;
    for (std::size_t delay = static_cast<std::size_t>(0.003 * rate); delay < static_cast<std::size_t>(rt60 * rate);
         delay += static_cast<std::size_t>(gap(random))) {
        const double gain = std::exp(-6.91 * double(delay) / (rt60 * rate));
        echoes.push_back({delay, static_cast<float>(sign(random) ? gain : -gain)});
        energy += gain * gain;
    }
    const auto norm = static_cast<float>(1.0 / std::sqrt(energy));
    std::vector<float> wet(dry.begin(), dry.end());
    for (const Echo& echo : echoes) {
        const float g = echo.gain * norm;
        for (std::size_t n = echo.delay; n < wet.size(); ++n)
            wet[n] += g * dry[n - echo.delay];
    }
    return wet;
}

std::vector<float> fromPcm(std::span<const std::int16_t> pcm)
{
    std::vector<float> samples(pcm.size());
    std::transform(pcm.begin(), pcm.end(), samples.begin(), [](std::int16_t s) { return static_cast<float>(s) / 32768.0F; });
    return samples;
}

// Each string struck as a pick strikes it: a burst of noise and a pitch that
// starts sharp.
inline Tone plucked(int note, std::vector<double> partials = kGuitar, double stiffness = 2e-4)
{
    return {note, std::move(partials), stiffness, 1.0, 15.0};
}

} // namespace fretmap::listening::hard_notes
