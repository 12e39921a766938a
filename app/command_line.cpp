#include "command_line.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

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

// The name of an option, taken as Qt takes it: -name and --name alike.
// Nothing for an argument that is no option.
std::optional<std::string_view> optionName(std::string_view argument)
{
    if (argument.starts_with("--"))
        argument.remove_prefix(2);
    else if (argument.starts_with('-'))
        argument.remove_prefix(1);
    else
        return std::nullopt;
    if (argument.empty())
        return std::nullopt;
    return argument;
}

// How many of the following arguments a Qt option takes as its value, or
// nothing when it is written in a way Qt does not take.
std::optional<std::size_t> valuesTaken(const QtOption& option, bool joined)
{
    switch (option.value) {
    case Value::None:
        return joined ? std::nullopt : std::optional<std::size_t>(0);
    case Value::Next:
        return joined ? std::nullopt : std::optional<std::size_t>(1); // the value, whatever it looks like
    case Value::NextOrJoined:
        return joined ? 0 : 1;
    case Value::JoinedOnly:
        return joined ? std::optional<std::size_t>(0) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

CommandLine readCommandLine(int argc, const char* const* argv)
{
    const std::span<const char* const> arguments(argv, static_cast<std::size_t>(argc));
    CommandLine result;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const auto name = optionName(argument);
        if (name == "h" || name == "help" || name == "?") {
            result.action = CommandLineAction::ShowHelp;
            return result;
        }
        if (name == "v" || name == "version") {
            result.action = CommandLineAction::ShowVersion;
            return result;
        }

        const auto equals = name ? name->find('=') : std::string_view::npos;
        const QtOption* option = name ? findQtOption(name->substr(0, equals)) : nullptr;
        const auto taken = option ? valuesTaken(*option, equals != std::string_view::npos) : std::nullopt;
        if (!taken) {
            result.action = CommandLineAction::Refuse;
            result.refused = argument;
            return result;
        }
        i += *taken;
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
    // C0 controls and DEL, and the C1 controls (U+0080 to U+009F, two bytes
    // in UTF-8): a terminal acts on either. A byte that starts no valid
    // UTF-8 sequence is masked too, since an 8-bit terminal takes 0x80 to
    // 0x9F as C1 controls.
    std::string shown;
    for (std::size_t i = 0; i < argument.size();) {
        const auto byte = static_cast<unsigned char>(argument[i]);
        const std::size_t length = byte < 0x80 ? 1 : byte >= 0xc2 && byte <= 0xdf ? 2 : byte >= 0xe0 && byte <= 0xef ? 3
                                                   : byte >= 0xf0 && byte <= 0xf4                   ? 4
                                                                                                     : 0;
        bool valid = length > 0 && i + length <= argument.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(argument[i + k]) & 0xc0) == 0x80;
        const bool c0 = byte < 0x20 || byte == 0x7f;
        const bool c1 = byte == 0xc2 && valid && static_cast<unsigned char>(argument[i + 1]) < 0xa0;
        if (!valid || c0 || c1) {
            shown += '?';
            i += valid ? length : 1;
        } else {
            shown += argument.substr(i, length);
            i += length;
        }
    }
    return "fretmap: unknown argument \"" + shown + "\" (fretmap --help lists the options)\n";
}

} // namespace fretmap
