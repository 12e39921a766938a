#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fretmap {

// A sound output of the desktop, as the sound module that the program loads
// when sound is first asked for provides it. It plays mono, signed 16-bit
// samples at its own rate.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // The rate the output plays at, in Hz; what a render must use.
    virtual int sampleRate() const = 0;

    // Stops what is playing and starts `samples`. Returns an empty text, or
    // why the output cannot play.
    virtual std::string play(std::vector<std::int16_t> samples) = 0;

    virtual void stop() = 0;

    // How many samples of the current sound have been handed to the sound
    // server so far.
    virtual std::size_t samplesWritten() const = 0;
};

// The one function the sound module exports, by this name, with C linkage:
// an output on the desktop's default device, or nullptr with why not in
// `problem`.
using CreateAudioOutputFunction = AudioOutput* (*)(std::string* problem);
inline constexpr const char* kCreateAudioOutputSymbol = "fretmapCreateAudioOutput";

} // namespace fretmap
