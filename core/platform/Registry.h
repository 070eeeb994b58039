#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace cadrell {

// The two roots the program uses. Each is kept in one REGEDIT4 text file in the per-user config
// folder ($XDG_CONFIG_HOME/cadrell, else ~/.config/cadrell): HKEY_CURRENT_USER.reg and
// HKEY_CLASSES_ROOT.reg.
enum class RegRoot { CurrentUser, ClassesRoot };

// Value types as the registry numbers them; any other number is kept as raw bytes.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct RegValue {
    std::uint32_t type = REG_NONE;
    // The stored bytes: a string includes its terminating NUL, a dword is 4 bytes little-endian.
    QByteArray data;
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// The REGEDIT4 text of one root.
namespace regfile {

struct Value {
    QString name;  // empty: the key's default value, "@" in the file
    RegValue value;
};

struct Key {
    QString name;
    std::vector<Value> values;
    std::vector<Key> subkeys;
};

// A settings file is small; one larger or nested deeper than this is not one (and would take
// unbounded time and memory to read and write back). The store neither reads nor writes a
// larger file; the parser refuses deeper keys.
inline constexpr qsizetype kMaxFileSize = 1 << 20;
inline constexpr qsizetype kMaxDepth = 64;

// Parses a whole file; false when it is not a REGEDIT4 file of the root named `rootName`, or
// has a key deeper than kMaxDepth.
bool parse(const QByteArray& text, const QString& rootName, Key& out);
QByteArray write(const Key& root, const QString& rootName);

}  // namespace regfile

// The key store behind both roots. Every operation reads the root's file again when another
// process (or another store object) has replaced it since, and every change is made under a lock
// file against the file's current content and written back atomically, so two processes that
// change the same root lose nothing.
class Registry {
public:
    // The config folder is taken from the environment each time a file is needed.
    Registry();
    // A fixed folder: a second store over the same files behaves like another process.
    explicit Registry(const QString& folder);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The store the program uses.
    static Registry& instance();

    QString folder() const;
    QString filePath(RegRoot root) const;
    static QString rootName(RegRoot root);

    // Key paths are taken from the root, a leading "\" dropped; names compare case-insensitively.
    // Each returns false (or nothing) when the key is missing or the file cannot be written.
    bool keyExists(RegRoot root, const QString& path);
    bool createKey(RegRoot root, const QString& path);
    bool deleteKeyTree(RegRoot root, const QString& path);
    QStringList subkeyNames(RegRoot root, const QString& path);
    QStringList valueNames(RegRoot root, const QString& path);
    bool queryValue(RegRoot root, const QString& path, const QString& name, RegValue& out);
    bool setValue(RegRoot root, const QString& path, const QString& name, const RegValue& value);
    bool deleteValue(RegRoot root, const QString& path, const QString& name);
    // Sets all of them in one change of the file: one lock, one read, one write.
    bool setValues(RegRoot root, const QString& path, const std::vector<regfile::Value>& values);

private:
    struct Root;
    Root& load(RegRoot which, bool locked = false);
    template <typename Change>
    bool change(RegRoot which, Change&& apply);

    QString fixedFolder_;
    std::unique_ptr<Root> roots_[2];
};

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
