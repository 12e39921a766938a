#pragma once

#include <QApplication>
#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace fretmap {

// The program's QApplication. While it lives, an error that stops a command
// of the windows (each command runs inside guarded(), see
// ui/error_boundary.h) reaches its reporter, which by default tells the user
// in a message box; the program goes on with the next event.
class FretmapApplication : public QApplication {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FretmapApplication)

public:
    // Shows the text of an unexpected error to the user.
    using Reporter = std::function<void(const QString&)>;

    FretmapApplication(int& argc, char** argv);
    ~FretmapApplication() override;

    // The first argument that Qt did not take as one of its own options,
    // if any: the program takes none of its own once it starts.
    const std::optional<std::string>& unclaimedArgument() const { return m_unclaimedArgument; }

    // The program's name, version and desktop entry. They need no
    // application object, so --version can answer before one exists.
    static void setIdentity();

    void setReporter(Reporter reporter) { m_reporter = std::move(reporter); }

    // The default reporter: a message box that does not block the event loop
    // and is deleted when it closes.
    static void showErrorMessage(const QString& text);

private:
    Reporter m_reporter = &FretmapApplication::showErrorMessage;
    std::optional<std::string> m_unclaimedArgument;
};

// Watches the start of the window system. Qt ends a start without a display
// with a fatal message that suggests reinstalling the program; while this
// object lives, such a start ends instead with one line on standard error
// that says what is missing, and exit code 1. Qt's other messages of the
// start are held back and passed on when the object goes.
class WindowSystemStart {
public:
    // displayNamed: the command line named the display or the platform.
    explicit WindowSystemStart(bool displayNamed);
    ~WindowSystemStart();

    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;
};

} // namespace fretmap
