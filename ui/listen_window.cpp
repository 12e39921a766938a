#include "listen_window.h"

#include "chord_player.h"
#include "colour_contrast.h"
#include "qt_text.h"
#include "screen_reader.h"
#include "sound_module.h"
#include "tuner_needle.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace fretmap {

namespace {

constexpr std::string_view kTitle = "Fretmap: listen";
constexpr std::string_view kDefaultInput = "Default input";
constexpr std::string_view kNoInput = "None";
constexpr std::string_view kInTuneSign = "\u2713 in tune";
// The open string of standard tuning nearest the pitch, the one a guitarist
// tunes with it.
constexpr std::string_view kNearestString = "Nearest open string: %1 (%2)";
constexpr std::string_view kLongestReading = "C#4, 50 cents sharp";
constexpr std::string_view kStartAgainKey = "F5";
constexpr std::string_view kSpeakTunerKey = "Ctrl+T";

// How often the window takes what the input recorded: often enough for the
// tuner to move 15 times a second and more, and for a verdict to follow its
// note at once.
constexpr int kPollMilliseconds = 15;
// The level meter's scale, in dB of full scale.
constexpr int kQuietestLevel = -60;

// How a row of the check looks: a glyph and an ink that say the same as its
// words, for those who read the list at a glance.
enum class Tone {
    Plain, // waiting, or not played
    Next,  // the string to play now
    Right,
    Off,    // the right note, out of tune
    Wrong,  // another fret
    Missing // not heard
};

// Each tone's ink for a light field and for a dark one; the one that stands
// out more from the list's field is taken, so that the rows read under a
// light or a dark desktop alike.
struct Ink {
    QRgb onLight;
    QRgb onDark;
};

Ink inkOf(Tone tone)
{
    switch (tone) {
    case Tone::Next: return {qRgb(0x0b, 0x4f, 0xb0), qRgb(0x8a, 0xb4, 0xf8)};
    case Tone::Right: return {qRgb(0x1b, 0x6e, 0x1b), qRgb(0x7d, 0xdc, 0x7d)};
    case Tone::Off: return {qRgb(0x8a, 0x4b, 0x00), qRgb(0xff, 0xc0, 0x4d)};
    case Tone::Wrong: return {qRgb(0xb0, 0x00, 0x20), qRgb(0xff, 0x8a, 0x80)};
    case Tone::Missing: return {qRgb(0x5f, 0x63, 0x68), qRgb(0xbd, 0xc1, 0xc6)};
    case Tone::Plain: break;
    }
    return {qRgb(0, 0, 0), qRgb(0xff, 0xff, 0xff)};
}

QColor inkOn(Tone tone, const QColor& field)
{
    const Ink ink = inkOf(tone);
    const QColor light = QColor::fromRgb(ink.onLight);
    const QColor dark = QColor::fromRgb(ink.onDark);
    return contrastRatio(light, field) >= contrastRatio(dark, field) ? light : dark;
}

Tone toneOf(const StringCheck& check)
{
    switch (check.status) {
    case StringStatus::PlayNow: return Tone::Next;
    case StringStatus::Judged:
        switch (check.verdict.kind) {
        case VerdictKind::Right: return Tone::Right;
        case VerdictKind::OutOfTune: return Tone::Off;
        case VerdictKind::WrongFret: return Tone::Wrong;
        case VerdictKind::NotHeard: return Tone::Missing;
        }
        break;
    case StringStatus::Waiting:
    case StringStatus::NotPlayed:
        break;
    }
    return Tone::Plain;
}

// ✓ right, ♯ or ♭ out of tune, ✗ another fret, ? not heard, ▶ play it
// now, × not played (as on the board), · waiting.
QString glyphOf(const StringCheck& check)
{
    switch (check.status) {
    case StringStatus::NotPlayed: return QStringLiteral("\u00D7");
    case StringStatus::Waiting: return QStringLiteral("\u00B7");
    case StringStatus::PlayNow: return QStringLiteral("\u25B6");
    case StringStatus::Judged: break;
    }
    switch (check.verdict.kind) {
    case VerdictKind::Right: return QStringLiteral("\u2713");
    case VerdictKind::OutOfTune: return check.verdict.cents > 0 ? QStringLiteral("\u266F") : QStringLiteral("\u266D");
    case VerdictKind::WrongFret: return QStringLiteral("\u2717");
    case VerdictKind::NotHeard: break;
    }
    return QStringLiteral("?");
}

// A strum's string as a row of the check shows it: one it cannot tell
// with the ? of a string not heard, one sounding where it should not with
// the ✗ of a wrong note.
StringCheck shownAs(const StrumString& strummed)
{
    StringCheck check{strummed.string, strummed.wanted, strummed.fret, StringStatus::Judged, strummed.verdict};
    switch (strummed.kind) {
    case StrumStringKind::Judged: break;
    case StrumStringKind::CantTell: check.verdict = Verdict{}; break;
    case StrumStringKind::NotPlayedButHeard: check.verdict.kind = VerdictKind::WrongFret; break;
    case StrumStringKind::NotPlayed: check.status = StringStatus::NotPlayed; break;
    }
    return check;
}

} // namespace

