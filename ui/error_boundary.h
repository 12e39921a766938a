#pragma once

#include <QString>

#include <functional>
#include <utility>

namespace fretmap {

// Tells the user about an error that stopped a command. The program's
// application object installs one that shows a message box; with none
// installed the text goes to Qt's critical log.
using ErrorReporter = std::function<void(const QString& text)>;

void setErrorReporter(ErrorReporter reporter);

// From inside a catch block: reports the exception being handled.
void reportCurrentException() noexcept;

// Runs one command of the windows. An error that it throws stops that
// command only: it is reported, and the program goes on with the next event.
// Nothing is let through into Qt's event dispatch, which does not support
// exceptions.
template <typename Command>
void guarded(Command&& command) noexcept
{
    try {
        std::forward<Command>(command)();
    } catch (...) {
        reportCurrentException();
    }
}

} // namespace fretmap
