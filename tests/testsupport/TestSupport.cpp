#include "testsupport/TestSupport.h"

#include "core/playlist/PlaylistDocument.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <cstdlib>

namespace testsupport {

namespace {

// Runs before main, so no test (nor Qt) ever sees the real user's settings or runtime folder.
struct PrivateHome {
    QString path;
    PrivateHome() {
        QByteArray tmpl = QDir::tempPath().toLocal8Bit() + "/cadrell-test-XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        path = QString::fromLocal8Bit(tmpl);
        auto set = [&](const char* var, const char* sub) {
            const QByteArray dir = tmpl + sub;
            QDir().mkpath(QString::fromLocal8Bit(dir));
            ::setenv(var, dir.constData(), 1);
        };
        set("HOME", "");
        set("XDG_CONFIG_HOME", "/.config");
        set("XDG_DATA_HOME", "/.local/share");
        set("XDG_CACHE_HOME", "/.cache");
        set("XDG_RUNTIME_DIR", "/runtime");
        QFile::setPermissions(path + QStringLiteral("/runtime"), QFileDevice::ReadOwner |
                                                                     QFileDevice::WriteOwner |
                                                                     QFileDevice::ExeOwner);
    }
    ~PrivateHome() {
        if (!qEnvironmentVariableIsSet("CADRELL_KEEP_TEST_HOME"))
            QDir(path).removeRecursively();
    }
};

PrivateHome& home() {
    static PrivateHome h;
    return h;
}

const bool initialised = (home(), true);

}  // namespace

QString homeDir() {
    return home().path;
}

QString writeFile(const QString& relativeName, const QByteArray& bytes) {
    const QString path = homeDir() + QLatin1Char('/') + relativeName;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::abort();
    return path;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

std::vector<QByteArray> list(std::initializer_list<const char*> items) {
    std::vector<QByteArray> out;
    for (const char* i : items)
        out.emplace_back(i);
    return out;
}

void makeUnsaved(cadrell::PlaylistDocument& doc) {
    using cadrell::Change;
    const qsizetype end = doc.Entries().size();
    cadrell::EntryList added;
    added.append("unsaved");
    doc.perform(Change::insertAt(end, std::move(added)), QStringLiteral("Type"));
    doc.perform(Change::remove({int(end)}), QStringLiteral("Delete"));
}

cadrell::EntryList entriesOf(const QByteArray& text) {
    cadrell::EntryList entries;
    for (const QByteArray& line : text.split('|'))
        entries.append(line);
    return entries;
}

QByteArray joined(const cadrell::EntryList& entries) {
    const std::vector<QByteArray> all = entries.toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

}  // namespace testsupport