// The check's six rows, each as high as its own words need, the bold one
// too, and as wide as the longest phrase a row can hold: the list never
// scrolls. Its size follows the rows, the font and the style.
class StringCheckList : public QListWidget {
public:
    explicit StringCheckList(QWidget* parent)
        : QListWidget(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // A row's text or font changes its height; font and style changes
        // reach the layout by themselves.
        connect(model(), &QAbstractItemModel::dataChanged, this, &QWidget::updateGeometry);
        connect(model(), &QAbstractItemModel::rowsInserted, this, &QWidget::updateGeometry);
    }

    QSize sizeHint() const override
    {
        int rows = 0;
        for (int row = 0; row < count(); ++row)
            rows += sizeHintForRow(row);
        QFont bold = font();
        bold.setBold(true);
        const QString longest = QStringLiteral("\u266F  String 5, fret 10, C#4: C#4, 35 cents sharp");
        const int phrase = std::max(fontMetrics().horizontalAdvance(longest),
                                    QFontMetrics(bold).horizontalAdvance(longest));
        return {phrase + fontMetrics().averageCharWidth() * 4 + 2 * frameWidth(), rows + 2 * frameWidth()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

ListenWindow::ListenWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_openInput(&ListenWindow::openModuleInput)
    , m_listInputs(&ListenWindow::listModuleInputs)
    , m_poll(new QTimer(this))
    , m_inputChooser(new QComboBox(this))
    , m_inputName(new QLabel(this))
    , m_inputLevel(new QProgressBar(this))
    , m_inputProblem(new QLabel(this))
    , m_referencePitch(new QSpinBox(this))
    , m_tunerReading(new QLabel(this))
    , m_inTuneSign(new QLabel(this))
    , m_nearestString(new QLabel(this))
    , m_needle(new TunerNeedle(this))
    , m_stringChecks(new StringCheckList(this))
    , m_checkSummary(new QLabel(this))
    , m_startAgain(new QPushButton(QStringLiteral("Start again"), this))
    , m_notice(new SpokenNotice(this))
{
    setObjectName(QStringLiteral("listenWindow"));
    setAccessibleRole(this, QAccessible::Window); // a plain widget would be a pane
    setWindowTitle(toQString(kTitle));
    setAccessibleName(toQString(kTitle));
    // Closing the main window ends the program, and the listening with it.
    setAttribute(Qt::WA_QuitOnClose, false);
    createControls();

    m_poll->setInterval(kPollMilliseconds);
    connect(m_poll, &QTimer::timeout, this, &ListenWindow::listen);

    // Esc closes the window, as it closes the other small windows.
    auto* closeAction = new QAction(this);
    closeAction->setShortcut(QKeySequence::Cancel);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
    auto* speakTuner = new QAction(this);
    speakTuner->setObjectName(QStringLiteral("speakTuner"));
    speakTuner->setShortcut(QKeySequence(toQString(kSpeakTunerKey)));
    connect(speakTuner, &QAction::triggered, this, &ListenWindow::speakTuner);
    addAction(speakTuner);

    setBoard(BoardContent::NothingShown);
    showTuner();
}

ListenWindow::~ListenWindow() = default;

void ListenWindow::createControls()
{
    // The input.
    m_inputChooser->setObjectName(QStringLiteral("inputChooser"));
    m_inputChooser->setAccessibleName(QStringLiteral("Input"));
    m_inputChooser->addItem(toQString(kDefaultInput), QString());
    connect(m_inputChooser, &QComboBox::activated, this, &ListenWindow::chooseInput);
    m_inputName->setObjectName(QStringLiteral("inputName"));
    m_inputName->setText(toQString(kNoInput));
    m_inputName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_inputLevel->setObjectName(QStringLiteral("inputLevel"));
    m_inputLevel->setAccessibleName(QStringLiteral("Input level"));
    m_inputLevel->setRange(kQuietestLevel, 0);
    m_inputLevel->setValue(kQuietestLevel);
    m_inputLevel->setFormat(QStringLiteral("%v dB"));
    m_inputProblem->setObjectName(QStringLiteral("inputProblem"));
    m_inputProblem->setWordWrap(true);
    m_inputProblem->hide();

    auto* inputForm = new QFormLayout;
    auto* inputLabel = new QLabel(QStringLiteral("&Input:"), this);
    inputLabel->setBuddy(m_inputChooser);
    inputForm->addRow(inputLabel, m_inputChooser);
    inputForm->addRow(QStringLiteral("Listening to:"), m_inputName);
    inputForm->addRow(QStringLiteral("Level:"), m_inputLevel);

    // The tuner.
    m_referencePitch->setObjectName(QStringLiteral("referencePitch"));
    m_referencePitch->setAccessibleName(QStringLiteral("A4"));
    m_referencePitch->setRange(static_cast<int>(kLowestReferencePitch), static_cast<int>(kHighestReferencePitch));
    m_referencePitch->setValue(static_cast<int>(kDefaultReferencePitch));
    m_referencePitch->setSuffix(QStringLiteral(" Hz"));
    connect(m_referencePitch, &QSpinBox::valueChanged, this, &ListenWindow::setReferencePitch);
    m_tunerReading->setObjectName(QStringLiteral("tunerReading"));
    QFont readingFont = m_tunerReading->font();
    readingFont.setPointSizeF(readingFont.pointSizeF() * 1.6);
    readingFont.setBold(true);
    m_tunerReading->setFont(readingFont);
    // Room for the longest reading, so that none is cut off.
    m_tunerReading->setMinimumWidth(QFontMetrics(readingFont).horizontalAdvance(toQString(kLongestReading)));
    m_inTuneSign->setObjectName(QStringLiteral("inTuneSign"));
    QFont signFont = m_inTuneSign->font();
    signFont.setBold(true);
    m_inTuneSign->setFont(signFont);
    // Room for the sign, shown or not, so that the needle keeps its length.
    m_inTuneSign->setMinimumWidth(QFontMetrics(signFont).horizontalAdvance(toQString(kInTuneSign)));

    auto* tuner = new QGroupBox(QStringLiteral("Tuner"), this);
    auto* tunerLayout = new QVBoxLayout(tuner);
    auto* pitchForm = new QFormLayout;
    auto* pitchLabel = new QLabel(QStringLiteral("&A4:"), tuner);
    pitchLabel->setBuddy(m_referencePitch);
    pitchForm->addRow(pitchLabel, m_referencePitch);
    tunerLayout->addLayout(pitchForm);
    tunerLayout->addWidget(m_tunerReading);
    m_nearestString->setObjectName(QStringLiteral("nearestString"));
    tunerLayout->addWidget(m_nearestString);
    auto* needleRow = new QHBoxLayout;
    needleRow->addWidget(m_needle, 1);
    needleRow->addWidget(m_inTuneSign);
    tunerLayout->addLayout(needleRow);

    // The check, string 1 on top as on the board.
    m_stringChecks->setObjectName(QStringLiteral("stringChecks"));
    m_stringChecks->setAccessibleName(QStringLiteral("Strings"));
    m_stringChecks->setSelectionMode(QAbstractItemView::NoSelection);
    for (int string = 1; string <= kStringCount; ++string)
        m_stringChecks->addItem(QString());
    m_checkSummary->setObjectName(QStringLiteral("checkSummary"));
    m_checkSummary->setWordWrap(true);
    m_startAgain->setObjectName(QStringLiteral("startAgain"));
    m_startAgain->setShortcut(QKeySequence(toQString(kStartAgainKey)));
    m_startAgain->setAccessibleDescription(QStringLiteral("Checks the chord again from the lowest string (F5)"));
    connect(m_startAgain, &QPushButton::clicked, this, &ListenWindow::startAgain);

    auto* check = new QGroupBox(QStringLiteral("Chord, string by string"), this);
    auto* checkLayout = new QVBoxLayout(check);
    checkLayout->addWidget(m_stringChecks);
    checkLayout->addWidget(m_checkSummary);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(m_startAgain);
    buttonRow->addStretch();
    checkLayout->addLayout(buttonRow);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(inputForm);
    layout->addWidget(m_inputProblem);
    layout->addWidget(tuner);
    layout->addWidget(check);
    layout->addStretch(1);

    setTabOrder(m_inputChooser, m_referencePitch);
    setTabOrder(m_referencePitch, m_stringChecks);
    setTabOrder(m_stringChecks, m_startAgain);
    m_stringChecks->setFocus();
}

std::unique_ptr<AudioInput> ListenWindow::openModuleInput(const std::string& name, QString& problem)
{
    const auto open = sound_module::resolveFunction<OpenAudioInputFunction>(ChordPlayer::moduleFolders(),
                                                                            kOpenAudioInputSymbol, problem);
    if (!open)
        return nullptr;
    std::string why;
    std::unique_ptr<AudioInput> input{open(&name, &why)};
    if (!input)
        problem = QString::fromStdString(why);
    return input;
}

std::vector<AudioInputDevice> ListenWindow::listModuleInputs(QString& problem)
{
    const auto list = sound_module::resolveFunction<ListAudioInputsFunction>(ChordPlayer::moduleFolders(),
                                                                             kListAudioInputsSymbol, problem);
    std::vector<AudioInputDevice> inputs;
    std::string why;
    if (list && !list(&inputs, &why))
        problem = QString::fromStdString(why);
    return inputs;
}

void ListenWindow::setBoard(BoardContent content, const FretboardState& state)
{
    showChanges(m_session.setBoard(content, state)); // said only while shown
}

bool ListenWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        fitHeightToWidth(); // the layout has taken its new sizes
    return handled;
}

void ListenWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitHeightToWidth();
}

// A window's least size comes from its layout's, which counts a wrapped
// label's lines at the label's widest: at the window's own width a
// problem's lines need more, and the layout would lay the summary over the
// rows. The least height is what the layout needs at the width it has.
void ListenWindow::fitHeightToWidth()
{
    const int needed = std::max(layout()->totalMinimumSize().height(), layout()->totalHeightForWidth(width()));
    if (minimumHeight() != needed)
        setMinimumHeight(needed);
}

// Only the window's own showing and hiding: the window system's (a
// minimised window) leave the listening as it is.
void ListenWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    startListening();
    // A problem just shown takes lines: the window is mapped at the height
    // they need, rather than left for the window manager to grow it later.
    fitHeightToWidth();
}

void ListenWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        stopListening();
}

void ListenWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The rows' inks suit the new field, and their fonts follow the list's.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange
        || event->type() == QEvent::FontChange)
        showCheck();
}

void ListenWindow::startListening()
{
    if (m_input)
        return;
    fillInputChooser();
    openInput();
}

// Opens the input chosen; the sound's clock, the tuner and the check start
// with it.
void ListenWindow::openInput()
{
    QString problem;
    m_input = m_openInput(m_inputChooser->currentData().toString().toStdString(), problem);
    ListenUpdate started;
    if (m_input) {
        try {
            started = m_session.start(m_input->sampleRate());
        } catch (const std::invalid_argument& error) {
            problem = QString::fromUtf8(error.what());
            m_input.reset();
        }
    }
    if (!m_input) {
        reportProblem(problem);
        return;
    }
    m_inputProblem->hide();
    m_inputName->setText(QString::fromStdString(m_input->description()));
    showChanges(started);
    m_poll->start();
}

// Closes the input, and the microphone with it; what was heard goes too.
void ListenWindow::stopListening()
{
    m_poll->stop();
    m_input.reset();
    const ListenUpdate stopped = m_session.stop();
    m_inputName->setText(toQString(kNoInput));
    m_inputLevel->setValue(kQuietestLevel);
    showChanges(stopped);
}

