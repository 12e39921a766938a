#include "help_window.h"

#include "screen_reader.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QTextEdit>
#include <QVBoxLayout>

namespace fretmap {

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_text(new QTextEdit(this))
{
    // A window of its own with the text inside it, so that a screen reader
    // announces a window by its title, then the text.
    setObjectName(QStringLiteral("helpWindow"));
    setAccessibleRole(this, QAccessible::Window); // a plain widget would be a pane
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);

    // A read-only text, not a text browser: a screen reader meets a document
    // to read line by line from the caret, which the arrow keys move, where
    // it takes a browser for a label and reads it whole in one breath. No
    // colours of its own: the text and background are the palette's, so the
    // guide reads as well under a dark theme as under a light one.
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFile guide(QStringLiteral(":/help/guide.html")); // built into the program
    if (guide.open(QIODevice::ReadOnly))
        m_text->setHtml(QString::fromUtf8(guide.readAll()));

    const QString title = m_text->documentTitle();
    setWindowTitle(title);
    setAccessibleName(title);

    // Sized in lines and characters of its own font, so it suits any scale.
    const QFontMetrics metrics = m_text->fontMetrics();
    resize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 36);

    // Esc closes the guide, as it closes the other small windows.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence::Cancel);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
}

bool HelpWindow::hasGuide() const
{
    return !m_text->document()->isEmpty();
}

} // namespace fretmap
