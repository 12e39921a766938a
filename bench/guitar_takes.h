#pragma once

// Recorded or rendered guitar takes replayed through the listening
// analysis: a WAV file read as it would come from an input, and the set of
// takes that tools/render-guitar-set writes, judged against what each
// string really sounded.

#include "sound/fingering_notes.h"

#include <optional>
#include <string>
#include <vector>

namespace fretmap::bench {

struct Recording {
    int sampleRate = 0;
    std::vector<float> samples; // mono: the channels are mixed
};

// A 16-bit PCM or 32-bit float WAV file; nothing, with `problem` set, for
// anything else.
std::optional<Recording> readWav(const std::string& path, std::string& problem);

// One string struck in a take: what it really sounded.
struct Strike {
    int string = 0;     // 1 to 6
    double seconds = 0; // its onset
    MidiNote note = 0;
    double cents = 0.0; // the bend on the note
};

struct Take {
    std::string name;
    std::string kind; // "check" or "tuner"
    std::string voice;
    std::string condition; // clean, room, noise, noisy room
    std::string file;
    std::array<std::optional<MidiNote>, kStringCount> wanted{};
    std::vector<Strike> strikes;
};

// The takes of a set's takes.tsv; throws std::runtime_error when it cannot
// be read.
std::vector<Take> readTakes(const std::string& directory);

// Replays every take of the set in `directory` and prints, voice by voice
// and condition by condition, the share of string verdicts that are right,
// each wrong one, the tuner's errors and the verdicts' latency. Returns
// false when the set cannot be read.
bool reportSet(const std::string& directory, bool verbose);

// Replays one recording through the check of `state` (or the tuner alone,
// without one) and prints each row and tuner reading with its time.
void replayRecording(const Recording& recording, const std::optional<FretboardState>& state);

} // namespace fretmap::bench
