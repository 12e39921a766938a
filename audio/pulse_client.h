#pragma once

// What the sound module's output and input share: the names a desktop's
// mixer shows for the program, the time the window may wait for the
// server, small wrappers around libpulse's threaded main loop, and the
// connection to the server that each stream opens through.

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>
#include <utility>

namespace fretmap::pulse {

// The name, icon (as the desktop's icon theme holds it) and id a desktop's
// volume control shows for the program's streams.
inline constexpr const char* kApplicationName = "Fretmap";
inline constexpr const char* kApplicationId = "io.github.fretmap.Fretmap";
inline constexpr const char* kIconName = "io.github.fretmap.Fretmap";

// How long opening a stream may wait for the server, all steps together:
// the window waits that long at most.
inline constexpr pa_usec_t kAnswerLimit = 3 * PA_USEC_PER_SEC;
inline constexpr int kAnswerLimitSeconds = 3;

// Holds the main loop's lock for a scope: every call on the context or a
// stream from outside the loop's own thread must.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop)
        : m_loop(loop)
    {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

struct ProplistDeleter {
    void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};
using Proplist = std::unique_ptr<pa_proplist, ProplistDeleter>;

// The program's name, id and icon, for a new context.
inline Proplist applicationProperties()
{
    Proplist properties{pa_proplist_new()};
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, kApplicationName);
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, kApplicationId);
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ICON_NAME, kIconName);
    return properties;
}

// An operation whose end nobody waits for.
inline void release(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

inline void signalLoop(void* loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

// What failures say, the rest of the sentence after the cause.
inline constexpr const char* kRestartServer = "; restart the desktop's sound server";

// What a connection is for, in the words its failures use.
struct ConnectionPurpose {
    const char* threadName;  // the loop's thread, as a debugger lists it
    std::string cannotStart; // "... could not be started", for want of memory or a thread
    std::string noServer;    // said where there is no server to connect to
};

// Why the server cannot be used, from libpulse's error number.
std::string refusal(int error, const ConnectionPurpose& purpose);

// "the sound server did not answer within 3 seconds; restart ..."
std::string notAnswering();

// A threaded main loop with a connection to the desktop's sound server.
// Every call but open() needs the loop's lock; the owner disconnects its
// streams, the lock held, before the connection goes.
class Connection {
public:
    explicit Connection(ConnectionPurpose purpose)
        : m_purpose(std::move(purpose))
    {
    }
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts the loop and connects, within kAnswerLimit for this and every
    // step after it until finished(). Returns an empty text, or why not.
    // Takes the lock itself, and returns with it released.
    std::string open();
    void finished();

    const ConnectionPurpose& purpose() const { return m_purpose; }
    pa_threaded_mainloop* loop() const { return m_loop; }
    pa_context* context() const { return m_context; }

    // Waits, the lock held, until `done` or the time is up. Returns whether
    // `done`.
    template <typename Done>
    bool waitUntil(Done done)
    {
        while (!done() && !m_timedOut)
            pa_threaded_mainloop_wait(m_loop);
        return done();
    }

    // Waits for the answer to `operation`, whose callback signals the loop;
    // one that comes too late is cancelled, never delivered. Returns
    // whether it was answered in time.
    bool waitFor(pa_operation* operation);

private:
    static void onContextState(pa_context*, void* loop) { signalLoop(loop); }
    static void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);

    ConnectionPurpose m_purpose;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_deadline = nullptr;
    bool m_timedOut = false;
};

} // namespace fretmap::pulse
