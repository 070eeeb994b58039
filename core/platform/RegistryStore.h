#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "core/platform/RegFile.h"

namespace cadrell {

// The two roots the program uses. Each is kept in one REGEDIT4 text file in the per-user config
// folder ($XDG_CONFIG_HOME/cadrell, else ~/.config/cadrell): HKEY_CURRENT_USER.reg and
// HKEY_CLASSES_ROOT.reg.
enum class RegRoot { CurrentUser, ClassesRoot };

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

}  // namespace cadrell
