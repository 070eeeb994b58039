#include "core/settings/ViewSettings.h"

#include <QtEndian>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/platform/Strings.h"

namespace cadrell {

namespace {

const QString kView = QStringLiteral("View");
const QString kItemColumns = QStringLiteral("ItemColumns");

}  // namespace

ViewSettings LoadViewSettings(Registry& store) {
    ViewSettings settings;
    RegistryKey key(RegRoot::CurrentUser, store);
    const QString path = QString::fromLatin1(strings::SettingsKey);
    try {
        if (!key.KeyExists(path) || !key.OpenKeyReadOnly(path))
            return settings;
        RegValue value;
        if (key.GetValue(kView, value) && value.type == REG_DWORD && value.data.size() == 4)
            settings.items = qFromLittleEndian<qint32>(value.data.constData()) == 1;
        if (key.GetValue(kItemColumns, value) && value.type == REG_SZ) {
            settings.itemColumns = value.data;
            if (settings.itemColumns.endsWith('\0'))
                settings.itemColumns.chop(1);
        }
    } catch (const Error&) {
    }
    key.CloseKey();
    return settings;
}

ViewSettings LoadViewSettings() {
    return LoadViewSettings(Registry::instance());
}

void SaveViewSettings(const ViewSettings& settings, Registry& store) {
    RegistryKey key(RegRoot::CurrentUser, store);
    try {
        if (!key.OpenKey(QString::fromLatin1(strings::SettingsKey), true))
            return;
        QByteArray view(4, '\0');
        qToLittleEndian<qint32>(settings.items ? 1 : 0, view.data());
        key.WriteValues({{kView, RegValue{REG_DWORD, view}},
                         {kItemColumns, RegValue{REG_SZ, settings.itemColumns + '\0'}}});
    } catch (const Error&) {
    }
    key.CloseKey();
}

void SaveViewSettings(const ViewSettings& settings) {
    SaveViewSettings(settings, Registry::instance());
}

}  // namespace cadrell
