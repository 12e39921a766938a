#include "sound_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace fretmap::sound_module {

QStringList folders()
{
    const QDir programDir{QCoreApplication::applicationDirPath()};
    // The installed folder last, so that it is the one a missing module names.
    const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral(FRETMAP_MODULE_DIR_FROM_PROGRAM)));
    return {programDir.path(), installed};
}

QFunctionPointer resolve(const QStringList& folders, const char* symbol, QString& problem)
{
    const QString name = QStringLiteral(FRETMAP_AUDIO_MODULE);
    QString path;
    for (const QString& folder : folders) {
        if (QFileInfo::exists(QDir{folder}.filePath(name))) {
            path = QDir{folder}.filePath(name);
            break;
        }
    }
    if (path.isEmpty()) {
        problem = QStringLiteral("the sound module %1 is not installed in %2; install Fretmap again")
                      .arg(name, folders.isEmpty() ? QString() : folders.last());
        return nullptr;
    }

    // Loaded once: a second QLibrary of the same file shares the loaded
    // module, and none of them unloads it.
    QLibrary module{path};
    const QFunctionPointer function = module.resolve(symbol);
    if (!function) {
        problem = QStringLiteral("the sound module could not be loaded (%1); install the package libpulse0")
                      .arg(module.errorString());
        return nullptr;
    }
    return function;
}

} // namespace fretmap::sound_module
