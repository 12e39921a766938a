#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace fretmap {

// The program's own user guide, read in a plain window of its own beside the
// main window. Contents shows it when there is no help file for the
// desktop's viewer to open.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    // The guide as built into the program.
    static QUrl guideUrl() { return {QStringLiteral("qrc:/help/guide.html")}; }

    explicit HelpWindow(QWidget* parent = nullptr);

    // False when the guide could not be loaded; the window is empty then.
    bool hasGuide() const;

    // The guide's text, the window's one control.
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

} // namespace fretmap
