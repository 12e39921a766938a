// What the listener and the tuner achieve on the program's own renders and
// on notes built to be hard: the tuner's error after 300 ms of a steady
// note, how long a note takes to settle after its onset, how often the
// pitch shown is renewed, and what the analysis costs. Prints figures;
// judges nothing.
//
//   fretmap_listen_bench [--brief] [--set DIR [--verbose]]
//       --brief  fewer notes and seconds, to check that it runs
//       --set    also the takes of a sampled guitar that tools/render-guitar-set
//                wrote to DIR (the default: build/guitar-set, skipped when absent)
//   fretmap_listen_bench --wav FILE [--chord S1,S2,S3,S4,S5,S6,BASE]
//       replays a recording through the check of that fingering (string 1
//       first; 0 open, 1 to 4 a fret cell, 6 not played), or the tuner
//       alone, and prints each row and reading with its time
//   fretmap_listen_bench --chart
//       the chart's fingerings as notes, for tools/render-guitar-set

#include "bench/guitar_takes.h"
#include "chord/chord_catalogue.h"
#include "fretboard/fretboard_view.h"
#include "sound/fingering_notes.h"
#include "sound/note_listener.h"
#include "sound/pluck.h"
#include "sound/tests/hard_notes.h"
#include "sound/tuner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace fretmap;
using namespace fretmap::listening::hard_notes;
using fretmap::listening::centsBetween;
using fretmap::listening::frequencyOf;

std::vector<float> fromPcm(std::span<const std::int16_t> pcm)
{
    std::vector<float> samples(pcm.size());
    std::transform(pcm.begin(), pcm.end(), samples.begin(), [](std::int16_t s) { return static_cast<float>(s) / 32768.0F; });
    return samples;
}

// A note heard from sample 0, in blocks of 10 ms as a sound server hands
// them over: the tuner's reading 300 ms after the onset.
std::optional<TunerReading> tunerAfter300ms(std::span<const float> sound, std::size_t onset, int rate)
{
    NoteListener listener(rate);
    Tuner tuner;
    const auto block = static_cast<std::size_t>(rate / 100);
    const std::size_t until = onset + static_cast<std::size_t>(0.3 * rate);
    std::optional<TunerReading> reading;
    for (std::size_t at = 0; at < until && at < sound.size(); at += block) {
        listener.feed(sound.subspan(at, std::min(block, until - at)));
        const auto pitch = listener.currentPitch();
        reading = tuner.update(pitch ? std::optional(pitch->frequency) : std::nullopt, double(listener.samplesHeard()) / rate);
    }
    return reading;
}

struct Accuracy {
    double worstCents = 0.0;
    int octaveErrors = 0;
    int noReading = 0;
    int notes = 0;
    std::string worst;

    void add(const std::optional<TunerReading>& reading, double truth, const std::string& name)
    {
        ++notes;
        if (!reading) {
            ++noReading;
            return;
        }
        const double cents = centsBetween(noteFrequency(reading->note, kDefaultReferencePitch), truth) + reading->cents;
        if (std::abs(cents) > 600.0) {
            ++octaveErrors;
        } else if (std::abs(cents) > std::abs(worstCents)) {
            worstCents = cents;
            worst = name;
        }
    }
};

struct Latencies {
    std::vector<double> ms;
    int missed = 0;
    int extra = 0;

    void add(std::span<const HeardNote> heard, std::span<const double> onsets, int rate)
    {
        if (heard.size() != onsets.size()) {
            missed += std::max(0, int(onsets.size()) - int(heard.size()));
            extra += std::max(0, int(heard.size()) - int(onsets.size()));
            return;
        }
        for (std::size_t i = 0; i < heard.size(); ++i)
            ms.push_back(1000.0 * (double(heard[i].settled) / rate - onsets[i]));
    }
    double median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
    double max() const { return ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()); }
};

