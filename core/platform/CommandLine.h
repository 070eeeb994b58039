#pragma once

#include <QByteArray>
#include <QList>

namespace cadrell {

// What the command line asks for. It is read before the toolkit starts, so --help, --version and
// a mistyped option are answered without a display, a window, the lock or the socket.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // The playlist to open: the first non-empty name, as the bytes the shell gave.
    QByteArray name;
    bool hasName = false;
    // The toolkit's own options (-platform, -style, -display...) with their values, in order,
    // for QApplication; names never go there, so one that looks like such an option stays ours.
    QList<QByteArray> toolkitArguments;
    // For Error: the line for standard error, with its newline.
    QByteArray message;
};

// arguments: what follows the program's own name.
CommandLine ParseCommandLine(const QList<QByteArray>& arguments);

// The text of --help and of --version, each ending in a newline.
QByteArray UsageText();
QByteArray VersionLine();

}  // namespace cadrell
