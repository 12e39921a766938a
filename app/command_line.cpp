#include "command_line.h"

#include <algorithm>
#include <array>

namespace fretmap {

namespace {

// How an option of Qt's takes its value.
enum class Value {
    None,         // -reverse
    Next,         // -platform offscreen
    NextOrJoined, // -style fusion or -style=fusion
    JoinedOnly,   // -qmljsdebugger=port:1234
};

struct QtOption {
    std::string_view name;
    Value value;
};

// The options that QApplication and the X11 platform take out of the
// command line before the program sees it. The X11 ones are taken only when
// that platform runs; whatever Qt leaves is refused once it has started.
constexpr std::array kQtOptions{
    QtOption{"platform", Value::Next},
    QtOption{"platformpluginpath", Value::Next},
    QtOption{"platformtheme", Value::Next},
    QtOption{"plugin", Value::Next},
    QtOption{"qwindowgeometry", Value::Next},
    QtOption{"qwindowicon", Value::Next},
    QtOption{"qwindowtitle", Value::Next},
    QtOption{"session", Value::Next},
    QtOption{"style", Value::NextOrJoined},
    QtOption{"stylesheet", Value::NextOrJoined},
    QtOption{"reverse", Value::None},
    QtOption{"widgetcount", Value::None},
    QtOption{"testability", Value::None},
    QtOption{"qmljsdebugger", Value::JoinedOnly},
    // X11
    QtOption{"display", Value::Next},
    QtOption{"geometry", Value::Next},
    QtOption{"title", Value::Next},
    QtOption{"icon", Value::Next},
    QtOption{"name", Value::Next},
};

const QtOption* findQtOption(std::string_view name)
{
    const auto found = std::find_if(kQtOptions.begin(), kQtOptions.end(),
                                    [name](const QtOption& option) { return option.name == name; });
    return found == kQtOptions.end() ? nullptr : &*found;
}

} // namespace

CommandLine readCommandLine(int argc, const char* const* argv)
{
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        auto refuse = [&] {
            result.action = CommandLineAction::Refuse;
            result.refused = argument;
            return result;
        };
        // Like Qt, take -name and --name alike.
        std::string_view name = argument;
        if (name.starts_with("--"))
            name.remove_prefix(2);
        else if (name.starts_with('-'))
            name.remove_prefix(1);
        else
            return refuse();
        if (name.empty())
            return refuse();

        if (name == "h" || name == "help" || name == "?") {
            result.action = CommandLineAction::ShowHelp;
            return result;
        }
        if (name == "v" || name == "version") {
            result.action = CommandLineAction::ShowVersion;
            return result;
        }

        const auto equals = name.find('=');
        const bool joined = equals != std::string_view::npos;
        const QtOption* option = findQtOption(name.substr(0, equals));
        if (!option)
            return refuse();
        switch (option->value) {
        case Value::None:
            if (joined)
                return refuse();
            break;
        case Value::Next:
            if (joined)
                return refuse();
            ++i; // the value, whatever it looks like
            break;
        case Value::NextOrJoined:
            if (!joined)
                ++i;
            break;
        case Value::JoinedOnly:
            if (!joined)
                return refuse();
            break;
        }
        if (option->name == "display" || option->name == "platform")
            result.displayNamed = true;
    }
    return result;
}

std::string helpText()
{
    return "Usage: fretmap [options]\n"
           "A guitar chord chart: pick a chord name in the nine lists, press \"display\",\n"
           "and the fretboard shows one fingering of the chord.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "  -v, --version  Show the version and exit.\n"
           "\n"
           "Qt's own options, such as -platform, -style and -reverse, are taken too.\n";
}

std::string refusalMessage(std::string_view argument)
{
    std::string shown(argument);
    std::replace_if(
        shown.begin(), shown.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, '?');
    return "fretmap: unknown argument \"" + shown + "\" (fretmap --help lists the options)\n";
}

} // namespace fretmap
