#include "core/platform/RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <cerrno>
#include <optional>

#include "core/platform/AtomicFile.h"
#include "core/platform/FileStamp.h"
#include "core/platform/OwnHome.h"

namespace cadrell {

namespace {

using regfile::Key;

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The identity of the file content last read; nothing while there is no file.
using Stamp = std::optional<FileStamp>;

Stamp stampOf(const QString& path) {
    return StampOfFile(QFile::encodeName(path));
}

// Splits a key path into its names: one leading "\" is dropped (the path is from the root either
// way), as is a final one; an empty name anywhere else makes the path invalid.
std::optional<QStringList> splitPath(QString path) {
    if (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    if (path.isEmpty())
        return QStringList{};
    QStringList parts = path.split(QLatin1Char('\\'));
    for (const QString& p : parts)
        for (QChar c : p)
            if (c.unicode() < 0x20)
                return std::nullopt;
    // No deeper than a file may be: the store must be able to read back what it writes.
    if (parts.contains(QString()) || parts.size() > regfile::kMaxDepth)
        return std::nullopt;
    return parts;
}

Key* findChild(Key& parent, const QString& name) {
    for (Key& k : parent.subkeys)
        if (sameName(k.name, name))
            return &k;
    return nullptr;
}

Key* findKey(Key& root, const QString& path) {
    const auto parts = splitPath(path);
    if (!parts)
        return nullptr;
    Key* k = &root;
    for (const QString& p : *parts) {
        k = findChild(*k, p);
        if (!k)
            return nullptr;
    }
    return k;
}

regfile::Value* findValue(Key& key, const QString& name) {
    for (regfile::Value& v : key.values)
        if (sameName(v.name, name))
            return &v;
    return nullptr;
}

bool validValueName(const QString& name) {
    for (QChar c : name)
        if (c.unicode() < 0x20)
            return false;
    return true;
}

// What a change did to the copy of the tree it was given.
enum class Outcome { Failed, Unchanged, Changed };

}  // namespace

struct Registry::Root {
    QString path;  // the file the tree was read from
    Stamp stamp;
    Key tree;
    bool loaded = false;
    bool unreadable = false;  // the file exists but cannot be opened: never write over it
};

Registry::Registry() {
    for (auto& r : roots_)
        r = std::make_unique<Root>();
}

Registry::Registry(const QString& folder) : Registry() {
    fixedFolder_ = folder;
}

Registry::~Registry() = default;

Registry& Registry::instance() {
    static Registry store;
    return store;
}

QString Registry::folder() const {
    if (!fixedFolder_.isEmpty())
        return fixedFolder_;
    // Only an absolute XDG_CONFIG_HOME counts; anything else falls back to the default.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/cadrell");
}

QString Registry::rootName(RegRoot root) {
    return root == RegRoot::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                        : QStringLiteral("HKEY_CLASSES_ROOT");
}

QString Registry::filePath(RegRoot root) const {
    return folder() + QLatin1Char('/') + rootName(root) + QStringLiteral(".reg");
}

namespace {

// Moves an unreadable file out of the way under a name of its own, keeping any earlier one.
// A plain rename: whatever it is (a FIFO, a folder), it is never opened to be copied.
void setAside(const QString& path) {
    QString target = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = path + QStringLiteral(".bad.") + QString::number(n);
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0)
        qWarning("cadrell: %s could not be read and was moved to %s; starting empty",
                 qPrintable(path), qPrintable(target));
    else
        qWarning("cadrell: %s could not be read; starting empty", qPrintable(path));
}

// Reads the file; nullopt when it is there but is no settings file: not a regular file, too
// large, or not parsable.
std::optional<Key> readTree(const QString& path, RegRoot which, Stamp& stamp, bool& unreadable) {
    stamp = {};
    unreadable = false;
    // Non-blocking: a FIFO put in the file's place must not stall the start.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        unreadable = errno != ENOENT && errno != ENOTDIR;
        return Key{Registry::rootName(which), {}, {}};
    }
    struct stat st;
    QByteArray text;
    bool good = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= regfile::kMaxFileSize;
    if (good) {
        stamp = StampOf(st);
        // One byte more than allowed tells a file that grew past the limit.
        text.resize(regfile::kMaxFileSize + 1);
        qsizetype used = 0;
        for (;;) {
            const ssize_t n =
                ::read(fd, text.data() + used, static_cast<size_t>(text.size() - used));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || (used += n) == text.size()) {
                good = n == 0;
                break;
            }
        }
        text.truncate(used);
    }
    ::close(fd);
    Key tree;
    if (!good || !regfile::parse(text, Registry::rootName(which), tree))
        return std::nullopt;
    return tree;
}

}  // namespace

Registry::Root& Registry::load(RegRoot which, bool locked) {
    Root& r = *roots_[which == RegRoot::CurrentUser ? 0 : 1];
    const QString path = filePath(which);
    // Also under the lock: a file nobody replaced since it was read need not be parsed again.
    if (r.loaded && r.path == path && r.stamp == stampOf(path) && (!locked || !r.unreadable))
        return r;
    r.path = path;
    r.loaded = true;
    auto tree = readTree(path, which, r.stamp, r.unreadable);
    // Set aside only where the files would stay the user's, under the lock, and only if the
    // file is still the bad one: a writer may just have replaced it.
    if (!tree && MayMakeFilesAt(path)) {
        QLockFile lock(path + QStringLiteral(".lock"));
        if (locked || lock.tryLock(10000)) {
            tree = readTree(path, which, r.stamp, r.unreadable);
            if (!tree) {
                setAside(path);
                r.stamp = stampOf(path);
            }
        }
    }
    if (!tree) {
        // A bad file that could not be moved aside must not be written over.
        r.unreadable = QFileInfo::exists(path);
        tree = Key{rootName(which), {}, {}};
    }
    r.tree = std::move(*tree);
    return r;
}

