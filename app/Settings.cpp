#include "app/Settings.h"

#include "app/Strings.h"
#include "platform/Error.h"
#include "platform/Registry.h"

namespace cadrell {

namespace {

QString settingsKey() {
    return QString::fromLatin1(strings::SettingsKey);
}

}  // namespace

void LoadSettings(SettingsTarget& target, Registry& store) {
    RegistryKey key(RegRoot::CurrentUser, store);
    if (key.OpenKey(settingsKey(), true)) {
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
    try {
        const bool remember = target.rememberFont();
        key.WriteBool(QStringLiteral("Remember"), remember);
        // Without "Remember" the font values already stored are left exactly as they are.
        if (remember) {
            key.WriteString(QStringLiteral("FontName"), target.fontName().toLocal8Bit());
            key.WriteInteger(QStringLiteral("FontColor"), std::int32_t(target.fontColor()));
            key.WriteInteger(QStringLiteral("FontSize"), target.fontSizePoints());
            key.WriteBool(QStringLiteral("FontBold"), target.fontBold());
            key.WriteBool(QStringLiteral("FontItalic"), target.fontItalic());
        }
        key.WriteString(QStringLiteral("OpenDir"), target.openDir());
        key.WriteString(QStringLiteral("SaveDir"), target.saveDir());
        key.WriteBool(QStringLiteral("Toolbar"), target.toolbarVisible());
        const QRect frame = target.frameRect();
        key.WriteInteger(QStringLiteral("Top"), frame.top());
        key.WriteInteger(QStringLiteral("Left"), frame.left());
        key.WriteInteger(QStringLiteral("Width"), frame.width());
        key.WriteInteger(QStringLiteral("Height"), frame.height());
    } catch (const Error&) {
    }
    key.CloseKey();
}

void SaveSettings(const SettingsTarget& target) {
    SaveSettings(target, Registry::instance());
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
