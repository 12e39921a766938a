// The sound module: the desktop's default sound output through libpulse,
// which PulseAudio and PipeWire's pipewire-pulse both serve. The program
// loads it the first time sound is asked for, so that starting the program
// never pays for it, and runs whole, silent, without libpulse.
//
// libpulse runs in a thread of its own (its threaded main loop): the
// server's requests for more sound are answered there, so the program's
// event loop is never run or held up by sound. The window's thread only
// takes the loop's lock for the moment a request or a stop takes. One
// stream is kept for the whole run, paused (corked) while there is nothing
// to play, so that a request only has to hand its first samples over.

#include "audio/pulse_client.h"
#include "sound/audio_output.h"
#include "sound/pluck.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace fretmap {
namespace {

using pulse::kAnswerLimitSeconds;
using pulse::LoopLock;
using pulse::release;

// The stream's name and kind of sound, as a desktop's volume control shows
// them. Opening the output waits for the server at most kAnswerLimit, once,
// on the first request.
constexpr const char* kStreamName = "Chord";
constexpr const char* kMediaRole = "music";
// What the server keeps buffered ahead: short enough that a click sounds at
// once, long enough that a busy machine does not starve the stream.
constexpr pa_usec_t kBufferAhead = 100 * PA_USEC_PER_MSEC;
constexpr int kFallbackRate = 48000;

const pulse::ConnectionPurpose kPlaying{
    "fretmap-sound", "the sound output could not be started",
    "no sound output was found; start the desktop's sound server (PulseAudio, or PipeWire with its PulseAudio "
    "service pipewire-pulse), or install pulseaudio"};

class PulseAudioOutput final : public AudioOutput {
public:
    PulseAudioOutput() = default;
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    // Connects to the desktop's sound server and opens the stream. Returns
    // an empty text, or why there is no sound.
    std::string open();

    int sampleRate() const override { return m_rate; }
    std::string play(std::vector<std::int16_t> samples) override;
    void stop() override;
    std::size_t samplesWritten() const override { return m_next; }

private:
    void askRate();
    std::string openStream();
    bool connected() const;

    // The rest of the sound, as far as the server has room for `bytes`;
    // once all of it is out, asks to hear when it has played.
    void writeSome(std::size_t bytes);
    void forgetDrain();

    static void onStreamState(pa_stream*, void* loop) { pulse::signalLoop(loop); }
    static void onServerInfo(pa_context*, const pa_server_info* info, void* self);
    static void onWritable(pa_stream*, std::size_t bytes, void* self);
    static void onDrained(pa_stream*, int success, void* self);

    pulse::Connection m_connection{kPlaying};
    pa_stream* m_stream = nullptr;
    int m_rate = kFallbackRate;
    std::size_t m_bufferBytes = 0; // what the server buffers ahead

    // The sound being played, handed to the server from m_next on: both
    // written only with the lock held, m_next read without it.
    std::vector<std::int16_t> m_samples;
    std::atomic<std::size_t> m_next = 0;
    pa_operation* m_drain = nullptr; // tells when the server has played it all
};

// The stream goes before the connection it was opened through.
PulseAudioOutput::~PulseAudioOutput()
{
    if (!m_connection.loop())
        return;
    LoopLock lock(m_connection.loop());
    forgetDrain();
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
}

std::string PulseAudioOutput::open()
{
    std::string problem = m_connection.open();
    if (!problem.empty())
        return problem;
    LoopLock lock(m_connection.loop());
    askRate();
    problem = openStream();
    m_connection.finished();
    return problem;
}

// The server's own rate saves it a conversion; a server that does not say
// leaves the rate a render can always use.
void PulseAudioOutput::askRate()
{
    m_connection.waitFor(pa_context_get_server_info(m_connection.context(), &onServerInfo, this));
}

void PulseAudioOutput::onServerInfo(pa_context*, const pa_server_info* info, void* self)
{
    auto* output = static_cast<PulseAudioOutput*>(self);
    if (info) {
        const auto rate = static_cast<int>(info->sample_spec.rate);
        if (rate >= kMinSampleRate && rate <= kMaxSampleRate)
            output->m_rate = rate;
    }
    pulse::signalLoop(output->m_connection.loop());
}

std::string PulseAudioOutput::openStream()
{
    pa_context* context = m_connection.context();
    const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(m_rate), 1};
    const pulse::Proplist properties{pa_proplist_new()};
    pa_proplist_sets(properties.get(), PA_PROP_MEDIA_ROLE, kMediaRole);
    m_stream = pa_stream_new_with_proplist(context, kStreamName, &format, nullptr, properties.get());
    if (!m_stream)
        return pulse::refusal(pa_context_errno(context), kPlaying);
    pa_stream_set_state_callback(m_stream, &onStreamState, m_connection.loop());
    pa_stream_set_write_callback(m_stream, &onWritable, this);

