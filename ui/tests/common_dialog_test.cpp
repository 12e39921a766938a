// The help control: where it looks for the help file, what it hands to the
// desktop, and what it says when it cannot.

#include "ui/common_dialog.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>

using fretmap::CommonDialog;

class CommonDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showHelp_data();
    void showHelp();
    void oneMessageAtATime();

private:
    QTemporaryDir m_workDir;
    QString m_oldDir;
    std::unique_ptr<QWidget> m_window;
};

void CommonDialogTest::init()
{
    QVERIFY(m_workDir.isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_workDir.path()));
    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("Fretmap"));
    m_window->show();
}

void CommonDialogTest::cleanup()
{
    m_window.reset();
    QDir::setCurrent(m_oldDir);
    QDir(m_workDir.path()).removeRecursively();
    QDir().mkpath(m_workDir.path());
    QFile::remove(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("fretmap-test-help.hlp")));
}

void CommonDialogTest::showHelp_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint16>("command");
    QTest::addColumn<QString>("inWorkDir");  // "file", "dir" or ""
    QTest::addColumn<bool>("inProgramDir");
    QTest::addColumn<bool>("hasOpener");
    QTest::addColumn<QString>("opens");      // "work", "program" or "" for none
    QTest::addColumn<QString>("messageNames"); // what the message must contain, "" for no message

    const QString name = QStringLiteral("fretmap-test-help.hlp");
    QTest::newRow("in the working directory") << name << qint16(3) << "file" << false << true << "work" << "";
    QTest::newRow("in the program's directory") << name << qint16(3) << "" << true << true << "program" << "";
    QTest::newRow("working directory first") << name << qint16(3) << "file" << true << true << "work" << "";
    QTest::newRow("missing") << name << qint16(3) << "" << false << true << "" << name;
    QTest::newRow("a directory of that name") << name << qint16(3) << "dir" << false << true << "" << name;
    QTest::newRow("no opener") << name << qint16(3) << "file" << false << false << "" << name;
    QTest::newRow("another help command") << name << qint16(1) << "file" << false << true << "" << name;
    QTest::newRow("no file name") << QString() << qint16(3) << "" << false << true << "" << "help file";
}

void CommonDialogTest::showHelp()
{
    QFETCH(QString, fileName);
    QFETCH(qint16, command);
    QFETCH(QString, inWorkDir);
    QFETCH(bool, inProgramDir);
    QFETCH(bool, hasOpener);
    QFETCH(QString, opens);
    QFETCH(QString, messageNames);

    const QString workPath = QDir(m_workDir.path()).absoluteFilePath(fileName);
    const QString programPath = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(fileName);
    if (inWorkDir == QLatin1String("file")) {
        QFile file(workPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (inWorkDir == QLatin1String("dir")) {
        QVERIFY(QDir().mkpath(workPath));
    }
    if (inProgramDir) {
        QFile file(programPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    CommonDialog dialog(m_window.get());
    QList<QUrl> requests;
    if (hasOpener)
        dialog.setOpener([&](const QUrl& url) {
            requests << url;
            return true;
        });
    else
        dialog.setOpener({});

    dialog.setHelpFile(fileName);
    dialog.setHelpCommand(command);
    dialog.showHelp();

    if (opens == QLatin1String("work"))
        QCOMPARE(requests, QList<QUrl>{QUrl::fromLocalFile(workPath)});
    else if (opens == QLatin1String("program"))
        QCOMPARE(requests, QList<QUrl>{QUrl::fromLocalFile(programPath)});
    else
        QVERIFY(requests.isEmpty());

    auto* message = m_window->findChild<QMessageBox*>(QStringLiteral("helpMessage"));
    if (messageNames.isEmpty()) {
        QVERIFY(!message);
        return;
    }
    QVERIFY(message);
    QTRY_VERIFY(message->isVisible());
    QVERIFY(!message->isModal());
    QCOMPARE(message->windowModality(), Qt::NonModal);
    QVERIFY2(message->text().contains(messageNames), qPrintable(message->text()));
}

void CommonDialogTest::oneMessageAtATime()
{
    CommonDialog dialog(m_window.get());
    dialog.setHelpFile(QStringLiteral("help.hlp"));
    dialog.setHelpCommand(CommonDialog::kHelpContents);
    dialog.showHelp();
    dialog.showHelp();
    QCOMPARE(m_window->findChildren<QMessageBox*>().size(), 1);

    // Once closed it goes away, and the next failure says so again.
    m_window->findChild<QMessageBox*>()->close();
    QTRY_COMPARE(m_window->findChildren<QMessageBox*>().size(), 0);
    dialog.showHelp();
    QCOMPARE(m_window->findChildren<QMessageBox*>().size(), 1);
}

QTEST_MAIN(CommonDialogTest)
#include "common_dialog_test.moc"
