#pragma once

// What the sound module's output and input share: the names a desktop's
// mixer shows for the program, the time the window may wait for the
// server, and small wrappers around libpulse's threaded main loop.

#include <pulse/pulseaudio.h>

#include <memory>

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

} // namespace fretmap::pulse
