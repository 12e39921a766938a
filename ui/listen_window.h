#pragma once

#include "fretboard/fretboard_view.h"
#include "sound/audio_input.h"
#include "sound/listen_session.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
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

// The listening window: a tuner, and the check of the chord on the board
// played string by string, as its ListenSession follows them. It listens to the desktop's input only while it
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
    void speakTuner();
    void setReferencePitch(int hertz);
    void startAgain();
    void showChanges(const ListenUpdate& update);
    void showTuner();
    void showCheck();
    void say(const QString& text);

    InputFactory m_openInput;
    InputLister m_listInputs;
    std::unique_ptr<AudioInput> m_input;
    ListenSession m_session; // listens to the open input, from its first sample

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
