#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/audio_output.h"
#include "sound/pluck.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace fretmap {

// Sounds the fingering on the board through the desktop's sound output. The
// output comes from the sound module, opened on the first request, so that
// the program starts without the media stack and runs whole without it.
class ChordPlayer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChordPlayer)

public:
    // Makes an output, or leaves why not in `problem`: a sentence that
    // says what is missing and what to do about it.
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>(QString& problem)>;

    explicit ChordPlayer(QObject* parent = nullptr);
    ~ChordPlayer() override;

    // In place of the sound module, before the first request.
    void setOutputFactory(OutputFactory factory) { m_factory = std::move(factory); }

    // Stops what is playing and plays `state`.
    void play(const FretboardState& state, PlayStyle style);
    void stop();

    // The output, once a request has opened it.
    AudioOutput* output() const { return m_output.get(); }

    // The sound module's output on the default device, from the module
    // beside the program or in the installed module folder; or from the
    // first of `folders` that holds it.
    static std::unique_ptr<AudioOutput> loadModuleOutput(QString& problem);
    // Where that looks, in order: the program's own folder, then the
    // installed module folder.
    static QStringList moduleFolders();
    static std::unique_ptr<AudioOutput> loadModuleOutput(const QStringList& folders, QString& problem);

signals:
    // There is no sound to be had, and why; sent once a run.
    void unavailable(const QString& why);

private:
    void report(const QString& problem);

    OutputFactory m_factory;
    std::unique_ptr<AudioOutput> m_output;
    bool m_reported = false;
};

} // namespace fretmap
