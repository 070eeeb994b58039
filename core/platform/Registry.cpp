#include "core/platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QtEndian>
#include <cerrno>
#include <optional>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"

namespace cadrell {

// ---------------------------------------------------------------------------------------------
// The file format

namespace regfile {

namespace {

constexpr char Header[] = "REGEDIT4";

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(QByteArray line) {
    while (!line.isEmpty() && (isSpace(line.back()) || line.back() == '\r'))
        line.chop(1);
    qsizetype start = 0;
    while (start < line.size() && isSpace(line[start]))
        ++start;
    return line.mid(start);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted text starting at `pos` (on the opening quote); `pos` ends after the closing quote.
// Only \\ and \" are escapes; a backslash before anything else stands for itself, so a path
// typed by hand without doubling its backslashes still reads as meant.
std::optional<QByteArray> readQuoted(const QByteArray& line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QByteArray out;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '\\' || line[i + 1] == '"'))
            ++i;
        out += line[i];
    }
    return std::nullopt;
}

std::optional<QByteArray> readHexBytes(const QByteArray& text) {
    QByteArray out;
    const QByteArray all = trimmed(text);
    if (all.isEmpty())
        return out;
    for (const QByteArray& piece : all.split(',')) {
        const QByteArray byte = trimmed(piece);
        if (byte.size() < 1 || byte.size() > 2)
            return std::nullopt;
        int v = 0;
        for (char c : byte) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            v = v * 16 + d;
        }
        out += char(v);
    }
    return out;
}

std::optional<RegValue> readData(const QByteArray& text) {
    RegValue v;
    if (text.startsWith('"')) {
        qsizetype pos = 0;
        auto s = readQuoted(text, pos);
        if (!s || !trimmed(text.mid(pos)).isEmpty())
            return std::nullopt;
        v.type = REG_SZ;
        v.data = *s + '\0';
        return v;
    }
    const QByteArray lower = text.toLower();
    if (lower.startsWith("dword:")) {
        const QByteArray digits = trimmed(text.mid(6));
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        quint32 n = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            n = n * 16 + quint32(d);
        }
        v.type = REG_DWORD;
        v.data.resize(4);
        qToLittleEndian(n, v.data.data());
        return v;
    }
    if (!lower.startsWith("hex"))
        return std::nullopt;
    qsizetype colon = 3;
    v.type = REG_BINARY;
    if (lower.size() > 3 && lower[3] == '(') {
        const qsizetype close = lower.indexOf(')');
        if (close < 5 || close > 12)
            return std::nullopt;
        bool ok = false;
        v.type = text.mid(4, close - 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        colon = close + 1;
    }
    if (colon >= text.size() || text[colon] != ':')
        return std::nullopt;
    auto bytes = readHexBytes(text.mid(colon + 1));
    if (!bytes)
        return std::nullopt;
    v.data = *bytes;
    return v;
}

void setValueIn(Key& key, const QString& name, const RegValue& value) {
    for (Value& v : key.values)
        if (sameName(v.name, name)) {
            v.value = value;
            return;
        }
    key.values.push_back(Value{name, value});
}

// Hex data as the registry editor writes it, wrapped so the file stays readable.
void writeHex(QByteArray& out, qsizetype prefixLength, const QByteArray& data) {
    qsizetype column = prefixLength;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
        const char digits[] = "0123456789abcdef";
        out += digits[(uchar(data[i]) >> 4) & 0xf];
        out += digits[uchar(data[i]) & 0xf];
        column += 2;
    }
}

QByteArray quoted(const QString& text) {
    QByteArray out = "\"";
    for (char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A string value is written as quoted text only when that text reads back as the same bytes.
bool plainString(const QByteArray& data) {
    if (data.isEmpty() || data.back() != '\0')
        return false;
    const QByteArray text = data.first(data.size() - 1);
    for (char c : text)
        if (uchar(c) < 0x20 || c == 0x7f)
            return false;
    return QString::fromUtf8(text).toUtf8() == text;
}

void writeKey(QByteArray& out, const Key& key, const QString& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += '[' + path.toUtf8() + "]\n";
        for (const Value& v : key.values) {
            QByteArray line = v.name.isEmpty() ? QByteArray("@") : quoted(v.name);
            line += '=';
            const RegValue& d = v.value;
            if (d.type == REG_SZ && plainString(d.data)) {
                line += quoted(QString::fromUtf8(d.data.first(d.data.size() - 1)));
            } else if (d.type == REG_DWORD && d.data.size() == 4) {
                line += "dword:" +
                        QByteArray::number(qFromLittleEndian<quint32>(d.data.constData()), 16)
                            .rightJustified(8, '0');
            } else {
                line += d.type == REG_BINARY ? QByteArray("hex:")
                                             : "hex(" + QByteArray::number(d.type, 16) + "):";
                writeHex(line, line.size(), d.data);
            }
            out += line + '\n';
        }
        out += '\n';
    }
}

}  // namespace

