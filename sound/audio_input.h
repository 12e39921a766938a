#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace fretmap {

// An input of the desktop's sound server that the program can listen to: a
// microphone or line in. Monitors of outputs are not inputs.
struct AudioInputDevice {
    std::string name;        // the server's name for it, what openAudioInput takes
    std::string description; // what the desktop's sound settings call it
};

// A record stream from one input, as the sound module provides it: mono,
// 32-bit float samples at the rate the stream really has. The sound
// server's thread fills it; the window's thread takes what has arrived,
// without waiting. The stream is open from creation to destruction, and
// the microphone with it.
class AudioInput {
public:
    virtual ~AudioInput() = default;

    // The rate the stream records at, in Hz, as the server set it up: every
    // frequency is computed from this one.
    virtual int sampleRate() const = 0;

    // What the desktop calls the input listened to.
    virtual std::string description() const = 0;

    // Moves every sample that arrived since the last call to the end of
    // `samples`; never blocks for longer than a copy. Samples arrive in
    // fragments of 10 to 20 ms. Returns an empty text, or why the stream
    // stopped (the server went away, the input was removed); once stopped,
    // no more samples come.
    virtual std::string take(std::vector<float>& samples) = 0;
};

// The two further functions the sound module exports, by these names, with
// C linkage.
// The inputs of the default server, the default first; false with why not
// in `problem`.
using ListAudioInputsFunction = bool (*)(std::vector<AudioInputDevice>* inputs, std::string* problem);
inline constexpr const char* kListAudioInputsSymbol = "fretmapListAudioInputs";
// A stream from the input named `name`, or from the desktop's default input
// when `name` is empty; nullptr with why not in `problem`.
using OpenAudioInputFunction = AudioInput* (*)(const std::string* name, std::string* problem);
inline constexpr const char* kOpenAudioInputSymbol = "fretmapOpenAudioInput";

} // namespace fretmap
