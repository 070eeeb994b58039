#include "shell/ShellRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>

#include "platform/Error.h"

namespace cadrell {

namespace {

const QString ExtensionKey = QStringLiteral(".m3u");
const QString ShellNewKey = QStringLiteral(".m3u\\shellnew");
const QString NullFile = QStringLiteral("NullFile");

QString verbKey(const QByteArray& fileTypeName) {
    // With no file type name this starts with "\" and so lands directly under the root.
    return QString::fromLocal8Bit(fileTypeName) + QStringLiteral("\\shell\\Cadrell");
}

QString commandKey(const QByteArray& fileTypeName) {
    return verbKey(fileTypeName) + QStringLiteral("\\command");
}

QString absoluteEnv(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? value : fallback;
}

// The program path of a registered command: everything before the quoted "%1" that this program
// writes, or else the first word, quoted or not.
QString programOf(const QByteArray& command) {
    const QByteArray suffix = " \"%1\"";
    if (command.endsWith(suffix))
        return QFile::decodeName(command.first(command.size() - suffix.size()));
    if (command.startsWith('"')) {
        const qsizetype close = command.indexOf('"', 1);
        return QFile::decodeName(command.mid(1, close < 0 ? -1 : close - 1));
    }
    const qsizetype space = command.indexOf(' ');
    return QFile::decodeName(space < 0 ? command : command.first(space));
}

QByteArray desktopEntry(const QString& program) {
    QByteArray text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.0\n"
        "Name=Cadrell\n"
        "GenericName=Playlist Editor\n"
        "Comment=Edit M3U playlists\n";
    text += "Exec=" + (DesktopExecArgument(program) + QStringLiteral(" %f")).toUtf8() + '\n';
    text +=
        "MimeType=audio/x-mpegurl;audio/mpegurl;application/vnd.apple.mpegurl;"
        "application/x-mpegurl;\n"
        "Categories=AudioVideo;Audio;\n"
        "Terminal=false\n";
    return text;
}

void refreshDesktopDatabase(const QString& folder) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {folder});
    if (!process.waitForFinished(20000))
        process.kill();
}

// Returns whether the file changed.
bool writeIfDifferent(const QString& path, const QByteArray& text) {
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == text)
        return false;
    current.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        qWarning("cadrell: cannot write %s", qPrintable(path));
        return false;
    }
    return true;
}

void syncDesktopEntry(const std::optional<QByteArray>& command) {
    const QString path = DesktopEntryPath();
    bool changed = false;
    if (command) {
        changed = writeIfDifferent(path, desktopEntry(programOf(*command)));
    } else if (QFileInfo::exists(path)) {
        changed = QFile::remove(path);
        if (!changed)
            qWarning("cadrell: cannot remove %s", qPrintable(path));
    }
    if (changed)
        refreshDesktopDatabase(QFileInfo(path).absolutePath());
}

void syncTemplate(bool wanted) {
    const QString path = TemplatePath();
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (wanted) {
        if (info.exists() || info.isSymLink())
            return;
        QDir().mkpath(info.absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            qWarning("cadrell: cannot create %s", qPrintable(path));
    } else if (info.isFile() && !info.isSymLink() && info.size() == 0) {
        // A template the user has since filled in is theirs now and stays.
        QFile::remove(path);
    }
}

}  // namespace

QByteArray ReadFileTypeName(Registry& store) {
    RegistryKey key(RegRoot::ClassesRoot, store);
    if (!key.OpenKey(ExtensionKey, true))
        return {};
    return key.ReadString(QString());
}

bool ContextMenuCommandExists(const QByteArray& fileTypeName, Registry& store) {
    RegistryKey key(RegRoot::ClassesRoot, store);
    return key.OpenKeyReadOnly(commandKey(fileTypeName));
}

bool NewMenuEntryExists(Registry& store) {
    RegistryKey key(RegRoot::ClassesRoot, store);
    return key.OpenKey(ShellNewKey, false) && key.ValueExists(NullFile);
}

QByteArray ShellCommand(const QString& programPath) {
    return QFile::encodeName(programPath) + " \"%1\"";
}

namespace {

void applyRegistry(bool includeContextMenu, bool includeNewMenu, const QString& programPath,
                   Registry& store) {
    const QByteArray fileType = ReadFileTypeName(store);
    RegistryKey key(RegRoot::ClassesRoot, store);
    if (includeContextMenu) {
        // Rewritten on every OK, so the command names the program that is running now.
        if (key.OpenKey(verbKey(fileType), true))
            key.WriteString(QString(), "C&adrell");
        key.CloseKey();
        if (key.OpenKey(commandKey(fileType), true))
            key.WriteString(QString(), ShellCommand(programPath));
        key.CloseKey();
    } else {
        key.DeleteKey(verbKey(fileType));
    }
    if (key.OpenKey(ShellNewKey, true)) {
        if (includeNewMenu)
            key.WriteString(NullFile, QByteArray());
        else
            key.DeleteValue(NullFile);
    }
    key.CloseKey();
}

}  // namespace

void ApplyShellOptions(bool includeContextMenu, bool includeNewMenu, const QString& programPath,
                       Registry& store) {
    try {
        applyRegistry(includeContextMenu, includeNewMenu, programPath, store);
    } catch (...) {
        SyncDesktopIntegration(store);
        throw;
    }
    SyncDesktopIntegration(store);
}

void SyncDesktopIntegration(Registry& store) {
    std::optional<QByteArray> command;
    try {
        const QByteArray fileType = ReadFileTypeName(store);
        RegistryKey key(RegRoot::ClassesRoot, store);
        if (key.OpenKeyReadOnly(commandKey(fileType)))
            command = key.ReadString(QString());
    } catch (const Error&) {
        // The registration cannot be read, so it was not changed either: leave the desktop be.
        return;
    }
    syncDesktopEntry(command);
    syncTemplate(NewMenuEntryExists(store));
}

QString DesktopEntryPath() {
    const QString data =
        absoluteEnv("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    return data + QStringLiteral("/applications/cadrell.desktop");
}

QString TemplatesFolder() {
    const QString home = QDir::homePath();
    const QString config = absoluteEnv("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    QString folder = home + QStringLiteral("/Templates");
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::ReadOnly)) {
        while (!dirs.atEnd()) {
            const QByteArray line = dirs.readLine().trimmed();
            const QByteArray prefix = "XDG_TEMPLATES_DIR=\"";
            if (!line.startsWith(prefix) || !line.endsWith('"'))
                continue;
            QString value =
                QFile::decodeName(line.mid(prefix.size(), line.size() - prefix.size() - 1));
            value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
            if (value.startsWith(QStringLiteral("$HOME")))
                folder = home + value.mid(5);
            else if (QDir::isAbsolutePath(value))
                folder = value;
        }
    }
    folder = QDir::cleanPath(folder);
    return folder == QDir::cleanPath(home) ? QString() : folder;
}

QString TemplatePath() {
    const QString folder = TemplatesFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Playlist.m3u");
}

QString DesktopExecArgument(const QString& argument) {
    // First the argument quoting of the Exec key, with field codes kept out...
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    // ...then the escapes of any string value in a desktop entry.
    QString out;
    for (QChar c : quoted) {
        switch (c.unicode()) {
            case '\\':
                out += QStringLiteral("\\\\");
                break;
            case '\n':
                out += QStringLiteral("\\n");
                break;
            case '\t':
                out += QStringLiteral("\\t");
                break;
            case '\r':
                out += QStringLiteral("\\r");
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace cadrell
