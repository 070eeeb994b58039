#include "core/settings/ShellRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <optional>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"
#include "core/platform/OwnHome.h"

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

// The program path of a registered command: a quoted first word as it stands (a hand-written
// command often quotes it), else everything before the quoted "%1" that this program writes
// (its path may hold spaces), else the first word.
QString programOf(const QByteArray& command) {
    if (command.startsWith('"')) {
        const qsizetype close = command.indexOf('"', 1);
        return QFile::decodeName(command.mid(1, close < 0 ? -1 : close - 1));
    }
    const QByteArray suffix = " \"%1\"";
    if (command.endsWith(suffix))
        return QFile::decodeName(command.first(command.size() - suffix.size()));
    const qsizetype space = command.indexOf(' ');
    return QFile::decodeName(space < 0 ? command : command.first(space));
}

const QString Prefix = QStringLiteral("The file manager cannot start Cadrell from \"%1\": ");

// Why no desktop entry can name this program, or "" when one can. glib drops a whole entry
// whose Exec holds a "%" other than a field code, even escaped; the validators reject control
// characters and bytes that are not UTF-8.
QString entryRefusal(const QString& program) {
    for (QChar c : program) {
        if (c == QLatin1Char('%'))
            return Prefix.arg(program) + QStringLiteral("its path holds a \"%\" sign.");
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return Prefix.arg(QString(program).replace(c, QLatin1Char('?'))) +
                   QStringLiteral("its path holds a control character.");
        if (c == QChar::ReplacementCharacter)
            return Prefix.arg(program) + QStringLiteral("its path is not valid UTF-8.");
    }
    return {};
}

const QByteArray MimeTypes =
    "audio/x-mpegurl;audio/mpegurl;application/vnd.apple.mpegurl;application/x-mpegurl;";

bool writeIfDifferent(const QString& path, const QByteArray& text);

QByteArray desktopEntry(const QString& program) {
    QByteArray text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.0\n"
        "Name=Cadrell\n"
        "GenericName=Playlist Editor\n"
        "Comment=Edit M3U playlists\n";
    text += "Exec=" + (DesktopExecArgument(program) + QStringLiteral(" %f")).toUtf8() + '\n';
    text += "Icon=" + QByteArray(DesktopId) + "\nMimeType=" + MimeTypes +
            "\n"
            "Categories=AudioVideo;Audio;\n"
            "Terminal=false\n";
    return text;
}

// The first entry of our id in the system data folders, read as it is.
QByteArray installedEntry() {
    const QString name =
        QStringLiteral("applications/") + QLatin1String(DesktopId) + QStringLiteral(".desktop");
    const QStringList dirs =
        qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
            .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : dirs) {
        if (!QDir::isAbsolutePath(dir))
            continue;
        QFile file(dir + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return {};
}

// The installed entry without its associations: the same id in the user's folder hides the
// installed one from the association lookup while the application menu keeps it.
QByteArray maskOf(const QByteArray& installed) {
    QByteArray text;
    for (const QByteArray& line : installed.split('\n'))
        if (!line.isEmpty() && !line.startsWith("MimeType="))
            text += line + '\n';
    return text;
}

// Another instance of the tool for the same folder only repeats the work, so none is waited
// for; a detached start leaves no child behind to reap.
void refreshDesktopDatabase(const QString& folder) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProgram(tool);
    process.setArguments({folder});
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!process.startDetached())
        qWarning("cadrell: cannot start %s", qPrintable(tool));
}

void installUserIcon(bool wanted) {
    const QString path =
        absoluteEnv("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share")) +
        QStringLiteral("/icons/hicolor/scalable/apps/") + QLatin1String(DesktopId) +
        QStringLiteral(".svg");
    if (!wanted) {
        QFile::remove(path);
        return;
    }
    QFile icon(QStringLiteral(":/cadrell.svg"));
    if (icon.open(QIODevice::ReadOnly))
        writeIfDifferent(path, icon.readAll());
}

