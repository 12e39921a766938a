#include "command_line.h"
#include "fretmap_application.h"
#include "ui/form1.h"

#include <cstdio>
#include <optional>

int main(int argc, char* argv[])
{
    using namespace fretmap;

    FretmapApplication::setIdentity();
    const CommandLine command = readCommandLine(argc, argv);
    switch (command.action) {
    case CommandLineAction::ShowHelp:
        std::fputs(helpText().c_str(), stdout);
        return 0;
    case CommandLineAction::ShowVersion:
        std::fputs("Fretmap " FRETMAP_VERSION "\n", stdout);
        return 0;
    case CommandLineAction::Refuse:
        std::fputs(refusalMessage(command.refused).c_str(), stderr);
        return 2;
    case CommandLineAction::Start:
        break;
    }

    std::optional<WindowSystemStart> start(std::in_place, command.displayNamed);
    FretmapApplication app(argc, argv);
    start.reset();
    if (const auto& unclaimed = app.unclaimedArgument()) {
        std::fputs(refusalMessage(*unclaimed).c_str(), stderr);
        return 2;
    }

    Form1 form1;
    form1.show();
    return fretmap::FretmapApplication::exec();
}
