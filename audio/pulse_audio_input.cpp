// The sound module's input: the inputs of the desktop's sound server, and a
// record stream from one of them, through libpulse as the output.
//
// A stream has a threaded main loop and a connection of its own, made when
// listening starts and closed when it stops, so that the microphone is open
// only while the program listens and an idle program holds no connection.
// The loop's thread copies what the server sends into a buffer behind a
// mutex; the window's thread takes it from there, never waiting on the
// server.

#include "audio/pulse_client.h"
#include "sound/audio_input.h"
#include "sound/pluck.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace fretmap {
namespace {

using pulse::kAnswerLimitSeconds;
using pulse::LoopLock;

// The stream's name and kind, as a desktop's volume control shows them.
constexpr const char* kStreamName = "Listening";
constexpr const char* kMediaRole = "production";
// The size of the fragments the server sends: a verdict can follow a note
// only as fast as its samples arrive.
constexpr pa_usec_t kFragment = 10 * PA_USEC_PER_MSEC;
// What is kept for a reader that falls behind, the oldest dropped first: a
// window that stalls for longer hears the latest sound, not old sound late.
constexpr int kKeptSeconds = 4;
constexpr int kFallbackRate = 48000;

const pulse::ConnectionPurpose kListening{
    "fretmap-listen", "listening could not be started",
    "no sound server was found to listen through; start the desktop's sound server (PulseAudio, or PipeWire with "
    "its PulseAudio service pipewire-pulse), or install pulseaudio"};
const std::string kNoInput = "no microphone or line in was found; plug one in, or choose one in the desktop's "
                             "sound settings";
const std::string kRestartServer = pulse::kRestartServer;

// A source as the server lists it.
struct Source {
    std::string name;
    std::string description;
    bool monitor = false; // of an output: what it plays, not an input
    int rate = kFallbackRate;
};

// The server's default input; nothing when it does not answer in time.
std::optional<std::string> defaultSourceName(pulse::Connection& connection)
{
    struct Query {
        pa_threaded_mainloop* loop;
        std::string name;
    } query{connection.loop(), {}};
    const auto onServerInfo = [](pa_context*, const pa_server_info* info, void* data) {
        auto* asked = static_cast<Query*>(data);
        if (info && info->default_source_name)
            asked->name = info->default_source_name;
        pulse::signalLoop(asked->loop);
    };
    if (!connection.waitFor(pa_context_get_server_info(connection.context(), onServerInfo, &query)))
        return std::nullopt;
    return query.name;
}

// The server's sources, monitors too; nothing when it does not answer in
// time.
std::optional<std::vector<Source>> sources(pulse::Connection& connection)
{
    struct Query {
        pa_threaded_mainloop* loop;
        std::vector<Source> sources;
    } query{connection.loop(), {}};
    const auto onSourceInfo = [](pa_context*, const pa_source_info* info, int last, void* data) {
        auto* asked = static_cast<Query*>(data);
        if (last == 0 && info) {
            Source source;
            source.name = info->name ? info->name : "";
            source.description = info->description ? info->description : source.name;
            source.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
            const auto rate = static_cast<int>(info->sample_spec.rate);
            if (rate >= kMinSampleRate && rate <= kMaxSampleRate)
                source.rate = rate;
            asked->sources.push_back(std::move(source));
            return;
        }
        pulse::signalLoop(asked->loop); // the end of the list, or an error
    };
    if (!connection.waitFor(pa_context_get_source_info_list(connection.context(), onSourceInfo, &query)))
        return std::nullopt;
    return std::move(query.sources);
}

// The source the server would record from for `name`, the default when
// empty; the text says why there is none.
std::string findSource(pulse::Connection& connection, const std::string& name, Source& found)
{
    std::string wanted = name;
    if (wanted.empty()) {
        const std::optional<std::string> defaultName = defaultSourceName(connection);
        if (!defaultName)
            return pulse::notAnswering();
        wanted = *defaultName;
    }
    const std::optional<std::vector<Source>> listed = sources(connection);
    if (!listed)
        return pulse::notAnswering();
    const auto it = std::find_if(listed->begin(), listed->end(),
                                 [&wanted](const Source& source) { return source.name == wanted; });
    if (it == listed->end()) {
        if (name.empty())
            return kNoInput;
        return "the input \"" + name + "\" is not there any more; choose another input";
    }
    found = *it;
    return {};
}

class PulseAudioInput final : public AudioInput {
public:
    PulseAudioInput() = default;
    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    // Connects and opens the stream from the input `name`, the default one
    // when empty. Returns an empty text, or why not.
    std::string open(const std::string& name);

    int sampleRate() const override { return m_rate; }
    std::string description() const override { return m_description; }
    std::string take(std::vector<float>& samples) override;

private:
    std::string openStream(const char* device, int rate);
    void stopped(std::string why);

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onReadable(pa_stream* stream, std::size_t bytes, void* self);

    pulse::Connection m_connection{kListening};
    pa_stream* m_stream = nullptr;
    bool m_ready = false; // opened: a failure from now on ends the listening
    int m_rate = kFallbackRate;
    std::string m_description;

