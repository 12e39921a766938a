#include "help_window.h"

#include <QAction>
#include <QKeySequence>

namespace fretmap {

HelpWindow::HelpWindow(QWidget* parent)
    : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowFlag(Qt::Window);
    // No colours of its own: the text and background are the palette's, so
    // the guide reads as well under a dark theme as under a light one.
    setOpenExternalLinks(true);
    setSource(guideUrl());

    const QString title = documentTitle();
    setWindowTitle(title);
    setAccessibleName(title);

    // Sized in lines and characters of its own font, so it suits any scale.
    const QFontMetrics metrics = fontMetrics();
    resize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 36);

    // Esc closes the guide, as it closes the other small windows.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence::Cancel);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
}

bool HelpWindow::hasGuide() const
{
    return !document()->isEmpty();
}

} // namespace fretmap
