#include "common_dialog.h"

#include "bring_to_front.h"
#include "help_window.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

namespace fretmap {

CommonDialog::CommonDialog(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("dlgCommonDialog"));
}

CommonDialog::~CommonDialog() = default;

QString CommonDialog::findHelpFile() const
{
    if (m_helpFile.isEmpty())
        return {};
    // Where a help viewer looks for a bare file name.
    const QString dirs[] = {QDir::currentPath(), QCoreApplication::applicationDirPath()};
    for (const QString& dir : dirs) {
        const QFileInfo candidate(QDir(dir), m_helpFile);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

void CommonDialog::showHelp()
{
    if (m_helpCommand != kHelpContents) {
        tellUser(tr("Help command %1 for \"%2\" is not supported.").arg(m_helpCommand).arg(m_helpFile));
        return;
    }
    const QString path = findHelpFile();
    if (path.isEmpty()) {
        // The help file is not part of the program; its own guide stands in.
        if (m_helpFile.isEmpty() || !showGuide())
            tellUser(tr("Cannot find the help file \"%1\".").arg(m_helpFile));
        return;
    }
    if (!m_opener || !m_opener(QUrl::fromLocalFile(path))) {
        // Said first, then the guide comes to the front: Contents always
        // ends in help the guitarist can read.
        tellUser(tr("No program on this desktop can open the help file \"%1\".").arg(path));
        showGuide();
    }
}

bool CommonDialog::showGuide()
{
    if (!m_guide) {
        auto guide = std::make_unique<HelpWindow>();
        if (!guide->hasGuide())
            return false;
        if (m_window)
            guide->setWindowIcon(m_window->windowIcon());
        m_guide = std::move(guide);
    }
    bringToFront(m_guide.get());
    return true;
}

void CommonDialog::tellUser(const QString& text)
{
    if (!m_message) {
        m_message = new QMessageBox(QMessageBox::Information, m_window ? m_window->windowTitle() : QString(), {},
                                    QMessageBox::Ok, m_window);
        m_message->setObjectName(QStringLiteral("helpMessage"));
        m_message->setWindowModality(Qt::NonModal);
        m_message->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_message->setText(text);
    m_message->show();
    m_message->raise();
}

} // namespace fretmap