bool parse(const QByteArray& text, const QString& rootName, Key& out) {
    out = Key{rootName, {}, {}};
    // Each key by its case-folded path, so that a file of many sibling keys costs no scan of
    // all of them for each one.
    QHash<QString, qsizetype> childIndex;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    const QList<QByteArray> lines = body.split('\n');
    bool headerSeen = false;
    Key* current = nullptr;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = trimmed(lines[n]);
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (!headerSeen) {
            if (line != Header)
                return false;
            headerSeen = true;
            continue;
        }
        if (line.startsWith('[')) {
            if (!line.endsWith(']'))
                return false;
            const QString path = QString::fromUtf8(line.mid(1, line.size() - 2));
            QStringList parts = path.split(QLatin1Char('\\'));
            if (!sameName(parts.takeFirst(), rootName) || parts.size() > kMaxDepth)
                return false;
            current = &out;
            QString folded;
            for (const QString& part : parts) {
                if (part.isEmpty())
                    return false;
                folded += QLatin1Char('\\') + part.toCaseFolded();
                const auto found = childIndex.constFind(folded);
                if (found != childIndex.cend()) {
                    current = &current->subkeys[size_t(*found)];
                } else {
                    current->subkeys.push_back(Key{part, {}, {}});
                    childIndex.insert(folded, qsizetype(current->subkeys.size()) - 1);
                    current = &current->subkeys.back();
                }
            }
            continue;
        }
        if (!current)
            return false;
        // Long hex data continues on the next lines after a trailing backslash.
        while (line.endsWith('\\') && line.contains("=hex") && n + 1 < lines.size()) {
            line.chop(1);
            line += trimmed(lines[++n]);
        }
        QString name;
        qsizetype pos = 0;
        if (line.startsWith('@')) {
            pos = 1;
        } else {
            auto quotedName = readQuoted(line, pos);
            if (!quotedName)
                return false;
            name = QString::fromUtf8(*quotedName);
            if (name.isEmpty())
                return false;
        }
        while (pos < line.size() && isSpace(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return false;
        auto value = readData(trimmed(line.mid(pos + 1)));
        if (!value)
            return false;
        setValueIn(*current, name, *value);
    }
    return headerSeen || trimmed(body).isEmpty();
}

QByteArray write(const Key& root, const QString& rootName) {
    QByteArray out = QByteArray(Header) + "\n\n";
    // Depth first, parents before their children, without recursion.
    struct Pending {
        const Key* key;
        QString path;
    };
    std::vector<Pending> pending{{&root, rootName}};
    while (!pending.empty()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        writeKey(out, *next.key, next.path, next.key == &root);
        const auto& subkeys = next.key->subkeys;
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.push_back({&*it, next.path + QLatin1Char('\\') + it->name});
    }
    return out;
}

}  // namespace regfile

// ---------------------------------------------------------------------------------------------
// The store

namespace {

using regfile::Key;

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The identity of the file content last read: a replaced file gets a new inode, an edited one
// a new time or size.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t sec = 0;
    long nsec = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stampOf(const struct stat& st) {
    return FileStamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

FileStamp stampOf(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return stampOf(st);
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
    FileStamp stamp;
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
std::optional<Key> readTree(const QString& path, RegRoot which, FileStamp& stamp,
                            bool& unreadable) {
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
        stamp = stampOf(st);
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
    if (!tree) {
        // Set aside only under the lock, and only if the file is still the bad one: a writer
        // may just have replaced it.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (locked || lock.tryLock(10000)) {
            tree = readTree(path, which, r.stamp, r.unreadable);
            if (!tree) {
                setAside(path);
                r.stamp = stampOf(path);
            }
        }
        if (!tree) {
            // A bad file that could not be moved aside must not be written over.
            r.unreadable = QFileInfo::exists(path);
            tree = Key{rootName(which), {}, {}};
        }
    }
    r.tree = std::move(*tree);
    return r;
}

template <typename Change>
bool Registry::change(RegRoot which, Change&& apply) {
    const QString path = filePath(which);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
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
        // Settings are nobody else's business: a new file is the user's alone.
        AtomicFile file(QFile::encodeName(path), 0600);
        const QByteArray text = regfile::write(r.tree, rootName(which));
        // Never a file the store would refuse to read back.
        if (text.size() > regfile::kMaxFileSize)
            return false;
        return file.open() && file.write(text.constData(), text.size()) && file.commit();
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

// ---------------------------------------------------------------------------------------------
// Key handle

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
