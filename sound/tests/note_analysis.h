#pragma once

// Listens to rendered or recorded samples the way a tuner would, without
// the renderer's own arithmetic: the pitch of one note, the level of every
// semitone, and which levels no given note explains. Used by the unit tests
// and by the check that records the program through a sound server.

#include "sound/pitch_units.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fretmap::listening {

inline double frequencyOf(int midiNote)
{
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

using fretmap::centsBetween;

// The first sample whose magnitude reaches `threshold`, if any.
inline std::optional<std::size_t> onset(std::span<const std::int16_t> samples, int threshold = 1000)
{
    const auto it = std::find_if(samples.begin(), samples.end(),
                                 [threshold](std::int16_t s) { return std::abs(static_cast<int>(s)) >= threshold; });
    if (it == samples.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - samples.begin());
}

// Where a new sound begins: the first sample whose magnitude reaches
// `threshold` after `quiet` samples below it. A recording made while an
// earlier sound still rings (a chord rings for seconds, until the next
// request cuts it) opens with no such quiet, so that sound is passed over.
inline std::optional<std::size_t> onsetAfterQuiet(std::span<const std::int16_t> samples, std::size_t quiet,
                                                  int threshold = 1000)
{
    std::size_t quietRun = 0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        if (std::abs(static_cast<int>(samples[n])) < threshold)
            ++quietRun;
        else if (quietRun >= quiet)
            return n;
        else
            quietRun = 0;
    }
    return std::nullopt;
}

// The fundamental of one note, in Hz, by the YIN difference function with
// a parabola through its dip; nothing when no period between 55 and 1500 Hz
// stands out.
inline std::optional<double> estimatePitch(std::span<const std::int16_t> samples, int sampleRate)
{
    const auto minLag = static_cast<std::size_t>(sampleRate / 1500);
    const auto maxLag = static_cast<std::size_t>(sampleRate / 55);
    const std::size_t window = 2 * maxLag;
    if (samples.size() < window + maxLag + 2)
        return std::nullopt;

    std::vector<double> d(maxLag + 2, 0.0);
    for (std::size_t lag = 1; lag < d.size(); ++lag) {
        double sum = 0.0;
        for (std::size_t n = 0; n < window; ++n) {
            const double diff = double(samples[n]) - double(samples[n + lag]);
            sum += diff * diff;
        }
        d[lag] = sum;
    }
    // Cumulative mean normalised: 1 on average, near 0 at the period.
    std::vector<double> cmnd(d.size(), 1.0);
    double running = 0.0;
    for (std::size_t lag = 1; lag < d.size(); ++lag) {
        running += d[lag];
        cmnd[lag] = running > 0.0 ? d[lag] * double(lag) / running : 1.0;
    }
    constexpr double kThreshold = 0.15;
    for (std::size_t lag = std::max<std::size_t>(minLag, 2); lag <= maxLag; ++lag) {
        if (cmnd[lag] < kThreshold) {
            while (lag + 1 <= maxLag && cmnd[lag + 1] < cmnd[lag])
                ++lag;
            const double a = cmnd[lag - 1], b = cmnd[lag], c = cmnd[lag + 1];
            const double denominator = a - 2.0 * b + c;
            const double shift = denominator != 0.0 ? 0.5 * (a - c) / denominator : 0.0;
            return sampleRate / (double(lag) + shift);
        }
    }
    return std::nullopt;
}