template <typename Change>
bool Registry::change(RegRoot which, Change&& apply) {
    const QString path = filePath(which);
    if (!MayMakeFilesAt(path) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000))
        return false;
    // Under the lock the file is what every other writer left; the change applies to that.
    Root& r = load(which, true);
    if (r.unreadable)
        return false;
    // Changed where it is, not in a copy; should the file not take the change, the tree is
    // read again the next time it is needed.
    const Outcome outcome = apply(r.tree);
    if (outcome != Outcome::Changed)
        return outcome == Outcome::Unchanged;
    auto written = [&] {
        // A file without write permission stays as it is, whoever we are.
        const QFileInfo info(path);
        if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
            return false;
        // Nor does a file we may no longer read: what it holds now is unknown, and the tree
        // read before its mode changed would replace it.
        const int probe = ::open(QFile::encodeName(path).constData(),
                                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe >= 0)
            ::close(probe);
        else if (errno == EACCES)
            return false;
        // Settings are nobody else's business: a new file is the user's alone.
        AtomicFile file(QFile::encodeName(path), 0600);
        const QByteArray text = regfile::write(r.tree, rootName(which));
        // Never a file the store would refuse to read back.
        if (text.size() > regfile::kMaxFileSize)
            return false;
        return file.open(text.size()) && file.write(text.constData(), text.size()) && file.commit();
    };
    if (!written()) {
        r.loaded = false;
        return false;
    }
    r.stamp = stampOf(path);
    return true;
}

bool Registry::keyExists(RegRoot root, const QString& path) {
    return findKey(load(root).tree, path) != nullptr;
}

bool Registry::createKey(RegRoot root, const QString& path) {
    const auto parts = splitPath(path);
    if (!parts)
        return false;
    return change(root, [&](Key& tree) {
        Key* k = &tree;
        bool created = false;
        for (const QString& p : *parts) {
            Key* next = findChild(*k, p);
            if (!next) {
                k->subkeys.push_back(Key{p, {}, {}});
                next = &k->subkeys.back();
                created = true;
            }
            k = next;
        }
        return created ? Outcome::Changed : Outcome::Unchanged;
    });
}

bool Registry::deleteKeyTree(RegRoot root, const QString& path) {
    const auto parts = splitPath(path);
    if (!parts || parts->isEmpty())
        return false;
    return change(root, [&](Key& tree) {
        Key* parent = findKey(tree, parts->mid(0, parts->size() - 1).join(QLatin1Char('\\')));
        if (!parent)
            return Outcome::Failed;
        auto& list = parent->subkeys;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (sameName(it->name, parts->back())) {
                list.erase(it);
                return Outcome::Changed;
            }
        return Outcome::Failed;
    });
}

QStringList Registry::subkeyNames(RegRoot root, const QString& path) {
    QStringList names;
    if (Key* k = findKey(load(root).tree, path))
        for (const Key& s : k->subkeys)
            names << s.name;
    return names;
}

QStringList Registry::valueNames(RegRoot root, const QString& path) {
    QStringList names;
    if (Key* k = findKey(load(root).tree, path))
        for (const regfile::Value& v : k->values)
            names << v.name;
    return names;
}

bool Registry::queryValue(RegRoot root, const QString& path, const QString& name, RegValue& out) {
    Key* k = findKey(load(root).tree, path);
    if (!k)
        return false;
    regfile::Value* v = findValue(*k, name);
    if (!v)
        return false;
    out = v->value;
    return true;
}

bool Registry::setValue(RegRoot root, const QString& path, const QString& name,
                        const RegValue& value) {
    if (!validValueName(name))
        return false;
    return change(root, [&](Key& tree) {
        // Like a key deleted while open elsewhere, a vanished key takes no values.
        Key* k = findKey(tree, path);
        if (!k)
            return Outcome::Failed;
        // Written even when equal, so that a store that cannot be written says so.
        if (regfile::Value* v = findValue(*k, name)) {
            v->value = value;
        } else {
            k->values.push_back(regfile::Value{name, value});
        }
        return Outcome::Changed;
    });
}

bool Registry::setValues(RegRoot root, const QString& path,
                         const std::vector<regfile::Value>& values) {
    for (const regfile::Value& v : values)
        if (!validValueName(v.name))
            return false;
    return change(root, [&](Key& tree) {
        Key* k = findKey(tree, path);
        if (!k)
            return Outcome::Failed;
        for (const regfile::Value& v : values) {
            if (regfile::Value* old = findValue(*k, v.name))
                old->value = v.value;
            else
                k->values.push_back(v);
        }
        return Outcome::Changed;
    });
}

bool Registry::deleteValue(RegRoot root, const QString& path, const QString& name) {
    return change(root, [&](Key& tree) {
        Key* k = findKey(tree, path);
        if (!k)
            return Outcome::Failed;
        for (auto it = k->values.begin(); it != k->values.end(); ++it)
            if (sameName(it->name, name)) {
                k->values.erase(it);
                return Outcome::Changed;
            }
        return Outcome::Failed;
    });
}

}  // namespace cadrell
