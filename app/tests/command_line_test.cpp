// The program started from a shell without a display: --help and --version
// answer, an argument it does not take is refused, and a start without a
// display says so in one line instead of Qt's abort. What Qt says while it
// starts is held back and passed on once it has started.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void bytesOfNoCharacterAreMasked_data();
    void bytesOfNoCharacterAreMasked();
};

void CommandLineTest::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment"); // NAME=value, on top of one with no display
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // on stdout for exit code 0, else stderr, a part for each line

    const QString version = QStringLiteral("Fretmap " FRETMAP_VERSION "\n");
    QTest::newRow("help") << QStringList{"--help"} << QStringList{} << 0 << "--version";
    QTest::newRow("help as -?") << QStringList{"-?"} << QStringList{} << 0 << "--version";
    QTest::newRow("help as -h") << QStringList{"-h"} << QStringList{} << 0 << "--version";
    QTest::newRow("version") << QStringList{"--version"} << QStringList{} << 0 << version;
    QTest::newRow("version after Qt's options") << QStringList{"-style", "fusion", "-reverse", "-v"} << QStringList{} << 0 << version;
    QTest::newRow("version after a joined value") << QStringList{"-style=fusion", "--version"} << QStringList{} << 0 << version;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << QStringList{} << 2 << "\"--bogus\"";
    QTest::newRow("stray word") << QStringList{"Cm7"} << QStringList{} << 2 << "\"Cm7\"";
    QTest::newRow("unknown after Qt's options") << QStringList{"-platform", "xcb", "-x"} << QStringList{} << 2 << "\"-x\"";
    QTest::newRow("value joined to Qt's option that takes none") << QStringList{"-reverse=1"} << QStringList{} << 2 << "\"-reverse=1\"";
    QTest::newRow("control characters and DEL") << QStringList{"-a\nb\x1b[2J\x7f"} << QStringList{} << 2 << "\"-a?b?[2J?\"";
    QTest::newRow("first and last C0 controls, tab") << QStringList{"-\x01x\tx\x1f"} << QStringList{} << 2 << "\"-?x?x?\"";
    // U+009B is the one-character CSI of C1; U+0085 a line end. Letters
    // around them, Ā (whose UTF-8 ends in 0x80) among them, stay.
    QTest::newRow("C1 controls") << QStringList{QStringLiteral("-\u0085\u009b2J\u0080\u009fé\u0100")} << QStringList{}
                                 << 2 << QStringLiteral("\"-??2J??é\u0100\"");
    // Qt takes -geometry only on X11.
    QTest::newRow("one argument that Qt leaves") << QStringList{"-geometry"} << QStringList{"QT_QPA_PLATFORM=offscreen"} << 2 << "\"-geometry\"";
    QTest::newRow("Qt's warning during the start passed on")
        << QStringList{"-geometry", "1x1"} << QStringList{"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR="} << 2
        << "XDG_RUNTIME_DIR not set\n\"-geometry\"";
    QTest::newRow("no display") << QStringList{} << QStringList{} << 1 << "needs a graphical display";
    QTest::newRow("Qt's options, no display") << QStringList{"-style=fusion", "-reverse"} << QStringList{} << 1 << "needs a graphical display";
    QTest::newRow("a style sheet joined, no display") << QStringList{"-stylesheet=file.qss"} << QStringList{} << 1 << "needs a graphical display";
    QTest::newRow("X11 named, no display") << QStringList{"-platform", "xcb"} << QStringList{} << 1 << "could not open one: could not connect to display";
    QTest::newRow("Wayland display set but not there")
        << QStringList{} << QStringList{"DISPLAY=", "WAYLAND_DISPLAY=fretmap-test-no-such-socket"} << 1
        << "could not open one: ";
    QTest::newRow("display named but not there") << QStringList{"-display", ":1234"} << QStringList{} << 1 << ":1234";
}

void CommandLineTest::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        noDisplay.remove(QString::fromLatin1(name));
    // A runtime folder of its own, so that Qt starts without a word about it.
    const QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    noDisplay.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    for (const QString& variable : std::as_const(environment))
        noDisplay.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    QProcess program;
    program.setProcessEnvironment(noDisplay);
    program.start(QStringLiteral(FRETMAP_PROGRAM), arguments);
    QVERIFY2(program.waitForFinished(60000), qPrintable(program.errorString()));

    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == exitCode, qPrintable(err));
    if (exitCode == 0) {
        QVERIFY2(out.contains(output), qPrintable(out));
        QCOMPARE(err, QString());
    } else {
        // One line that says what went wrong, after what Qt said while it
        // started, and nothing else; never Qt's own advice to reinstall.
        const QStringList parts = output.split(QLatin1Char('\n'));
        QCOMPARE(err.count(QLatin1Char('\n')), parts.size());
        QVERIFY(err.endsWith(QLatin1Char('\n')));
        const QStringList lines = err.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < parts.size(); ++i)
            QVERIFY2(lines.at(i).contains(parts.at(i)), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("Reinstalling")), qPrintable(err));
        QCOMPARE(out, QString());
    }
}

void CommandLineTest::bytesOfNoCharacterAreMasked_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QString>("shown");

    // 0xC0 and 0xC1 lead only overlong forms of ASCII: C0 AF is a "/" that
    // no decoder may take, C1 BF a DEL.
    QTest::newRow("overlong lead 0xC0") << QByteArray("-\xc0\xaf") << "\"-??\"";
    QTest::newRow("overlong lead 0xC1") << QByteArray("-\xc1\xbf") << "\"-??\"";
    QTest::newRow("lead 0xC2, the first of a character") << QByteArray("-\xc2\xa9") << QStringLiteral("\"-\u00a9\"");
}

// An argument whose bytes are no UTF-8 is refused with those bytes masked,
// never echoed raw to the terminal.
void CommandLineTest::bytesOfNoCharacterAreMasked()
{
    QFETCH(QByteArray, argument);
    QFETCH(QString, shown);

    // QProcess hands its arguments over as UTF-8: these bytes reach the
    // program through the shell's printf, as octal escapes.
    QString escaped;
    for (const char byte : std::as_const(argument))
        escaped += QStringLiteral("\\%1").arg(static_cast<uchar>(byte), 3, 8, QLatin1Char('0'));
    QProcess program;
    const QString script = QStringLiteral("exec \"$0\" \"$(printf \"$1\")\"");
    program.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral(FRETMAP_PROGRAM), escaped});
    QVERIFY2(program.waitForFinished(60000), qPrintable(program.errorString()));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitCode(), 2);
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.contains(shown), qPrintable(err));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
