// The player that opens the sound module: what it says when there is no
// sound, as the message box shows it, and what the real module says with
// no sound server to reach.

#include "recording_output.h"

#include "ui/chord_player.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

using fretmap::AudioOutput;
using fretmap::ChordPlayer;
using fretmap::PlayStyle;

namespace {

constexpr fretmap::FretboardState kC{{0, 1, 0, 2, 3, 6}, 1};

// An output that opens but whose stream does not start.
class FailingOutput : public RecordingOutput {
public:
    using RecordingOutput::RecordingOutput;
    std::string play(std::vector<std::int16_t> samples) override
    {
        RecordingOutput::play(std::move(samples));
        return "the sound output could not be opened";
    }
};

// Where the lines of `text` break when laid out `width` pixels wide in
// `font`, as a word-wrapped label lays it out: the index of each line's
// first character after the first line.
QList<int> lineStarts(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<int> starts;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (line.textStart() > 0)
            starts << line.textStart();
    }
    layout.endLayout();
    return starts;
}

// A listening socket where a sound server is looked for, that is none: it
// either never answers, or takes the connection and hangs up at once.
class NotASoundServer {
public:
    enum class Manner { NeverAnswers, HangsUp };

    NotASoundServer(const QString& path, Manner manner)
        : m_socket(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        std::memcpy(address.sun_path, name.constData(),
                    std::min(static_cast<std::size_t>(name.size()), sizeof address.sun_path - 1));
        // The system's socket calls take the address as its generic type.
        auto* generic = reinterpret_cast<sockaddr*>(&address); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        m_listening = ::bind(m_socket, generic, sizeof address) == 0 && ::listen(m_socket, 4) == 0;
        if (manner == Manner::HangsUp) {
            m_answerer = std::thread([socket = m_socket] {
                const int connection = ::accept(socket, nullptr, nullptr);
                if (connection >= 0)
                    ::close(connection);
            });
        }
    }
    ~NotASoundServer()
    {
        ::shutdown(m_socket, SHUT_RDWR); // ends an accept that no client came to
        if (m_answerer.joinable())
            m_answerer.join();
        ::close(m_socket);
    }
    NotASoundServer(const NotASoundServer&) = delete;
    NotASoundServer& operator=(const NotASoundServer&) = delete;

    bool listening() const { return m_listening; }

private:
    int m_socket;
    bool m_listening = false;
    std::thread m_answerer;
};

} // namespace

Q_DECLARE_METATYPE(NotASoundServer::Manner)

class ChordPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void noSoundMessageBreaksAtSpacesOnly_data();
    void noSoundMessageBreaksAtSpacesOnly();
    void streamThatDoesNotStartIsReported();
    void moduleSaysWhyInFull_data();
    void moduleSaysWhyInFull();
    void programFolderIsSearchedFirst();
};

void ChordPlayerTest::noSoundMessageBreaksAtSpacesOnly_data()
{
    QTest::addColumn<QString>("problem");

    QTest::newRow("no sound server")
        << "no sound output was found; start the desktop's sound server (PulseAudio, or PipeWire with its "
           "PulseAudio service pipewire-pulse), or install pulseaudio";
    QTest::newRow("no module in the installed folder")
        << "the sound module fretmap-audio.so is not installed in /usr/lib/x86_64-linux-gnu/fretmap; install "
           "Fretmap again";
    QTest::newRow("no libpulse")
        << "the sound module could not be loaded (Cannot load library /usr/lib/x86_64-linux-gnu/fretmap/"
           "fretmap-audio.so: (libpulse.so.0: cannot open shared object file: No such file or directory)); "
           "install the package libpulse0";
}

// The message box wraps the text to its width; a package, program or file
// name is never cut in two at a hyphen or a slash, at any width the box
// may take.
void ChordPlayerTest::noSoundMessageBreaksAtSpacesOnly()
{
    QFETCH(QString, problem);
    const QString message = QStringLiteral("No sound: %1.").arg(problem);

    QWidget window;
    QMessageBox* box = fretmap::showMessage(QMessageBox::Warning, "Fretmap: no sound", message, "noSound", &window);
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    const QString shown = label->text();
    QCOMPARE(QString(shown).replace(QChar(0x2011), QLatin1Char('-')).remove(QChar(0x2060)), message);
    // From the width of the longest name (a path) up to the widest box.
    for (int width = 320; width <= 1000; ++width) {
        for (int start : lineStarts(shown, label->font(), width))
            QVERIFY2(shown.at(start - 1).isSpace() || shown.at(start - 1) == QChar::LineSeparator,
                     qPrintable(QStringLiteral("at %1 px: ...%2|%3...")
                                    .arg(width)
                                    .arg(shown.mid(start - 12, 12), shown.mid(start, 12))));
    }
    box->close();
}

