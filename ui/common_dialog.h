#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QMessageBox;
class QUrl;
class QWidget;

namespace fretmap {

// The window's help control (dlgCommonDialog): it takes a help file and a
// help command and hands them to whatever the desktop opens such a file with.
class CommonDialog : public QObject {
    Q_OBJECT

public:
    // The help command that opens a help file at its contents.
    static constexpr qint16 kHelpContents = 3;

    // Asks the desktop to open a file; false when nothing could open it.
    using Opener = std::function<bool(const QUrl&)>;

    // `window` is the owner of the messages this control shows.
    explicit CommonDialog(QWidget* window);

    void setHelpFile(const QString& fileName) { m_helpFile = fileName; }
    QString helpFile() const { return m_helpFile; }
    void setHelpCommand(qint16 command) { m_helpCommand = command; }
    qint16 helpCommand() const { return m_helpCommand; }

    // Looks for the help file in the working directory, then in the
    // program's own directory, and asks the opener to open the first regular
    // file found. Whatever fails is said in a message that does not block.
    void showHelp();

    void setOpener(Opener opener) { m_opener = std::move(opener); }

private:
    QString findHelpFile() const;
    void tellUser(const QString& text);

    QWidget* m_window;
    QString m_helpFile;
    qint16 m_helpCommand = 0;
    Opener m_opener;
    QPointer<QMessageBox> m_message; // at most one message at a time
};

} // namespace fretmap
