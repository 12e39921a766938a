#include "fretmap_application.h"

#include <QMessageBox>

#include <exception>

namespace fretmap {

FretmapApplication::FretmapApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Fretmap"));
}

bool FretmapApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        report(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report(tr("unknown error"));
    }
    return false;
}

void FretmapApplication::report(const QString& what)
{
    const QString text = tr("An unexpected error stopped the last command:\n%1").arg(what);
    if (m_reporter)
        m_reporter(text);
}

void FretmapApplication::showErrorMessage(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Critical, applicationName(), text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("errorMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace fretmap