    // (uint32_t)-1: the server's choice.
    constexpr auto kServerChooses = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{kServerChooses, static_cast<std::uint32_t>(pa_usec_to_bytes(kBufferAhead, &format)),
                                kServerChooses, kServerChooses, kServerChooses};
    // No device: the desktop's default output, followed when it changes.
    // Paused until there is something to play, so that an idle program
    // lets the server put the device to sleep.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(m_stream, nullptr, &buffer, flags, nullptr, nullptr) < 0)
        return pulse::refusal(pa_context_errno(context), kPlaying);
    const bool settled = m_connection.waitUntil([this] {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!settled) {
        return "the sound server did not open a stream within " + std::to_string(kAnswerLimitSeconds)
            + " seconds" + pulse::kRestartServer;
    }
    if (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        return std::string("the sound server refused to play (") + pa_strerror(pa_context_errno(context))
            + "); choose an output in the desktop's sound settings";
    }
    m_bufferBytes = pa_stream_get_buffer_attr(m_stream)->tlength;
    return {};
}

bool PulseAudioOutput::connected() const
{
    return pa_context_get_state(m_connection.context()) == PA_CONTEXT_READY
        && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

std::string PulseAudioOutput::play(std::vector<std::int16_t> samples)
{
    LoopLock lock(m_connection.loop());
    if (!connected())
        return "the sound server closed the connection";
    forgetDrain();
    // What the server still holds of the last sound goes at once; the new
    // sound fills the whole buffer it leaves, from its first sample.
    release(pa_stream_flush(m_stream, nullptr, nullptr));
    m_samples = std::move(samples);
    m_next = 0;
    release(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    writeSome(std::max(pa_stream_writable_size(m_stream), m_bufferBytes));
    return {};
}

void PulseAudioOutput::stop()
{
    LoopLock lock(m_connection.loop());
    forgetDrain();
    m_samples.clear();
    m_next = 0;
    if (connected()) {
        release(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        release(pa_stream_flush(m_stream, nullptr, nullptr));
    }
}

void PulseAudioOutput::writeSome(std::size_t bytes)
{
    const std::size_t next = m_next;
    const std::size_t count = std::min(bytes / sizeof(std::int16_t), m_samples.size() - next);
    if (count > 0) {
        const std::span<const std::int16_t> part = std::span(m_samples).subspan(next, count);
        if (pa_stream_write(m_stream, part.data(), part.size_bytes(), nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        m_next = next + count;
    }
    if (!m_samples.empty() && m_next == m_samples.size() && !m_drain)
        m_drain = pa_stream_drain(m_stream, &onDrained, this);
}

void PulseAudioOutput::onWritable(pa_stream*, std::size_t bytes, void* self)
{
    static_cast<PulseAudioOutput*>(self)->writeSome(bytes);
}

// All of the sound has played: the stream pauses until the next one.
void PulseAudioOutput::onDrained(pa_stream* stream, int success, void* self)
{
    auto* output = static_cast<PulseAudioOutput*>(self);
    pa_operation_unref(output->m_drain); // the one drain still listened for: see forgetDrain()
    output->m_drain = nullptr;
    if (success != 0)
        release(pa_stream_cork(stream, 1, nullptr, nullptr));
}

// A drain asked for an earlier sound must not pause a later one: its answer
// is no longer listened for.
void PulseAudioOutput::forgetDrain()
{
    if (!m_drain)
        return;
    pa_operation_cancel(m_drain);
    pa_operation_unref(m_drain);
    m_drain = nullptr;
}

} // namespace
} // namespace fretmap

extern "C" [[gnu::visibility("default")]] fretmap::AudioOutput* fretmapCreateAudioOutput(std::string* problem)
{
    auto output = std::make_unique<fretmap::PulseAudioOutput>();
    *problem = output->open();
    return problem->empty() ? output.release() : nullptr;
}
