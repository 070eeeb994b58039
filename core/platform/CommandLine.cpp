#include "core/platform/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/platform/Strings.h"

namespace cadrell {

namespace {

// The options QApplication takes out of the arguments on this platform, with one dash or two,
// as Qt 6 reads them: those followed by a value, those standing alone, and those that carry
// their value after "=". Anything else with a dash in front is a mistake, not a playlist.
constexpr std::array<std::string_view, 17> kToolkitWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "style", "stylesheet",
    // the X11 platform's own
    "display", "geometry", "title", "icon", "name", "visual"};
constexpr std::array<std::string_view, 7> kToolkitFlags = {
    "reverse", "nograb", "dograb", "widgetcount", "testability", "qdevel", "qdebug"};
constexpr std::array<std::string_view, 3> kToolkitJoined = {
    "qmljsdebugger=", "style=", "stylesheet="};

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

CommandLine refused(const QByteArray& what) {
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.message = "cadrell: " + what + "; see 'cadrell --help'\n";
    return line;
}

}  // namespace

CommandLine ParseCommandLine(const QList<QByteArray>& arguments) {
    CommandLine line;
    bool options = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments[i];
        // A lone "-" is a name like any other; after "--" everything is.
        if (!options || !argument.startsWith('-') || argument == "-") {
            if (!line.hasName && !argument.isEmpty()) {
                line.name = argument;
                line.hasName = true;
            }
            continue;
        }
        if (argument == "--") {
            options = false;
            continue;
        }
        if (argument == "--help" || argument == "--version") {
            line.action =
                argument == "--help" ? CommandLine::Action::Help : CommandLine::Action::Version;
            return line;
        }
        const std::string_view word(argument.constData() + (argument.startsWith("--") ? 2 : 1),
                                    size_t(argument.size() - (argument.startsWith("--") ? 2 : 1)));
        const bool joined = std::any_of(kToolkitJoined.begin(), kToolkitJoined.end(),
                                        [&](std::string_view p) { return word.starts_with(p); });
        if (joined || isOneOf(word, kToolkitFlags)) {
            line.toolkitArguments << argument;
        } else if (isOneOf(word, kToolkitWithValue)) {
            // Qt leaves an option without its value in place, where it would pass for a name.
            if (i + 1 == arguments.size())
                return refused("option '" + argument + "' needs a value");
            line.toolkitArguments << argument << arguments[++i];
        } else {
            return refused("unknown option '" + argument + "'");
        }
    }
    return line;
}

QByteArray UsageText() {
    return "Usage: cadrell [--] [playlist]\n"
           "Edit M3U playlists. While Cadrell runs, a later start hands its playlist to it.\n"
           "\n"
           "  --help     show this help and end\n"
           "  --version  show the version and end\n"
           "  --         end of options: what follows is a playlist name, even if it starts\n"
           "             with '-'\n"
           "\n"
           "Qt's own options, such as -platform, -style and -display, are accepted too.\n";
}

QByteArray VersionLine() {
    return QByteArray(strings::ProductName) + ' ' + strings::VersionText + '\n';
}

}  // namespace cadrell
