// Lists the inputs of the sound server and records from one through the
// sound module, as the listening window does, and says what came: the
// stream's rate, the pieces the samples arrived in, their level and pitch.
// Used by the check that listens through a real sound server.
//
// Usage: fretmap_record_probe MODULE list
//        fretmap_record_probe MODULE record NAME SECONDS   (NAME "" : the default input)

#include "sound/audio_input.h"
#include "sound/tests/note_analysis.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace fretmap;
using Clock = std::chrono::steady_clock;

template <typename Function>
Function resolve(void* module, const char* symbol)
{
    return reinterpret_cast<Function>(dlsym(module, symbol)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

int list(ListAudioInputsFunction listInputs)
{
    std::vector<AudioInputDevice> inputs;
    std::string problem;
    if (!listInputs(&inputs, &problem)) {
        std::cout << "problem: " << problem << '\n';
        return 1;
    }
    for (const AudioInputDevice& input : inputs)
        std::cout << input.name << '\t' << input.description << '\n';
    return 0;
}

int record(OpenAudioInputFunction openInput, const std::string& name, double seconds)
{
    std::string problem;
    const Clock::time_point asked = Clock::now();
    const std::unique_ptr<AudioInput> input{openInput(&name, &problem)};
    const auto openMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
    if (!input) {
        std::cout << "problem: " << problem << "\nopen took " << openMs << " ms\n";
        return 1;
    }
    const int rate = input->sampleRate();
    std::cout << "rate " << rate << "\ndescription " << input->description() << '\n';

    const auto wanted = static_cast<std::size_t>(seconds * rate);
    const auto giveUp = Clock::now() + std::chrono::duration<double>(seconds + 10.0);
    std::vector<float> samples;
    std::vector<std::size_t> pieces;
    while (samples.size() < wanted) {
        const std::size_t before = samples.size();
        problem = input->take(samples);
        if (samples.size() > before)
            pieces.push_back(samples.size() - before);
        if (!problem.empty()) {
            std::cout << "stopped: " << problem << '\n';
            return 3;
        }
        if (Clock::now() > giveUp) {
            std::cout << "problem: only " << samples.size() << " of " << wanted << " samples came\n";
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // a reader that polls, as a window's timer
    }

    double sum = 0.0;
    for (const float sample : samples)
        sum += double(sample) * sample;
    std::cout << "samples " << samples.size() << "\nrms " << std::sqrt(sum / double(samples.size())) << '\n';
    std::sort(pieces.begin(), pieces.end());
    if (!pieces.empty())
        std::cout << "piece " << 1000.0 * double(pieces[pieces.size() / 2]) / rate << " ms\n";

    // The pitch, by the tests' own estimator on 16-bit samples of the
    // middle of the recording: a wrong rate would read a wrong pitch.
    std::vector<std::int16_t> middle;
    const std::size_t from = samples.size() / 4;
    const std::size_t count = std::min<std::size_t>(samples.size() / 2, static_cast<std::size_t>(rate) / 4);
    for (std::size_t n = from; n < from + count; ++n)
        middle.push_back(static_cast<std::int16_t>(std::clamp(samples[n], -1.0F, 1.0F) * 32767.0F));
    if (const auto pitch = listening::estimatePitch(middle, rate))
        std::cout << "pitch " << *pitch << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::span<char*> given(argv, static_cast<std::size_t>(argc));
    const std::vector<std::string> args(given.begin() + 1, given.end());
    if (args.size() < 2 || (args[1] == "record" && args.size() != 4)) {
        std::cerr << "usage: fretmap_record_probe MODULE list | MODULE record NAME SECONDS\n";
        return 2;
    }
    void* module = dlopen(args[0].c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::cerr << "fretmap_record_probe: " << dlerror() << '\n';
        return 2;
    }
    const auto listInputs = resolve<ListAudioInputsFunction>(module, kListAudioInputsSymbol);
    const auto openInput = resolve<OpenAudioInputFunction>(module, kOpenAudioInputSymbol);
    if (!listInputs || !openInput) {
        std::cerr << "fretmap_record_probe: the module lacks the input's functions\n";
        return 2;
    }
    if (args[1] == "list")
        return list(listInputs);
    return record(openInput, args[2], std::stod(args[3]));
}
