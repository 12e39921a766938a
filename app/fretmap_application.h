#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace fretmap {

// The program's QApplication. It is the one place where an exception that
// escapes an event handler ends up: the user is told in a message box and
// the program goes on with the next event.
class FretmapApplication : public QApplication {
    Q_OBJECT

public:
    // Shows the text of an unexpected error to the user.
    using Reporter = std::function<void(const QString&)>;

    FretmapApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    void setReporter(Reporter reporter) { m_reporter = std::move(reporter); }

    // The default reporter: a message box that does not block the event loop.
    static void showErrorMessage(const QString& text);

private:
    void report(const QString& what);

    Reporter m_reporter = &FretmapApplication::showErrorMessage;
};

} // namespace fretmap
