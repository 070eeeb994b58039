#include <QApplication>
#include <QIcon>

#include "app/HandOff.h"
#include "app/Main.h"
#include "app/Strings.h"

int main(int argc, char* argv[]) {
    // The images live in the static ui library; nothing else would pull them into the program.
    Q_INIT_RESOURCE(cadrell);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cadrell"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(cadrell::strings::ProductName));
    QIcon icon(QStringLiteral(":/cadrell.svg"));
    icon.addFile(QStringLiteral(":/cadrell-256.png"));
    QApplication::setWindowIcon(icon);
    // The first argument as the bytes the shell gave, so any file name survives unchanged.
    const bool hasArgument = argc > 1;
    const QByteArray argument = hasArgument ? QByteArray(argv[1]) : QByteArray();

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
    frame.show();
    return app.exec();
}
