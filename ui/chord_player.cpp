#include "chord_player.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <string>

namespace fretmap {

ChordPlayer::ChordPlayer(QObject* parent)
    : QObject(parent)
    , m_factory([](QString& problem) { return loadModuleOutput(problem); })
{
}

ChordPlayer::~ChordPlayer() = default;

void ChordPlayer::play(const FretboardState& state, PlayStyle style)
{
    if (!m_output) {
        QString problem;
        m_output = m_factory(problem);
        if (!m_output) {
            report(problem);
            return;
        }
    }
    const std::string problem = m_output->play(renderFingering(state, style, m_output->sampleRate()));
    if (!problem.empty())
        report(QString::fromStdString(problem + ": check that the desktop's sound server is running"));
}

void ChordPlayer::stop()
{
    if (m_output)
        m_output->stop();
}

void ChordPlayer::report(const QString& problem)
{
    if (m_reported)
        return;
    m_reported = true;
    emit unavailable(QStringLiteral("No sound: %1.").arg(problem));
}

QStringList ChordPlayer::moduleFolders()
{
    const QDir programDir{QCoreApplication::applicationDirPath()};
    // The installed folder last, so that it is the one a missing module names.
    const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral(FRETMAP_MODULE_DIR_FROM_PROGRAM)));
    return {programDir.path(), installed};
}

std::unique_ptr<AudioOutput> ChordPlayer::loadModuleOutput(QString& problem)
{
    return loadModuleOutput(moduleFolders(), problem);
}

std::unique_ptr<AudioOutput> ChordPlayer::loadModuleOutput(const QStringList& folders, QString& problem)
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

    // Kept loaded for the rest of the run: the output's code lives in it.
    QLibrary module{path};
    // A symbol comes as an untyped address; the module's header gives its type.
    auto create = reinterpret_cast<CreateAudioOutputFunction>( // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        module.resolve(kCreateAudioOutputSymbol));
    if (!create) {
        problem = QStringLiteral("the sound module could not be loaded (%1); install the package libpulse0")
                      .arg(module.errorString());
        return nullptr;
    }
    std::string why;
    std::unique_ptr<AudioOutput> output{create(&why)};
    if (!output)
        problem = QString::fromStdString(why);
    return output;
}

} // namespace fretmap