std::vector<HeardNote> heardNotes(std::span<const float> sound, int rate)
{
    NoteListener listener(rate);
    const auto block = static_cast<std::size_t>(rate / 100);
    std::vector<HeardNote> heard;
    for (std::size_t at = 0; at < sound.size(); at += block) {
        listener.feed(sound.subspan(at, std::min(block, sound.size() - at)));
        for (const HeardNote& note : listener.takeSettledNotes())
            heard.push_back(note);
    }
    return heard;
}

// What a loaded sound server does to a recording: while each note rings,
// 50 ms heard as silence, then 10 ms skipped. The onsets after a skip come
// that much earlier.
void loseMoments(std::vector<float>& sound, std::vector<double>& onsets, int rate)
{
    for (std::size_t i = onsets.size(); i-- > 0;) {
        const auto note = sound.begin() + static_cast<std::ptrdiff_t>(onsets[i] * rate);
        const auto skipped = note + static_cast<std::ptrdiff_t>(0.33 * rate);
        sound.erase(skipped, skipped + rate / 100);
        for (std::size_t later = i + 1; later < onsets.size(); ++later)
            onsets[later] -= 0.010;
        const auto silent = note + static_cast<std::ptrdiff_t>(0.2 * rate);
        std::fill(silent, silent + rate / 20, 0.0F);
    }
}

// The open strings and their 12th frets, string 6 first, with the
// stiffness of a steel string of each.
struct StringNote {
    int note;
    double stiffness;
};
constexpr StringNote kStringNotes[] = {{40, 1e-4}, {45, 1e-4}, {50, 1.5e-4}, {55, 2e-4}, {59, 3e-4}, {64, 4e-4}, {52, 1e-4}, {57, 1e-4}, {62, 1.5e-4}, {67, 2e-4}, {71, 3e-4}, {76, 4e-4}};

void tunerAccuracy(bool brief)
{
    std::printf("Tuner after 300 ms of a steady note (open strings and 12th frets; error in cents):\n");
    for (int rate : brief ? std::vector<int>{48000} : std::vector<int>{44100, 48000}) {
        for (bool noisy : {false, true}) {
            Accuracy renders, synthetic;
            for (const StringNote& string : kStringNotes) {
                // The program's own voice, tuned within 3 cents of the note.
                const MidiNote note = string.note;
                std::vector<float> render = fromPcm(renderPluckedNotes(std::span(&note, 1), PlayStyle::Chord, rate));
                render.insert(render.begin(), static_cast<std::size_t>(rate / 10), 0.0F);
                if (noisy)
                    addNoise(render, 20.0, 31);
                renders.add(tunerAfter300ms(render, static_cast<std::size_t>(rate / 10), rate), frequencyOf(note),
                            "render " + std::to_string(note));

                // Synthetic hard notes: guitar-like, and the fundamental 25 dB
                // under its third partial.
                for (const auto* partials : {&kGuitar, &kWeakFundamental, &kNylon}) {
                    const Tone tone = plucked(note, *partials, partials == &kNylon ? 2e-5 : string.stiffness);
                    std::vector<float> sound(static_cast<std::size_t>(0.6 * rate), 0.0F);
                    addTone(sound, tone, static_cast<std::size_t>(rate / 10), rate, 5);
                    if (noisy)
                        addNoise(sound, 20.0, 37);
                    const char* kind = partials == &kGuitar ? "steel " : partials == &kNylon ? "nylon "
                                                                                             : "weak fundamental ";
                    synthetic.add(tunerAfter300ms(sound, static_cast<std::size_t>(rate / 10), rate), fundamentalOf(tone),
                                  kind + std::to_string(note));
                }
                if (brief)
                    break;
            }
            for (const auto& [name, accuracy] : {std::pair{"renders", &renders}, std::pair{"synthetic", &synthetic}}) {
                std::printf("  %5d Hz %-6s %-9s %3d notes: worst %+6.2f cents (%s), %d octave errors, %d without a reading\n", rate,
                            noisy ? "20 dB" : "clean", name, accuracy->notes, accuracy->worstCents, accuracy->worst.c_str(),
                            accuracy->octaveErrors, accuracy->noReading);
            }
        }
    }
}

