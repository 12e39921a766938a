#pragma once

#include <QPointer>

class QDialog;

namespace fretmap {

// The about window. The main window creates one of these on its first About
// command and keeps it for the rest of the run; the window itself exists only
// while it is on screen. OK, Enter, Esc and the title bar's close button
// destroy the window and its controls, and the next show() builds it again
// from its design, so it looks the same every time.
//
// The window has no owner: it is modeless, either window can be in front,
// and while it is open it keeps the program running after the main window
// has been closed.
class frmAbout {
public:
    frmAbout() = default;
    ~frmAbout();

    frmAbout(const frmAbout&) = delete;
    frmAbout& operator=(const frmAbout&) = delete;

    // Loads the window, with the focus on OK, if it is not open; then brings
    // it to the front, restoring it if it is minimised. There is never more
    // than one about window.
    void show();

    // The open window, or nullptr while it is unloaded.
    QDialog* window() const;

private:
    QPointer<QDialog> m_window;
};

} // namespace fretmap
