#pragma once

// Shared by the two start-up programs that the start-up benchmark runs: the
// real main window and a bare window of the same size. Each ends as soon as
// its window has painted its first frame and says when that was.

#include "startup_measure.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdio>

namespace fretmap::bench {

// Watches a top-level window for its first paint. The paint event of the
// window itself comes first in a frame; its children are painted and the
// frame is flushed in the same pass, so the queued call runs after the whole
// first frame is out and is the moment that gets reported.
class FirstPaintQuit : public QObject {
public:
    explicit FirstPaintQuit(QWidget& window)
        : QObject(&window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QMetaObject::invokeMethod(this, &FirstPaintQuit::finish, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish()
    {
        const auto tag = static_cast<int>(kFirstPaintTag.size());
        std::printf("%.*s %lld\n", tag, kFirstPaintTag.data(), monotonicNanoseconds());
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    bool m_seen = false;
};

} // namespace fretmap::bench