void verdictLatency(bool brief)
{
    std::printf("Settled minus true onset (the verdict's latency, analysis alone):\n");
    // Fingerings worked out by hand: C, G, F barred, D, E minor.
    const FretboardState fingerings[] = {{{0, 1, 0, 2, 3, 6}, 1}, {{3, 0, 0, 0, 2, 3}, 1}, {{1, 1, 2, 3, 3, 1}, 1}, {{2, 3, 2, 0, 6, 6}, 1}, {{0, 0, 0, 2, 2, 0}, 1}};
    for (int rate : brief ? std::vector<int>{48000} : std::vector<int>{44100, 48000}) {
        Latencies renders, synthetic, ringing, room, lossy;
        for (const FretboardState& state : fingerings) {
            for (bool noisy : {false, true}) {
                std::vector<float> sound = fromPcm(renderFingering(state, PlayStyle::StringByString, rate));
                if (noisy)
                    addNoise(sound, 20.0, 41);
                std::vector<double> onsets;
                for (std::size_t i = 0; i < strumOrder(state).size(); ++i)
                    onsets.push_back(kStringByStringSpacing * double(i));
                renders.add(heardNotes(sound, rate), onsets, rate);
                loseMoments(sound, onsets, rate);
                lossy.add(heardNotes(sound, rate), onsets, rate);
            }
            if (brief)
                break;
        }
        for (const StringNote& string : kStringNotes) {
            for (const auto* partials : {&kGuitar, &kWeakFundamental}) {
                std::vector<float> sound(static_cast<std::size_t>(0.8 * rate), 0.0F);
                addTone(sound, plucked(string.note, *partials, string.stiffness), static_cast<std::size_t>(0.2 * rate), rate, 3);
                addNoise(sound, 20.0, 43);
                const double onset[] = {0.2};
                synthetic.add(heardNotes(sound, rate), onset, rate);
            }
            if (brief)
                break;
        }
        // The open strings in turn, each left ringing; and in a room.
        std::vector<float> sound(static_cast<std::size_t>(4.0 * rate), 0.0F);
        std::vector<double> onsets;
        for (int i = 0; i < 6; ++i) {
            onsets.push_back(0.2 + 0.5 * i);
            addTone(sound, plucked(kStringNotes[i].note, kGuitar, kStringNotes[i].stiffness),
                    static_cast<std::size_t>(onsets.back() * rate), rate, std::uint32_t(7 + i));
        }
        if (!brief) {
            ringing.add(heardNotes(sound, rate), onsets, rate);
            std::vector<float> wet = reverberate(sound, rate, 0.4, 47);
            addNoise(wet, 20.0, 53);
            room.add(heardNotes(wet, rate), onsets, rate);
        }
        for (const auto& [name, latencies] : {std::pair{"renders, string by string", &renders}, std::pair{"synthetic notes, 20 dB", &synthetic},
                                              std::pair{"open strings left ringing", &ringing}, std::pair{"the same in a room, 20 dB", &room},
                                              std::pair{"renders, moments lost", &lossy}}) {
            if (latencies->ms.empty() && latencies->missed == 0 && latencies->extra == 0)
                continue;
            std::printf("  %5d Hz %-27s %3zu notes: median %5.1f ms, max %5.1f ms; %d missed, %d extra\n", rate, name,
                        latencies->ms.size(), latencies->median(), latencies->max(), latencies->missed, latencies->extra);
        }
    }
}