// A stream that fails to start is said once, in full, and not taken as
// playing: the next request plays again.
void ChordPlayerTest::streamThatDoesNotStartIsReported()
{
    QList<std::vector<std::int16_t>> plays;
    ChordPlayer player;
    player.setOutputFactory([&](QString&) { return std::make_unique<FailingOutput>(plays); });
    QSignalSpy unavailable(&player, &ChordPlayer::unavailable);
    player.play(kC, PlayStyle::Chord);
    player.play(kC, PlayStyle::StringByString);
    QCOMPARE(plays.size(), 2);
    QCOMPARE(unavailable.size(), 1);
    QCOMPARE(unavailable.first().first().toString(),
             QStringLiteral("No sound: the sound output could not be opened: check that the desktop's sound server "
                            "is running."));
}

void ChordPlayerTest::moduleSaysWhyInFull_data()
{
    QTest::addColumn<bool>("listening"); // whether something listens where the server is looked for
    QTest::addColumn<NotASoundServer::Manner>("manner");
    QTest::addColumn<QString>("address"); // PULSE_SERVER; %1 is where the test listens, if it does
    QTest::addColumn<QString>("message");

    const QString noServer = QStringLiteral(
        "No sound: no sound output was found; start the desktop's sound server (PulseAudio, or PipeWire with its "
        "PulseAudio service pipewire-pulse), or install pulseaudio.");
    QTest::newRow("no sound server") << false << NotASoundServer::Manner::NeverAnswers << "unix:%1" << noServer;
    // libpulse takes no server from an empty address, and fails at once.
    QTest::newRow("an invalid server address") << false << NotASoundServer::Manner::NeverAnswers << "" << noServer;
    QTest::newRow("a server that never answers")
        << true << NotASoundServer::Manner::NeverAnswers << "unix:%1"
        << "No sound: the sound server did not answer within 3 seconds; restart the desktop's sound server.";
    QTest::newRow("a server that hangs up")
        << true << NotASoundServer::Manner::HangsUp << "unix:%1"
        << "No sound: the sound server refused Fretmap (Connection terminated); restart the desktop's sound server.";
}

// The real module where no sound server serves: its reason, every word of
// it, is the message; one that never answers does not hold the window for
// ever.
void ChordPlayerTest::moduleSaysWhyInFull()
{
    QFETCH(bool, listening);
    QFETCH(NotASoundServer::Manner, manner);
    QFETCH(QString, address);
    QFETCH(QString, message);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString socket = folder.filePath(QStringLiteral("pulse"));
    std::optional<NotASoundServer> server;
    if (listening) {
        server.emplace(socket, manner);
        QVERIFY(server->listening());
    }
    const QByteArray before = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", address.replace(QLatin1String("%1"), socket).toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("PULSE_SERVER", before); });

    ChordPlayer player;
    player.setOutputFactory([](QString& why) { return ChordPlayer::loadModuleOutput({FRETMAP_AUDIO_MODULE_DIR}, why); });
    QSignalSpy unavailable(&player, &ChordPlayer::unavailable);
    player.play(kC, PlayStyle::Chord);
    QCOMPARE(unavailable.size(), 1);
    QCOMPARE(unavailable.first().first().toString(), message);
}

// A module beside the program (a build, or a copy being tried) is taken
// before the installed one; a missing module names the installed folder.
void ChordPlayerTest::programFolderIsSearchedFirst()
{
    const QStringList folders = ChordPlayer::moduleFolders();
    QCOMPARE(folders.size(), 2);
    QCOMPARE(folders.first(), QCoreApplication::applicationDirPath());
    QVERIFY2(folders.last().endsWith(QLatin1String("/fretmap")) && folders.last() != folders.first(),
             qPrintable(folders.last()));
}

QTEST_MAIN(ChordPlayerTest)
#include "chord_player_test.moc"
