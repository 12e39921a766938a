// Plays through the sound module a request that comes just as the sound
// before it ends: the server has played the first sound out and answered
// the module's drain, and that answer crosses the new request on the way.
// A real server makes that crossing too rare to catch, so the probe makes
// it happen every time: it stands in for pa_stream_drain and
// pa_stream_flush (the module's calls into libpulse find this program's
// functions first), and answers a drain still under way once the server
// has done the next flush, as the server would have, had the sound just
// ended. A drain the module cancelled is not answered. Says how much of
// the second sound the server took: all of it, or where it stopped. Used
// by the check that plays through a real sound server.
//
// Usage: fretmap_play_probe MODULE

#include "sound/audio_output.h"
#include "sound/pluck.h"

#include <dlfcn.h>
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace fretmap;
using Clock = std::chrono::steady_clock;

// libpulse's own function of that name.
template <typename Function>
Function libpulse(const char* name)
{
    // dlsym hands the function over as an object pointer.
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

// A drain the module asked for, answered once, by the server or the
// probe. Kept for the probe's short life: the server's answer may come
// after the probe's.
struct Drain {
    pa_stream_success_cb_t callback;
    void* userdata;
    pa_operation* operation = nullptr;
    bool answered = false;
};
Drain* lastDrain = nullptr; // touched in the loop's thread, or with its lock held

void answer(Drain& drain, pa_stream* stream, int success)
{
    if (drain.answered)
        return;
    drain.answered = true;
    drain.callback(stream, success, drain.userdata);
}

void answerFromServer(pa_stream* stream, int success, void* drain)
{
    answer(*static_cast<Drain*>(drain), stream, success);
}

// After a flush: the last drain, still under way and not cancelled, is
// answered as if the sound had ended just before the flush came.
void answerAfterFlush(pa_stream* stream, int /*success*/, void* /*unused*/)
{
    if (lastDrain && lastDrain->operation && pa_operation_get_state(lastDrain->operation) == PA_OPERATION_RUNNING)
        answer(*lastDrain, stream, 1);
}

// Waits until the output has taken `count` samples of its sound, or
// `seconds` have passed. Returns whether it took them.
bool takenWithin(const AudioOutput& output, std::size_t count, double seconds)
{
    const auto giveUp = Clock::now() + std::chrono::duration<double>(seconds);
    while (output.samplesWritten() < count) {
        if (Clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

extern "C" pa_operation* pa_stream_drain(pa_stream* stream, pa_stream_success_cb_t callback, void* userdata)
{
    static const auto drain = libpulse<decltype(&pa_stream_drain)>("pa_stream_drain");
    // Each drain is kept for the probe's whole run: the server may answer
    // it after the module has let it go.
    static auto* const drains = new std::vector<std::unique_ptr<Drain>>; // NOLINT(cppcoreguidelines-owning-memory)
    auto* asked = drains->emplace_back(std::make_unique<Drain>(Drain{callback, userdata})).get();
    asked->operation = drain(stream, &answerFromServer, asked);
    if (asked->operation)
        pa_operation_ref(asked->operation); // its state is read after the module lets it go
    lastDrain = asked;
    return asked->operation;
}

// The module passes no callback of its own to a flush.
extern "C" pa_operation* pa_stream_flush(pa_stream* stream, pa_stream_success_cb_t /*callback*/, void* /*userdata*/)
{
    static const auto flush = libpulse<decltype(&pa_stream_flush)>("pa_stream_flush");
    return flush(stream, &answerAfterFlush, nullptr);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fretmap_play_probe MODULE\n";
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::cerr << "fretmap_play_probe: " << dlerror() << '\n';
        return 2;
    }
    const auto create = reinterpret_cast<CreateAudioOutputFunction>( // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        dlsym(module, kCreateAudioOutputSymbol));
    if (!create) {
        std::cerr << "fretmap_play_probe: the module lacks " << kCreateAudioOutputSymbol << '\n';
        return 2;
    }
    std::string problem;
    const std::unique_ptr<AudioOutput> output{create(&problem)};
    if (!output) {
        std::cout << "problem: " << problem << '\n';
        return 1;
    }
    const int rate = output->sampleRate();
    const MidiNote a[] = {45};
    const std::vector<std::int16_t> sound = renderPluckedNotes(a, PlayStyle::Chord, rate);
    // A quarter second, handed over whole, and then a second.
    const std::vector<std::int16_t> first(sound.begin(), sound.begin() + rate / 4);
    const std::vector<std::int16_t> second(sound.begin(), sound.begin() + rate);

    problem = output->play(first);
    if (problem.empty() && !takenWithin(*output, first.size(), 3.0))
        problem = "the first sound was not taken whole";
    if (problem.empty())
        problem = output->play(second);
    if (!problem.empty()) {
        std::cout << "problem: " << problem << '\n';
        return 1;
    }
    // A second of sound, and as long again for a busy machine.
    if (!takenWithin(*output, second.size(), 2.0)) {
        std::cout << "the second sound stopped after " << output->samplesWritten() << " of " << second.size()
                  << " samples\n";
        return 1;
    }
    std::cout << "the second sound: all " << second.size() << " samples taken\n";
    return 0;
}