void updateRateAndCost(bool brief)
{
    constexpr int kRate = 48000;
    // Every fingering above, string by string, one after another, in 20 dB of noise.
    const FretboardState fingerings[] = {{{0, 1, 0, 2, 3, 6}, 1}, {{3, 0, 0, 0, 2, 3}, 1}, {{1, 1, 2, 3, 3, 1}, 1}, {{2, 3, 2, 0, 6, 6}, 1}, {{0, 0, 0, 2, 2, 0}, 1}};
    std::vector<float> sound;
    for (const FretboardState& state : fingerings) {
        const std::vector<float> part = fromPcm(renderFingering(state, PlayStyle::StringByString, kRate));
        sound.insert(sound.end(), part.begin(), part.end());
        if (brief)
            break;
    }
    addNoise(sound, 20.0, 59);
    const double seconds = double(sound.size()) / kRate;

    NoteListener listener(kRate);
    const auto block = static_cast<std::size_t>(kRate / 100);
    std::chrono::steady_clock::duration spent{};
    int renewed = 0;
    std::optional<double> shown;
    for (std::size_t at = 0; at < sound.size(); at += block) {
        const auto chunk = std::span<const float>(sound).subspan(at, std::min(block, sound.size() - at));
        const auto start = std::chrono::steady_clock::now();
        listener.feed(chunk);
        spent += std::chrono::steady_clock::now() - start;
        const auto pitch = listener.currentPitch();
        if (pitch && (!shown || *shown != pitch->frequency))
            ++renewed;
        shown = pitch ? std::optional(pitch->frequency) : std::nullopt;
        listener.takeSettledNotes();
    }
    const double ms = std::chrono::duration<double, std::milli>(spent).count();
    std::printf("Pitch renewed %.1f times a second of sound (%.1f s of string-by-string renders, 20 dB of noise)\n", renewed / seconds, seconds);
    std::printf("Cost at %d Hz in blocks of 10 ms: %.2f ms of analysis a second of sound (%.2f %% of one core)\n", kRate,
                ms / seconds, ms / seconds / 10.0);
}

// Each fingering of the chart: its caption and what each string sounds.
void printChart()
{
    for (const ChordEntry& entry : chordCatalogue()) {
        std::string notes;
        for (const auto& note : fingeringNotes({entry.strings, entry.baseFret})) {
            if (!notes.empty())
                notes += ',';
            notes += note ? std::to_string(*note) : std::string("-");
        }
        std::printf("%.*s\t%s\n", int(entry.caption.size()), entry.caption.data(), notes.c_str());
    }
}

std::optional<FretboardState> parseChord(const char* text)
{
    FretboardState state;
    int values[7];
    if (std::sscanf(text, "%d,%d,%d,%d,%d,%d,%d", &values[0], &values[1], &values[2], &values[3], &values[4], &values[5],
                    &values[6])
        != 7)
        return std::nullopt;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!isStringState(values[i]))
            return std::nullopt;
        state.strings[i] = std::int16_t(values[i]);
    }
    state.baseFret = std::int16_t(values[6]);
    return state;
}

int usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [--brief] [--set DIR [--verbose]] | --wav FILE [--chord S1,...,S6,BASE] | --chart\n", program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bool brief = false;
    bool verbose = false;
    std::string set = "build/guitar-set";
    const char* wav = nullptr;
    std::optional<FretboardState> chord;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--brief")
            brief = true;
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--chart") {
            printChart();
            return 0;
        } else if (arg == "--set" && i + 1 < argc)
            set = argv[++i];
        else if (arg == "--wav" && i + 1 < argc)
            wav = argv[++i];
        else if (arg == "--chord" && i + 1 < argc && (chord = parseChord(argv[i + 1])))
            ++i;
        else
            return usage(argv[0]);
    }
    if (wav) {
        std::string problem;
        const auto recording = bench::readWav(wav, problem);
        if (!recording) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
        bench::replayRecording(*recording, chord);
        return 0;
    }
    tunerAccuracy(brief);
    verdictLatency(brief);
    updateRateAndCost(brief);
    if (!brief)
        bench::reportSet(set, verbose);
    return 0;
}