    // Filled by the loop's thread, taken by the window's.
    std::mutex m_mutex;
    std::vector<float> m_samples;
    std::size_t m_keptSamples = 0;
    std::string m_problem;
};

PulseAudioInput::~PulseAudioInput()
{
    if (!m_connection.loop() || !m_stream)
        return;
    LoopLock lock(m_connection.loop());
    pa_context_set_state_callback(m_connection.context(), nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
}

std::string PulseAudioInput::open(const std::string& name)
{
    std::string problem = m_connection.open();
    if (!problem.empty())
        return problem;
    LoopLock lock(m_connection.loop());
    Source source;
    problem = findSource(m_connection, name, source);
    if (problem.empty()) {
        m_description = source.description;
        // No device: the server's default input, as the desktop sets it.
        problem = openStream(name.empty() ? nullptr : source.name.c_str(), source.rate);
    }
    m_connection.finished();
    return problem;
}

std::string PulseAudioInput::openStream(const char* device, int rate)
{
    // The input's own rate spares the server a conversion; the stream's may
    // still differ, and is read back below.
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(rate), 1};
    const pulse::Proplist properties{pa_proplist_new()};
    pa_proplist_sets(properties.get(), PA_PROP_MEDIA_ROLE, kMediaRole);
    pa_context* context = m_connection.context();
    m_stream = pa_stream_new_with_proplist(context, kStreamName, &format, nullptr, properties.get());
    if (!m_stream)
        return pulse::refusal(pa_context_errno(context), kListening);
    m_keptSamples = static_cast<std::size_t>(kKeptSeconds) * format.rate;
    pa_stream_set_state_callback(m_stream, &onStreamState, this);
    pa_stream_set_read_callback(m_stream, &onReadable, this);
    pa_context_set_state_callback(context, &onContextState, this);

    // (uint32_t)-1: the server's choice.
    constexpr auto kServerChooses = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{kServerChooses, kServerChooses, kServerChooses, kServerChooses,
                                static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &format))};
    if (pa_stream_connect_record(m_stream, device, &buffer, PA_STREAM_ADJUST_LATENCY) < 0)
        return pulse::refusal(pa_context_errno(context), kListening);
    const bool settled = m_connection.waitUntil([this] {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled) {
        return "the sound server did not open the input within " + std::to_string(kAnswerLimitSeconds) + " seconds"
            + kRestartServer;
    }
    if (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        return std::string("the sound server refused to listen to the input (") + pa_strerror(pa_context_errno(context))
            + "); choose another input, or allow it in the desktop's sound settings";
    }
    const pa_sample_spec* actual = pa_stream_get_sample_spec(m_stream);
    m_rate = static_cast<int>(actual->rate);
    m_keptSamples = static_cast<std::size_t>(kKeptSeconds) * actual->rate;
    m_ready = true;
    return {};
}

std::string PulseAudioInput::take(std::vector<float>& samples)
{
    const std::lock_guard lock(m_mutex);
    if (samples.empty())
        samples.swap(m_samples);
    else
        samples.insert(samples.end(), m_samples.begin(), m_samples.end());
    m_samples.clear();
    return m_problem;
}

// Once the stream is open, the first failure is what take() reports.
void PulseAudioInput::stopped(std::string why)
{
    const std::lock_guard lock(m_mutex);
    if (m_problem.empty())
        m_problem = std::move(why);
}

void PulseAudioInput::onContextState(pa_context* context, void* self)
{
    auto* input = static_cast<PulseAudioInput*>(self);
    pulse::signalLoop(input->m_connection.loop());
    if (input->m_ready && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        input->stopped("the sound server closed the connection" + kRestartServer + ", then listen again");
}

void PulseAudioInput::onStreamState(pa_stream* stream, void* self)
{
    auto* input = static_cast<PulseAudioInput*>(self);
    pulse::signalLoop(input->m_connection.loop());
    if (input->m_ready && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        input->stopped(std::string("the input stopped (") + pa_strerror(pa_context_errno(pa_stream_get_context(stream)))
                       + "); choose another input");
    }
}

void PulseAudioInput::onReadable(pa_stream* stream, std::size_t, void* self)
{
    auto* input = static_cast<PulseAudioInput*>(self);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        // No data with a length is a hole in the recording: skipped.
        if (data) {
            // Whole frames of the stream's own format, as libpulse hands them out.
            const std::span<const float> arrived(static_cast<const float*>(data), bytes / sizeof(float));
            const std::lock_guard lock(input->m_mutex);
            std::vector<float>& kept = input->m_samples;
            kept.insert(kept.end(), arrived.begin(), arrived.end());
            if (kept.size() > input->m_keptSamples)
                kept.erase(kept.begin(), kept.end() - static_cast<std::ptrdiff_t>(input->m_keptSamples));
        }
        pa_stream_drop(stream);
    }
}

} // namespace
} // namespace fretmap

extern "C" [[gnu::visibility("default")]] bool fretmapListAudioInputs(std::vector<fretmap::AudioInputDevice>* inputs,
                                                                      std::string* problem)
{
    using namespace fretmap;
    inputs->clear();
    pulse::Connection connection{kListening};
    *problem = connection.open();
    if (!problem->empty())
        return false;
    LoopLock lock(connection.loop());
    const std::optional<std::string> defaultName = defaultSourceName(connection);
    const std::optional<std::vector<Source>> listed = sources(connection);
    connection.finished();
    if (!defaultName || !listed) {
        *problem = pulse::notAnswering();
        return false;
    }
    for (const Source& source : *listed) {
        if (!source.monitor)
            inputs->push_back({source.name, source.description});
    }
    std::stable_partition(inputs->begin(), inputs->end(),
                          [&defaultName](const AudioInputDevice& input) { return input.name == *defaultName; });
    return true;
}

extern "C" [[gnu::visibility("default")]] fretmap::AudioInput* fretmapOpenAudioInput(const std::string* name,
                                                                                     std::string* problem)
{
    auto input = std::make_unique<fretmap::PulseAudioInput>();
    *problem = input->open(name ? *name : std::string());
    return problem->empty() ? input.release() : nullptr;
}
