#pragma once

#include <QWidget>

class QTextEdit;

namespace fretmap {

// The program's own user guide, read in a plain window of its own beside the
// main window. Contents shows it when there is no help file for the
// desktop's viewer to open.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // False when the guide could not be loaded; the window is empty then.
    bool hasGuide() const;

private:
    QTextEdit* m_text; // the guide's text, the window's one control
};

} // namespace fretmap