// Where strings are struck, in frames of a millisecond: each frame whose
// treble (the energy of the second difference) is more than eight times
// that of the loudest of the three frames before it. A pluck starts with a
// burst of noise that the string loses within a few periods, so each strike
// stands out even while the strings before it still ring.
inline std::vector<std::size_t> strikeFrames(std::span<const std::int16_t> samples, int sampleRate)
{
    const auto frame = static_cast<std::size_t>(sampleRate / 1000);
    std::vector<double> treble(samples.size() / frame, 0.0);
    for (std::size_t n = 2; n < treble.size() * frame; ++n) {
        const double d = double(samples[n]) - 2.0 * double(samples[n - 1]) + double(samples[n - 2]);
        treble[n / frame] += d * d;
    }
    const double loudest = treble.empty() ? 0.0 : *std::max_element(treble.begin(), treble.end());
    std::vector<std::size_t> strikes;
    for (std::size_t i = 0; i < treble.size(); ++i) {
        double before = 0.0;
        for (std::size_t k = i >= 3 ? i - 3 : 0; k < i; ++k)
            before = std::max(before, treble[k]);
        if (treble[i] > 8.0 * before && treble[i] > 1e-4 * loudest)
            strikes.push_back(i);
    }
    return strikes;
}

// The level of each semitone from `lowest` to `highest` in a stretch of
// sound, in dB below the loudest of them: a Hann-windowed Goertzel filter
// on each note's frequency.
struct NoteLevel {
    int note;
    double level;
};

inline std::vector<NoteLevel> noteLevels(std::span<const std::int16_t> samples, int sampleRate, int lowest = 36,
                                         int highest = 96)
{
    std::vector<NoteLevel> levels;
    const std::size_t n = samples.size();
    double loudest = 0.0;
    for (int note = lowest; note <= highest; ++note) {
        const double w = 2.0 * std::numbers::pi * frequencyOf(note) / sampleRate;
        const double coefficient = 2.0 * std::cos(w);
        double s1 = 0.0, s2 = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n - 1));
            const double s0 = hann * samples[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        loudest = std::max(loudest, power);
        levels.push_back({note, power}); // a power until the loudest is known
    }
    for (auto& l : levels)
        l.level = l.level > 0.0 ? 10.0 * std::log10(l.level / loudest) : -300.0;
    return levels;
}

// Whether `note` is a partial (harmonic 1 to 16) of any of `notes`, to the
// nearest semitone: a string's partials ring up to four octaves above it.
inline bool isPartialOf(int note, std::span<const int> notes)
{
    for (int n : notes) {
        for (int harmonic = 1; harmonic <= 16; ++harmonic) {
            if (std::abs(note - n - 12.0 * std::log2(double(harmonic))) < 0.5)
                return true;
        }
    }
    return false;
}

// What is wrong with a second of a strum of `notes`: a note that is missing
// (below -35 dB), or a semitone that rings (above -50 dB) that is no
// partial of any of them. Empty when the strum holds its notes and no other
// fundamental.
inline std::vector<std::string> strumProblems(std::span<const std::int16_t> second, int sampleRate,
                                              std::span<const int> notes)
{
    std::vector<std::string> problems;
    for (const auto& [note, level] : noteLevels(second, sampleRate)) {
        const bool expected = std::find(notes.begin(), notes.end(), note) != notes.end();
        if (expected && level < -35.0)
            problems.push_back("note " + std::to_string(note) + " is missing (" + std::to_string(level) + " dB)");
        else if (!expected && !isPartialOf(note, notes) && level > -50.0)
            problems.push_back("note " + std::to_string(note) + " rings (" + std::to_string(level)
                               + " dB) and is in no string");
    }
    return problems;
}

// The pitch of each of `count` strings played alone, `spacing` samples
// apart: each estimated from three quarters of its stretch, a twentieth of
// a second after it is struck. Nothing for a string the sound ends before.
inline std::vector<std::optional<double>> stringPitches(std::span<const std::int16_t> sound, int sampleRate,
                                                        std::size_t spacing, std::size_t count)
{
    std::vector<std::optional<double>> pitches;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = spacing * i + static_cast<std::size_t>(sampleRate / 20);
        pitches.push_back(from + spacing * 3 / 4 > sound.size()
                              ? std::nullopt
                              : estimatePitch(sound.subspan(from, spacing * 3 / 4), sampleRate));
    }
    return pitches;
}

} // namespace fretmap::listening
