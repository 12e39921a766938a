#include "error_boundary.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <exception>

namespace fretmap {

namespace {

ErrorReporter& installedReporter()
{
    static ErrorReporter reporter;
    return reporter;
}

QString describeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QCoreApplication::translate("fretmap", "unknown error");
    }
}

} // namespace

void setErrorReporter(ErrorReporter reporter)
{
    installedReporter() = std::move(reporter);
}

void reportCurrentException() noexcept
{
    try {
        const QString text = QCoreApplication::translate("fretmap", "An unexpected error stopped the last command:\n%1")
                                 .arg(describeCurrentException());
        if (installedReporter())
            installedReporter()(text);
        else
            qCritical("%s", qUtf8Printable(text));
    } catch (...) {
        // A reporter that fails cannot report itself; the command is over either way.
        qCritical("fretmap: an error stopped the last command, and reporting it failed");
    }
}

} // namespace fretmap
