#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QMessageBox;
class QUrl;
class QWidget;

namespace fretmap {

class HelpWindow;

// The window's help control (dlgCommonDialog): it takes a help file and a
// help command and hands them to whatever the desktop opens such a file with.
class CommonDialog : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommonDialog)

public:
    // The help command that opens a help file at its contents.
    static constexpr qint16 kHelpContents = 3;

    // Asks the desktop to open a file; false when nothing could open it.
    using Opener = std::function<bool(const QUrl&)>;

    // `window` is the owner of the messages this control shows.
    explicit CommonDialog(QWidget* window);
    ~CommonDialog() override;

    void setHelpFile(const QString& fileName) { m_helpFile = fileName; }
    QString helpFile() const { return m_helpFile; }
    void setHelpCommand(qint16 command) { m_helpCommand = command; }
    qint16 helpCommand() const { return m_helpCommand; }

    // Looks for the help file in the working directory, then in the
    // program's own directory, and asks the opener to open the first regular
    // file found. When there is none, or nothing opens it, the program's own
    // guide is shown instead. Whatever fails is said in a message that does
    // not block.
    void showHelp();

    void setOpener(Opener opener) { m_opener = std::move(opener); }

private:
    QString findHelpFile() const;
    bool showGuide();
    void tellUser(const QString& text);

    QWidget* m_window;
    QString m_helpFile;
    qint16 m_helpCommand = 0;
    Opener m_opener;
    QPointer<QMessageBox> m_message; // at most one message at a time
    // Made on first use and kept, so there is never more than one. It has no
    // owner window: it can stand behind the main window while the guitarist
    // reads it beside the board.
    std::unique_ptr<HelpWindow> m_guide;
};

} // namespace fretmap
