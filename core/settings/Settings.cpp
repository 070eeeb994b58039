#include "core/settings/Settings.h"

#include <QFile>
#include <QtEndian>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/platform/Strings.h"

namespace cadrell {

namespace {

QString settingsKey() {
    return QString::fromLatin1(strings::SettingsKey);
}

}  // namespace

void LoadSettings(SettingsTarget& target, Registry& store) {
    RegistryKey key(RegRoot::CurrentUser, store);
    // Creating the key takes the store's lock, and the lock file is synced to disk: only the
    // first start has to pay for it.
    if (key.OpenKey(settingsKey(), !key.KeyExists(settingsKey()))) {
        // The first value that cannot be read ends the load; what was applied before it stays.
        try {
            target.setRememberFont(key.ReadBool(QStringLiteral("Remember")));
            if (target.rememberFont()) {
                const QByteArray name = key.ReadString(QStringLiteral("FontName"));
                if (!name.isEmpty())
                    target.setFontName(QString::fromLocal8Bit(name));
                target.setFontColor(std::uint32_t(key.ReadInteger(QStringLiteral("FontColor"))));
                target.setFontSizePoints(key.ReadInteger(QStringLiteral("FontSize")));
                if (key.ReadBool(QStringLiteral("FontBold")))
                    target.setFontStyleBold();
                if (key.ReadBool(QStringLiteral("FontItalic")))
                    target.addFontStyleItalic();
            }
            target.setOpenDir(key.ReadString(QStringLiteral("OpenDir")));
            target.setSaveDir(key.ReadString(QStringLiteral("SaveDir")));
            target.setToolbarVisible(key.ReadBool(QStringLiteral("Toolbar")));
            target.setTop(key.ReadInteger(QStringLiteral("Top")));
            target.setLeft(key.ReadInteger(QStringLiteral("Left")));
            target.setWidth(key.ReadInteger(QStringLiteral("Width")));
            target.setHeight(key.ReadInteger(QStringLiteral("Height")));
        } catch (const Error&) {
        }
        key.CloseKey();
    }
    // Also after a failed or partial load: the frame must start where a monitor shows it.
    if (MonitorIndexAt(target.monitors(), target.frameRect().topLeft()) == -1) {
        target.setTop(100);
        target.setLeft(100);
    }
}

void LoadSettings(SettingsTarget& target) {
    LoadSettings(target, Registry::instance());
}

void SaveSettings(const SettingsTarget& target, Registry& store) {
    RegistryKey key(RegRoot::CurrentUser, store);
    if (!key.OpenKey(settingsKey(), true))
        return;
    std::vector<regfile::Value> values;
    auto put = [&](const char* name, RegValue value) {
        values.push_back({QString::fromLatin1(name), std::move(value)});
    };
    auto putInteger = [&](const char* name, std::int32_t n) {
        QByteArray data(4, '\0');
        qToLittleEndian(n, data.data());
        put(name, RegValue{REG_DWORD, data});
    };
    auto putString = [&](const char* name, const QByteArray& text) {
        put(name, RegValue{REG_SZ, text + '\0'});
    };
    const bool remember = target.rememberFont();
    putInteger("Remember", remember ? 1 : 0);
    // Without "Remember" the font values already stored are left exactly as they are.
    if (remember) {
        putString("FontName", target.fontName().toLocal8Bit());
        putInteger("FontColor", std::int32_t(target.fontColor()));
        putInteger("FontSize", target.fontSizePoints());
        putInteger("FontBold", target.fontBold() ? 1 : 0);
        putInteger("FontItalic", target.fontItalic() ? 1 : 0);
    }
    putString("OpenDir", target.openDir());
    putString("SaveDir", target.saveDir());
    putInteger("Toolbar", target.toolbarVisible() ? 1 : 0);
    const QRect frame = target.frameRect();
    putInteger("Top", frame.top());
    putInteger("Left", frame.left());
    putInteger("Width", frame.width());
    putInteger("Height", frame.height());
    // One change of the file for all of them: each write on its own would lock, read and
    // rewrite the whole file again.
    try {
        key.WriteValues(values);
    } catch (const Error&) {
    }
    key.CloseKey();
}

void SaveSettings(const SettingsTarget& target) {
    SaveSettings(target, Registry::instance());
}

namespace {

// Kept as the registry keeps a list of texts: each one followed by a zero byte, and one more.
constexpr std::uint32_t kMultiString = 7;
constexpr qsizetype kMaxLocateFolders = 64;

QString locateKey() {
    return settingsKey() + QStringLiteral("\\Locate Missing Files");
}

}  // namespace

std::optional<QStringList> LoadLocateFolders(Registry& store) {
    RegValue value;
    if (!store.queryValue(RegRoot::CurrentUser, locateKey(), QStringLiteral("Folders"), value) ||
        value.type != kMultiString)
        return std::nullopt;
    QStringList folders;
    for (const QByteArray& folder : value.data.split('\0'))
        if (!folder.isEmpty() && folders.size() < kMaxLocateFolders)
            folders << QFile::decodeName(folder);
    return folders;
}

void SaveLocateFolders(const QStringList& folders, Registry& store) {
    QByteArray data;
    for (const QString& folder : folders.mid(0, kMaxLocateFolders))
        data += QFile::encodeName(folder) + '\0';
    data += '\0';
    if (store.keyExists(RegRoot::CurrentUser, locateKey()) ||
        store.createKey(RegRoot::CurrentUser, locateKey()))
        store.setValue(RegRoot::CurrentUser, locateKey(), QStringLiteral("Folders"),
                       RegValue{kMultiString, data});
}

QStringList LocateFoldersOffered(const QString& playlistFolder,
                                 const std::optional<QStringList>& kept, const QString& music) {
    QStringList out;
    if (!playlistFolder.isEmpty())
        out << playlistFolder;
    for (const QString& folder : kept ? *kept : QStringList{music})
        if (!folder.isEmpty() && !out.contains(folder))
            out << folder;
    return out;
}

QStringList LocateFoldersToKeep(const QStringList& shown, const QString& playlistFolder,
                                const std::optional<QStringList>& kept) {
    QStringList out = shown;
    if (!playlistFolder.isEmpty() && !(kept && kept->contains(playlistFolder)))
        out.removeAll(playlistFolder);
    return out;
}

int MonitorIndexAt(const std::vector<QRect>& monitors, QPoint point) {
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const QRect& m = monitors[i];
        // Right and bottom are exclusive: a corner on a monitor's right edge is off that monitor.
        const qint64 left = m.x(), top = m.y();
        const qint64 right = left + m.width(), bottom = top + m.height();
        if (left <= point.x() && point.x() < right && top <= point.y() && point.y() < bottom)
            return int(i);
    }
    return -1;
}

}  // namespace cadrell
