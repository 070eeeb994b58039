#include <QApplication>
#include <QIcon>

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

    cadrell::TCadrellMainForm frame(argument, hasArgument);
    frame.show();
    return app.exec();
}
