#include "command_line.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

namespace fretmap {

namespace {

// The length of the valid UTF-8 sequence that starts at `at`, or 0 where
// none does.
std::size_t utf8Length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80)
        length = 1;
    else if (lead >= 0xc2 && lead < 0xe0)
        length = 2;
    else if (lead >= 0xe0 && lead < 0xf0)
        length = 3;
    else if (lead >= 0xf0 && lead < 0xf5)
        length = 4;
    if (length == 0 || at + length > text.size())
        return 0;
    const auto continues = [&](std::size_t k) { return (static_cast<unsigned char>(text[at + k]) & 0xc0) == 0x80; };
    for (std::size_t k = 1; k < length; ++k)
        if (!continues(k))
            return 0;
    return length;
}

// Whether the character of `length` bytes at `at` is one a terminal acts on:
// a C0 control, DEL, or a C1 control (U+0080 to U+009F).
bool isControl(std::string_view text, std::size_t at, std::size_t length)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1)
        return lead < 0x20 || lead == 0x7f;
    return length == 2 && lead == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0;
}

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
    // Controls are masked, and so is a byte that starts no valid UTF-8
    // sequence, since an 8-bit terminal takes 0x80 to 0x9F as C1 controls.
    std::string shown;
    for (std::size_t at = 0; at < argument.size();) {
        const std::size_t length = utf8Length(argument, at);
        if (length == 0 || isControl(argument, at, length))
            shown += '?';
        else
            shown += argument.substr(at, length);
        at += std::max<std::size_t>(length, 1);
    }
    return "fretmap: unknown argument \"" + shown + "\" (fretmap --help lists the options)\n";
}

} // namespace fretmap
