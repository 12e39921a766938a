// The help control: where it looks for the help file, what it hands to the
// desktop, the program's own guide when there is no help file, and what it
// says when it cannot help.

#include "dark_desktop.h"
#include "ui/common_dialog.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextFrame>
#include <QUrl>
#include <QWidget>

using fretmap::CommonDialog;

namespace {

QList<QWidget*> windowsNamed(const QString& name)
{
    QList<QWidget*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == name)
            found << window;
    return found;
}

// A text of the guide with a colour of its own could vanish under one
// palette or the other; it must take both from the window's palette.
bool followsPalette(const QTextDocument& document)
{
    if (document.rootFrame()->frameFormat().hasProperty(QTextFormat::BackgroundBrush))
        return false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().hasProperty(QTextFormat::BackgroundBrush))
            return false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.hasProperty(QTextFormat::ForegroundBrush) || format.hasProperty(QTextFormat::BackgroundBrush))
                return false;
        }
    }
    return true;
}


} // namespace

class CommonDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showHelp_data();
    void showHelp();
    void oneWindowAtATime_data();
    void oneWindowAtATime();

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
    QTest::addColumn<QString>("opener");     // "works", "fails" or "" for none
    QTest::addColumn<QString>("opens");      // "work", "program" or "" for none
    QTest::addColumn<QString>("messageNames"); // what the message must contain, "" for no message
    QTest::addColumn<bool>("guide");           // the program's own guide is shown

    const QString name = QStringLiteral("fretmap-test-help.hlp");
    QTest::newRow("in the working directory") << name << qint16(3) << "file" << false << "works" << "work" << "" << false;
    QTest::newRow("in the program's directory") << name << qint16(3) << "" << true << "works" << "program" << "" << false;
    QTest::newRow("working directory first") << name << qint16(3) << "file" << true << "works" << "work" << "" << false;
    QTest::newRow("missing") << name << qint16(3) << "" << false << "works" << "" << "" << true;
    QTest::newRow("a directory of that name") << name << qint16(3) << "dir" << false << "works" << "" << "" << true;
    QTest::newRow("missing, no opener") << name << qint16(3) << "" << false << "" << "" << "" << true;
    QTest::newRow("no opener") << name << qint16(3) << "file" << false << "" << "" << name << true;
    QTest::newRow("an opener that fails") << name << qint16(3) << "file" << false << "fails" << "work"
                                          << "No program on this desktop can open" << true;
    QTest::newRow("another help command") << name << qint16(1) << "file" << false << "works" << "" << name << false;
    QTest::newRow("another help command, missing") << name << qint16(1) << "" << false << "works" << "" << name << false;
    QTest::newRow("no file name") << QString() << qint16(3) << "" << false << "works" << "" << "help file" << false;
}

void CommonDialogTest::showHelp()
{
    QFETCH(QString, fileName);
    QFETCH(qint16, command);
    QFETCH(QString, inWorkDir);
    QFETCH(bool, inProgramDir);
    QFETCH(QString, opener);
    QFETCH(QString, opens);
    QFETCH(QString, messageNames);
    QFETCH(bool, guide);

    // Under a dark desktop, where text with colours of its own gets lost.
    const DarkDesktop dark;

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
    if (opener.isEmpty())
        dialog.setOpener({});
    else
        dialog.setOpener([&](const QUrl& url) {
            requests << url;
            return opener == QLatin1String("works");
        });

    dialog.setHelpFile(fileName);
    dialog.setHelpCommand(command);
    dialog.showHelp();

    if (opens == QLatin1String("work"))
        QCOMPARE(requests, QList<QUrl>{QUrl::fromLocalFile(workPath)});
    else if (opens == QLatin1String("program"))
        QCOMPARE(requests, QList<QUrl>{QUrl::fromLocalFile(programPath)});
    else
        QVERIFY(requests.isEmpty());

    const QList<QWidget*> guides = windowsNamed(QStringLiteral("helpWindow"));
    QCOMPARE(guides.size(), guide ? 1 : 0);
    if (guide) {
        auto* shownGuide = guides.first()->findChild<QTextEdit*>();
        QVERIFY(shownGuide);
        QTRY_VERIFY(shownGuide->isVisible());
        QCOMPARE(guides.first()->windowModality(), Qt::NonModal);
        // The guide's own title, on the title bar and for a screen reader.
        QCOMPARE(guides.first()->windowTitle(), QStringLiteral("Fretmap user guide"));
        QCOMPARE(guides.first()->accessibleName(), QStringLiteral("Fretmap user guide"));
        // In front, after any message: it is where Contents ends.
        QTRY_COMPARE(QApplication::activeWindow(), guides.first());
        QCOMPARE(QAccessible::queryAccessibleInterface(guides.first())->role(), QAccessible::Window);
        // A text to read from the caret, line by line, not a label read whole.
        QAccessibleInterface* text = QAccessible::queryAccessibleInterface(shownGuide);
        QCOMPARE(text->role(), QAccessible::EditableText);
        QVERIFY(text->state().readOnly && text->textInterface());
        QVERIFY(shownGuide->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QVERIFY(!shownGuide->toPlainText().isEmpty());
        // 80 characters by 36 lines of its own font, whatever the scale.
        const QFontMetrics metrics = shownGuide->fontMetrics();
        QCOMPARE(guides.first()->size(), QSize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 36));
        QCOMPARE(shownGuide->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
        QVERIFY(followsPalette(*shownGuide->document()));
    }

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

void CommonDialogTest::oneWindowAtATime_data()
{
    QTest::addColumn<qint16>("command");
    QTest::addColumn<QString>("windowName");
    QTest::addColumn<bool>("keptWhenClosed");

    QTest::newRow("message") << qint16(1) << "helpMessage" << false;
    QTest::newRow("guide") << CommonDialog::kHelpContents << "helpWindow" << true;
}

void CommonDialogTest::oneWindowAtATime()
{
    QFETCH(qint16, command);
    QFETCH(QString, windowName);
    QFETCH(bool, keptWhenClosed);

    CommonDialog dialog(m_window.get());
    dialog.setHelpFile(QStringLiteral("help.hlp"));
    dialog.setHelpCommand(command);
    dialog.showHelp();
    m_window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), m_window.get());
    dialog.showHelp();
    QCOMPARE(windowsNamed(windowName).size(), 1);
    QWidget* shown = windowsNamed(windowName).first();
    QTRY_VERIFY(shown->isVisible());
    if (windowName == QLatin1String("helpWindow"))
        QTRY_COMPARE(QApplication::activeWindow(), shown); // brought to the front

    // Esc closes it, and the next request shows it again, still only one.
    QTest::keyClick(shown, Qt::Key_Escape);
    if (keptWhenClosed)
        QTRY_VERIFY(!shown->isVisible());
    else
        QTRY_VERIFY(windowsNamed(windowName).isEmpty());
    dialog.showHelp();
    QCOMPARE(windowsNamed(windowName).size(), 1);
    QTRY_VERIFY(windowsNamed(windowName).first()->isVisible());
}

QTEST_MAIN(CommonDialogTest)
#include "common_dialog_test.moc"