// The inputs as the server lists them now; the one chosen stays chosen
// while it is there.
void ListenWindow::fillInputChooser()
{
    QString problem; // without a list, the default input is still there to try
    const std::vector<AudioInputDevice> inputs = m_listInputs(problem);
    const QString chosen = m_inputChooser->currentData().toString();
    m_inputChooser->clear();
    m_inputChooser->addItem(toQString(kDefaultInput), QString());
    for (const AudioInputDevice& input : inputs)
        m_inputChooser->addItem(QString::fromStdString(input.description), QString::fromStdString(input.name));
    m_inputChooser->setCurrentIndex(std::max(0, m_inputChooser->findData(chosen)));
}

// Another input: the stream is opened anew on it.
void ListenWindow::chooseInput(int /*index*/)
{
    if (!isVisible())
        return;
    stopListening();
    openInput();
}

// Said once, in the window and to a screen reader; the rest of the program
// goes on as before.
void ListenWindow::reportProblem(const QString& problem)
{
    const QString text = QStringLiteral("Cannot listen: %1.").arg(problem);
    m_inputProblem->setText(text);
    m_inputProblem->show();
    m_inputName->setText(toQString(kNoInput));
    say(text);
}

// Takes what the input recorded since the last time, and follows it: the
// level, the check, the tuner.
void ListenWindow::listen()
{
    if (!m_input)
        return;
    std::vector<float> samples;
    const std::string stopped = m_input->take(samples);
    const ListenUpdate heard = m_session.feed(samples);
    samples.clear(); // nothing heard is kept
    {
        // A screen reader would speak the meter's every move over the
        // verdicts; it reads the level when the user goes to the meter.
        const QuietAccessibility quiet;
        const double level = m_session.level().value_or(kQuietestLevel);
        m_inputLevel->setValue(std::clamp(static_cast<int>(std::lround(level)), kQuietestLevel, 0));
    }
    showChanges(heard);
    if (!stopped.empty()) {
        stopListening();
        reportProblem(QString::fromStdString(stopped));
    }
}

