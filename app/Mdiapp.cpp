#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>

#include "app/HandOff.h"
#include "app/Main.h"
#include "app/Strings.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// A session that ends (SIGTERM, SIGHUP) closes the frame the normal way: modified playlists
// are offered for saving and the settings are written, instead of the process just vanishing.
void closeFrameOnTermination(QWidget& frame) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &frame);
    QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        frame.close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
    // The images live in the static ui library; nothing else would pull them into the program.
    Q_INIT_RESOURCE(cadrell);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cadrell"));
    QIcon icon(QStringLiteral(":/cadrell.svg"));
    icon.addFile(QStringLiteral(":/cadrell-256.png"));
    QApplication::setWindowIcon(icon);
    // The first argument as the bytes the shell gave, so any file name survives unchanged.
    // An empty argument ("") counts as none.
    QByteArray argument;
    bool hasArgument = false;
    for (int i = 1; i < argc && !hasArgument; ++i) {
        argument = QByteArray(argv[i]);
        hasArgument = !argument.isEmpty();
    }

    // A later start hands its playlist to the running program and ends.
    switch (cadrell::HandOffToRunningInstance(argument, hasArgument)) {
        case cadrell::HandOffResult::HandedOver:
            return 0;
        case cadrell::HandOffResult::NameTooLong:
            return 2;
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
    closeFrameOnTermination(frame);
    frame.show();
    return app.exec();
}
