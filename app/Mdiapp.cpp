#include <QApplication>
#include <cstdio>
#include <vector>

#include "core/instance/HandOff.h"
#include "core/instance/InstanceNames.h"
#include "core/instance/InstanceServer.h"
#include "core/instance/TerminationRequests.h"
#include "core/platform/CommandLine.h"
#include "core/platform/HeapTuning.h"
#include "core/platform/Strings.h"
#include "ui/frame/Main.h"
#include "ui/platform/LazyIcon.h"

int main(int argc, char* argv[]) {
    cadrell::KeepOneHeap();
    // Read before the toolkit starts: --help and --version need no display, and a mistyped
    // option must not become a playlist of that name.
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    const cadrell::CommandLine line = cadrell::ParseCommandLine(arguments);
    switch (line.action) {
        case cadrell::CommandLine::Action::Help:
            std::fputs(cadrell::UsageText().constData(), stdout);
            return 0;
        case cadrell::CommandLine::Action::Version:
            std::fputs(cadrell::VersionLine().constData(), stdout);
            return 0;
        case cadrell::CommandLine::Action::Error:
            std::fputs(line.message.constData(), stderr);
            return 2;
        case cadrell::CommandLine::Action::Run:
            break;
    }
    // The toolkit sees its own options only, so a name after "--" is never taken for one.
    QList<QByteArray> toolkit{QByteArray(argv[0])};
    toolkit << line.toolkitArguments;
    std::vector<char*> toolkitArgv;
    for (QByteArray& a : toolkit)
        toolkitArgv.push_back(a.data());
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = int(toolkit.size());

    // The images live in the static ui library; nothing else would pull them into the program.
    Q_INIT_RESOURCE(cadrell);
    QApplication app(toolkitArgc, toolkitArgv.data());
    QApplication::setApplicationName(QStringLiteral("cadrell"));
    cadrell::UseLazyStandardIcons();
    // The name as the bytes the shell gave, so any file name survives unchanged. A relative
    // name means the folder the user typed it in, which is ours now: the running instance and
    // any later Save have another.
    const bool hasArgument = line.hasName;
    const QByteArray argument = cadrell::AbsoluteName(line.name);

    // A later start hands its playlist to the running program and ends.
    switch (cadrell::HandOffToRunningInstance(argument, hasArgument)) {
        case cadrell::HandOffResult::HandedOver:
            return 0;
        case cadrell::HandOffResult::NameTooLong:
            return 2;
        case cadrell::HandOffResult::NotResponding:
            return 3;
        case cadrell::HandOffResult::FirstInstance:
            break;
    }

    cadrell::TCadrellMainForm frame(argument, hasArgument);
    if (cadrell::InstanceServer* server = cadrell::InstanceServer::current()) {
        QObject::connect(server, &cadrell::InstanceServer::handOffReceived, &frame,
                         &cadrell::TCadrellMainForm::HandOff);
        // Names that arrive before the frame is shown wait for it instead of being lost.
        QObject::connect(&frame, &cadrell::TCadrellMainForm::firstShown, server,
                         [server] { server->setReady(true); });
    }
    // A session that ends (SIGTERM, SIGHUP) closes the frame the normal way: modified playlists
    // are offered for saving and the settings are written, instead of the process vanishing.
    cadrell::TerminationRequests termination;
    QObject::connect(&termination, &cadrell::TerminationRequests::requested, &frame,
                     [&frame] { frame.close(); });
    frame.show();
    // The program's picture for its other windows, set once the frame (which has its own) has
    // its window: one made before would first be given this picture, every size of it.
    QApplication::setWindowIcon(cadrell::LazyIcon({QStringLiteral(":/cadrell.svg")},
                                                  QStringLiteral(":/cadrell-256.png"), {256, 256}));
    return app.exec();
}
