#pragma once

#include <string>
#include <string_view>

namespace fretmap {

// What the command line asks of the program. It is read before the window
// system starts, so that --help and --version answer without a display.
enum class CommandLineAction {
    Start,
    ShowHelp,
    ShowVersion,
    Refuse
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::Start;
    std::string refused;       // the first argument that is not taken, for Refuse
    bool displayNamed = false; // -display or -platform was given
};

// Reads the arguments after the program name. Qt's own options (-platform,
// -style, -reverse, ...) and their values are left for Qt to take; anything
// else that is not --help or --version is refused.
CommandLine readCommandLine(int argc, const char* const* argv);

// The answer to --help.
std::string helpText();

// One line for standard error that names a refused argument. Control
// characters in it (C0, DEL and C1) and bytes that are not UTF-8 are shown
// as '?', so the line stays one line and sends nothing to the terminal.
std::string refusalMessage(std::string_view argument);

} // namespace fretmap