// Returns whether the file changed.
bool writeIfDifferent(const QString& path, const QByteArray& text) {
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == text)
        return false;
    current.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    AtomicFile file(QFile::encodeName(path));
    if (!file.open(text.size()) || !file.write(text.constData(), text.size()) || !file.commit()) {
        qWarning("cadrell: cannot write %s", qPrintable(path));
        return false;
    }
    return true;
}

bool removeFile(const QString& path) {
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return false;
    if (QFile::remove(path))
        return true;
    qWarning("cadrell: cannot remove %s", qPrintable(path));
    return false;
}

// Returns why the entry the command asks for was not written, or "".
QString syncDesktopEntry(const std::optional<QByteArray>& command) {
    const QString path = DesktopEntryPath();
    const QString program = command ? programOf(*command) : QString();
    const QString refusal = command ? entryRefusal(program) : QString();
    // The entry of earlier versions, under a name of its own, would offer the program twice.
    bool changed = removeFile(QFileInfo(path).absolutePath() + QStringLiteral("/cadrell.desktop"));
    if (command && refusal.isEmpty()) {
        changed |= writeIfDifferent(path, desktopEntry(program));
        installUserIcon(true);
    } else if (const QByteArray installed = installedEntry(); installed.contains("\nMimeType=")) {
        changed |= writeIfDifferent(path, maskOf(installed));
        installUserIcon(false);
    } else {
        changed |= removeFile(path);
        installUserIcon(false);
    }
    if (changed)
        refreshDesktopDatabase(QFileInfo(path).absolutePath());
    return refusal;
}

void syncTemplate(bool wanted, const QString& path) {
    if (path.isEmpty() || !MayMakeFilesAt(path))
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
    // A program no desktop entry can start is not registered at all, so that what the dialog
    // shows next time stays true.
    const QString refusal = includeContextMenu ? entryRefusal(programPath) : QString();
    try {
        applyRegistry(includeContextMenu && refusal.isEmpty(), includeNewMenu, programPath, store);
    } catch (...) {
        SyncDesktopIntegration(store);
        throw;
    }
    SyncDesktopIntegration(store);
    if (!refusal.isEmpty())
        throw Error(refusal);
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
    // Not in someone else's home: the entry, the icon and the desktop database there are theirs.
    if (MayMakeFilesAt(DesktopEntryPath())) {
        const QString refusal = syncDesktopEntry(command);
        if (!refusal.isEmpty())
            qWarning("cadrell: %s", qPrintable(refusal));
    }
    const bool newMenu = NewMenuEntryExists(store);
    syncTemplate(newMenu, TemplatePath());
    syncTemplate(newMenu, TemplatePath(".m3u8"));
}

std::optional<bool> DesktopOffersPlaylists() {
    QByteArray entry;
    QFile user(DesktopEntryPath());
    if (user.open(QIODevice::ReadOnly))
        entry = user.readAll();
    else
        entry = installedEntry();
    if (entry.isEmpty())
        return std::nullopt;
    const bool hidden = entry.contains("\nHidden=true");
    const qsizetype at = entry.indexOf("\nMimeType=");
    return !hidden && at >= 0 &&
           entry.mid(at, entry.indexOf('\n', at + 1) - at).contains("audio/x-mpegurl;");
}

QString DesktopEntryPath() {
    const QString data =
        absoluteEnv("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    return data + QStringLiteral("/applications/") + QLatin1String(DesktopId) +
           QStringLiteral(".desktop");
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
            // "$HOMEfoo" names another variable, not a folder in the home folder.
            if (value == QStringLiteral("$HOME") || value.startsWith(QStringLiteral("$HOME/")))
                folder = home + value.mid(5);
            else if (QDir::isAbsolutePath(value))
                folder = value;
        }
    }
    folder = QDir::cleanPath(folder);
    return folder == QDir::cleanPath(home) ? QString() : folder;
}

QString TemplatePath(const char* extension) {
    const QString folder = TemplatesFolder();
    return folder.isEmpty() ? QString()
                            : folder + QStringLiteral("/Playlist") + QLatin1String(extension);
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