void ListenWindow::showTuner()
{
    const std::optional<TunerReading> reading = m_session.tunerReading();
    const QString text = QString::fromStdString(m_session.tunerPhrase());
    if (m_tunerReading->text() != text) {
        m_tunerReading->setText(text);
        m_tunerReading->setAccessibleName(text);
    }
    m_inTuneSign->setText(reading && reading->inTune() ? toQString(kInTuneSign) : QString());
    m_nearestString->setText(
        reading ? toQString(kNearestString)
                      .arg(reading->nearestString)
                      .arg(QString::fromStdString(noteName(kOpenStringNotes[static_cast<std::size_t>(reading->nearestString - 1)])))
                : QString());
    m_needle->setReading(reading);
}

// Whatever the tuner reads, said on demand.
void ListenWindow::speakTuner()
{
    say(QString::fromStdString(m_session.tunerPhrase()));
}

void ListenWindow::setReferencePitch(int hertz)
{
    showChanges(m_session.setReferencePitch(hertz));
}

void ListenWindow::startAgain()
{
    showChanges(m_session.startAgain());
}

void ListenWindow::showChanges(const ListenUpdate& update)
{
    if (update.checkChanged)
        showCheck();
    if (update.tunerChanged)
        showTuner();
    for (const std::string& text : update.said)
        say(QString::fromStdString(text));
}

void ListenWindow::showCheck()
{
    const QColor field = m_stringChecks->palette().color(QPalette::Base);
    const ChordCheck& checked = m_session.check();
    const auto phrases = m_session.rows();
    for (int row = 0; row < kStringCount; ++row) {
        const auto at = static_cast<std::size_t>(row);
        const StringCheck check = m_session.strum() ? shownAs((*m_session.strum())[at]) : checked.strings()[at];
        const QString phrase = QString::fromStdString(phrases[static_cast<std::size_t>(row)]);
        QListWidgetItem* item = m_stringChecks->item(row);
        item->setText((checked.hasChord() ? glyphOf(check) : QStringLiteral("\u00B7")) + QStringLiteral("  ") + phrase);
        item->setData(Qt::AccessibleTextRole, phrase);
        item->setForeground(inkOn(checked.hasChord() ? toneOf(check) : Tone::Plain, field));
        QFont font = m_stringChecks->font();
        font.setBold(check.status == StringStatus::PlayNow); // the string to play now stands out
        item->setFont(font);
    }
    m_checkSummary->setText(QString::fromStdString(m_session.summary()));
}

void ListenWindow::say(const QString& text)
{
    if (isVisible() && !text.isEmpty())
        m_notice->say(text);
}

} // namespace fretmap
