#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "core/platform/RegFile.h"
#include "core/platform/RegistryStore.h"

namespace cadrell {

// An open key in one root, opened for reading and writing unless opened read-only. Reading a
// missing string gives ""; reading a missing or mistyped integer or boolean throws, and so does a
// failed write; a failed open, create or delete returns false. All paths are taken from the
// root, whether or not a key is open.
class RegistryKey {
public:
    explicit RegistryKey(RegRoot root = RegRoot::CurrentUser,
                         Registry& store = Registry::instance());
    ~RegistryKey() = default;

    RegRoot RootKey() const { return root_; }
    // The open key's path as it was opened, empty when none or the root itself is open.
    QString CurrentPath() const { return path_; }
    bool IsOpen() const { return open_; }

    // Opens the key at `path`; with canCreate every missing key on the path is created first.
    bool OpenKey(const QString& path, bool canCreate);
    bool OpenKeyReadOnly(const QString& path);
    void CloseKey();

    bool CreateKey(const QString& path);
    // Deletes the key with all its subkeys, deepest first.
    bool DeleteKey(const QString& path);
    bool KeyExists(const QString& path);

    // These work on the open key; the empty name is the key's default value.
    bool ValueExists(const QString& name);
    bool DeleteValue(const QString& name);
    QStringList GetKeyNames();
    QStringList GetValueNames();
    bool GetValue(const QString& name, RegValue& out);

    // Throws Error "Failed to get data for '%s'" or "Invalid data type for '%s'".
    QByteArray ReadString(const QString& name);
    std::int32_t ReadInteger(const QString& name);
    bool ReadBool(const QString& name);

    // Throws Error "Failed to set data for '%s'".
    void WriteString(const QString& name, const QByteArray& text);
    void WriteExpandString(const QString& name, const QByteArray& text);
    void WriteInteger(const QString& name, std::int32_t value);
    void WriteBool(const QString& name, bool value);
    void WriteBinaryData(const QString& name, const QByteArray& data);
    void WriteValue(const QString& name, const RegValue& value);
    // All in one change; throws as above, naming the first value.
    void WriteValues(const std::vector<regfile::Value>& values);

private:
    Registry& store_;
    RegRoot root_;
    QString path_;
    bool open_ = false;
    bool readOnly_ = false;
};

}  // namespace cadrell
