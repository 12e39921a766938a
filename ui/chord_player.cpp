#include "chord_player.h"

#include "sound_module.h"

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
    return sound_module::folders();
}

std::unique_ptr<AudioOutput> ChordPlayer::loadModuleOutput(QString& problem)
{
    return loadModuleOutput(moduleFolders(), problem);
}

std::unique_ptr<AudioOutput> ChordPlayer::loadModuleOutput(const QStringList& folders, QString& problem)
{
    const auto create = sound_module::resolveFunction<CreateAudioOutputFunction>(folders, kCreateAudioOutputSymbol, problem);
    if (!create)
        return nullptr;
    std::string why;
    std::unique_ptr<AudioOutput> output{create(&why)};
    if (!output)
        problem = QString::fromStdString(why);
    return output;
}

} // namespace fretmap
