#include "audio/pulse_client.h"

namespace fretmap::pulse {

std::string refusal(int error, const ConnectionPurpose& purpose)
{
    switch (error) {
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_INVALIDSERVER:
        return purpose.noServer;
    default:
        return std::string("the sound server refused Fretmap (") + pa_strerror(error) + ")" + kRestartServer;
    }
}

std::string notAnswering()
{
    return "the sound server did not answer within " + std::to_string(kAnswerLimitSeconds) + " seconds"
        + kRestartServer;
}

Connection::~Connection()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        finished();
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

std::string Connection::open()
{
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return m_purpose.cannotStart + " (out of memory)";
    pa_threaded_mainloop_set_name(m_loop, m_purpose.threadName);
    const Proplist properties = applicationProperties();
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), kApplicationName, properties.get());
    if (!m_context)
        return m_purpose.cannotStart + " (out of memory)";
    pa_context_set_state_callback(m_context, &onContextState, m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0)
        return m_purpose.cannotStart + " (no thread for it)";

    LoopLock lock(m_loop);
    // One deadline for every step: a server that accepts the connection and
    // never answers must not hold the window for longer.
    m_deadline = pa_context_rttime_new(m_context, pa_rtclock_now() + kAnswerLimit, &onDeadline, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
        return refusal(pa_context_errno(m_context), m_purpose);
    const bool settled = waitUntil([this] {
        const pa_context_state_t state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled)
        return notAnswering();
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return refusal(pa_context_errno(m_context), m_purpose);
    return {};
}

void Connection::finished()
{
    if (!m_deadline)
        return;
    pa_threaded_mainloop_get_api(m_loop)->time_free(m_deadline);
    m_deadline = nullptr;
}

void Connection::onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    auto* connection = static_cast<Connection*>(self);
    connection->m_timedOut = true;
    signalLoop(connection->m_loop);
}

bool Connection::waitFor(pa_operation* operation)
{
    if (!operation)
        return false;
    const bool answered = waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (!answered)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return answered;
}

} // namespace fretmap::pulse
