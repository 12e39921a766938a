#pragma once

#include <QWidget>

namespace fretmap {

// Shows a top-level window and brings it to the front with the keyboard,
// also when it was minimised to the taskbar.
inline void bringToFront(QWidget* window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace fretmap
