#include "help_window.h"

#include "screen_reader.h"

#include <QAction>
#include <QKeySequence>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace fretmap {

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
{
    // A window of its own with the text inside it, so that a screen reader
    // announces a window by its title, then the text.
    setObjectName(QStringLiteral("helpWindow"));
    setAccessibleRole(this, QAccessible::Window); // a plain widget would be a pane
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);

    // No colours of its own: the text and background are the palette's, so
    // the guide reads as well under a dark theme as under a light one.
    m_browser->setOpenExternalLinks(true);
    // A caret that the arrow keys move, which is what lets a screen reader
    // read the guide line by line; links stay reachable with Tab.
    m_browser->setTextInteractionFlags(Qt::TextBrowserInteraction | Qt::TextSelectableByKeyboard);
    m_browser->setSource(guideUrl());

    const QString title = m_browser->documentTitle();
    setWindowTitle(title);
    setAccessibleName(title);

    // Sized in lines and characters of its own font, so it suits any scale.
    const QFontMetrics metrics = m_browser->fontMetrics();
    resize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 36);

    // Esc closes the guide, as it closes the other small windows.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence::Cancel);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
}

bool HelpWindow::hasGuide() const
{
    return !m_browser->document()->isEmpty();
}

} // namespace fretmap
