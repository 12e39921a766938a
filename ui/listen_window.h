#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/audio_input.h"
#include "sound/chord_check.h"
#include "sound/note_listener.h"
#include "sound/tuner.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace fretmap {

class SpokenNotice;
class TunerNeedle;

// What the board shows, for the check.
enum class BoardContent {
    NothingShown, // before the first display
    UnknownChord, // a chord the chart does not know
    Chord
};

// The listening window: a tuner, and the check of the chord on the board
// played string by string. It listens to the desktop's input only while it
// is shown: the input is opened when it is shown and closed when it is
// hidden or closed, and nothing heard is kept.
class ListenWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListenWindow)

public:
    // Opens the input named `name` (empty: the desktop's default input), or
    // leaves why not in `problem`.
    using InputFactory = std::function<std::unique_ptr<AudioInput>(const std::string& name, QString& problem)>;
    // The inputs to choose from, the default first; leaves why not in
    // `problem` when there are none to be had.
    using InputLister = std::function<std::vector<AudioInputDevice>(QString& problem)>;

    explicit ListenWindow(QWidget* parent = nullptr);
    ~ListenWindow() override;

    // In place of the sound module, before the window is first shown.
    void setInputFactory(InputFactory factory) { m_openInput = std::move(factory); }
    void setInputLister(InputLister lister) { m_listInputs = std::move(lister); }

    // The chord to check; the check starts again on it.
    void setBoard(BoardContent content, const FretboardState& state = {});

    // The input listened to, while the window listens.
    AudioInput* input() const { return m_input.get(); }

    // The sound module's input and its list of inputs.
    static std::unique_ptr<AudioInput> openModuleInput(const std::string& name, QString& problem);
    static std::vector<AudioInputDevice> listModuleInputs(QString& problem);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void fitHeightToWidth();
    void startListening();
    void openInput();
    void stopListening();
    void fillInputChooser();
    void chooseInput(int index);
    void reportProblem(const QString& problem);
    void listen();
    void hearNotes();
    bool sayVerdicts(const std::array<StringCheck, kStringCount>& before);
    void showTuner();
    void sayForCheck(const QString& text);
    void speakTuner(bool onDemand);
    void setReferencePitch(int hertz);
    void startAgain();
    void restartCheck(bool speak);
    void showCheck();
    void say(const QString& text);
    double seconds() const;

    InputFactory m_openInput;
    InputLister m_listInputs;
    std::unique_ptr<AudioInput> m_input;
    std::optional<NoteListener> m_listener; // follows the open input, from its first sample
    Tuner m_tuner;
    BoardContent m_content = BoardContent::NothingShown;
    FretboardState m_state;
    ChordCheck m_check;
    std::optional<TunerReading> m_spokenReading; // what the tuner said last
    std::optional<double> m_spokenAt;            // when, in seconds of sound

    QTimer* m_poll;
    QComboBox* m_inputChooser;
    QLabel* m_inputName;
    QProgressBar* m_inputLevel;
    QLabel* m_inputProblem;
    QSpinBox* m_referencePitch;
    QLabel* m_tunerReading;
    QLabel* m_inTuneSign;
    QLabel* m_nearestString; // the open string to tune with the reading
    TunerNeedle* m_needle;
    QListWidget* m_stringChecks;
    QLabel* m_checkSummary;
    QPushButton* m_startAgain;
    SpokenNotice* m_notice;
};

} // namespace fretmap
