#include "core/platform/Registry.h"

#include <QtEndian>

#include "core/platform/Error.h"

namespace cadrell {

namespace {

QString withoutLeadingBackslash(QString path) {
    if (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    return path;
}

[[noreturn]] void failGet(const QString& name) {
    throw Error(formatText("Failed to get data for '%s'", name.toLocal8Bit()));
}

[[noreturn]] void failType(const QString& name) {
    throw Error(formatText("Invalid data type for '%s'", name.toLocal8Bit()));
}

}  // namespace

RegistryKey::RegistryKey(RegRoot root, Registry& store) : store_(store), root_(root) {}

bool RegistryKey::OpenKey(const QString& path, bool canCreate) {
    CloseKey();
    const bool ok = canCreate ? store_.createKey(root_, path) : store_.keyExists(root_, path);
    if (ok) {
        path_ = withoutLeadingBackslash(path);
        open_ = true;
    }
    return ok;
}

bool RegistryKey::OpenKeyReadOnly(const QString& path) {
    const bool ok = OpenKey(path, false);
    readOnly_ = ok;
    return ok;
}

void RegistryKey::CloseKey() {
    open_ = false;
    readOnly_ = false;
    path_.clear();
}

bool RegistryKey::CreateKey(const QString& path) {
    return store_.createKey(root_, path);
}

bool RegistryKey::DeleteKey(const QString& path) {
    return store_.deleteKeyTree(root_, path);
}

bool RegistryKey::KeyExists(const QString& path) {
    return store_.keyExists(root_, path);
}

bool RegistryKey::GetValue(const QString& name, RegValue& out) {
    return open_ && store_.queryValue(root_, path_, name, out);
}

bool RegistryKey::ValueExists(const QString& name) {
    RegValue v;
    return GetValue(name, v);
}

bool RegistryKey::DeleteValue(const QString& name) {
    return open_ && !readOnly_ && store_.deleteValue(root_, path_, name);
}

QStringList RegistryKey::GetKeyNames() {
    return open_ ? store_.subkeyNames(root_, path_) : QStringList{};
}

QStringList RegistryKey::GetValueNames() {
    return open_ ? store_.valueNames(root_, path_) : QStringList{};
}

QByteArray RegistryKey::ReadString(const QString& name) {
    RegValue v;
    if (!GetValue(name, v) || v.data.isEmpty())
        return {};
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ)
        failType(name);
    const qsizetype nul = v.data.indexOf('\0');
    return nul < 0 ? v.data : v.data.first(nul);
}

std::int32_t RegistryKey::ReadInteger(const QString& name) {
    RegValue v;
    // A value too large for the 4-byte buffer cannot even be fetched.
    if (!GetValue(name, v) || v.data.size() > 4)
        failGet(name);
    if (v.type != REG_DWORD || v.data.size() != 4)
        failType(name);
    return qFromLittleEndian<qint32>(v.data.constData());
}

bool RegistryKey::ReadBool(const QString& name) {
    return ReadInteger(name) != 0;
}

void RegistryKey::WriteValue(const QString& name, const RegValue& value) {
    if (!open_ || readOnly_ || !store_.setValue(root_, path_, name, value))
        throw Error(formatText("Failed to set data for '%s'", name.toLocal8Bit()));
}

void RegistryKey::WriteValues(const std::vector<regfile::Value>& values) {
    if (!open_ || readOnly_ || !store_.setValues(root_, path_, values))
        throw Error(formatText("Failed to set data for '%s'",
                               values.empty() ? QByteArray() : values.front().name.toLocal8Bit()));
}

void RegistryKey::WriteString(const QString& name, const QByteArray& text) {
    WriteValue(name, RegValue{REG_SZ, text + '\0'});
}

void RegistryKey::WriteExpandString(const QString& name, const QByteArray& text) {
    WriteValue(name, RegValue{REG_EXPAND_SZ, text + '\0'});
}

void RegistryKey::WriteInteger(const QString& name, std::int32_t value) {
    QByteArray data(4, '\0');
    qToLittleEndian(value, data.data());
    WriteValue(name, RegValue{REG_DWORD, data});
}

void RegistryKey::WriteBool(const QString& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void RegistryKey::WriteBinaryData(const QString& name, const QByteArray& data) {
    WriteValue(name, RegValue{REG_BINARY, data});
}

}  // namespace cadrell
