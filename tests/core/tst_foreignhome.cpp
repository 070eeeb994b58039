// Run as root with HOME pointing at an ordinary user's home (what "sudo -E" gives): nothing of
// root's lands in that home and no link of that user's leads a write elsewhere.

#include <sys/stat.h>
#include <unistd.h>
#include <QDirIterator>
#include <QtTest>
#include <functional>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "core/settings/Settings.h"
#include "core/settings/ShellRegistration.h"
#include "testsupport/FakeFrame.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::readFile;

namespace {

constexpr uid_t kUser = 54331;  // the ordinary user whose home it is

QByteArray name(const QString& path) {
    return QFile::encodeName(path);
}

// Puts the environment back however the test ends.
struct Environment {
    QList<QPair<const char*, QByteArray>> saved;
    void set(const char* var, const QString& value) {
        saved.append({var, qgetenv(var)});
        qputenv(var, QFile::encodeName(value));
    }
    ~Environment() {
        for (auto it = saved.crbegin(); it != saved.crend(); ++it)
            qputenv(it->first, it->second);
    }
};

// A folder of its own for each case, so that each refusal is told (once per folder).
QString freshFolder(const QString& label, uid_t owner) {
    QByteArray tmpl = name(testsupport::homeDir() + QLatin1Char('/') + label + "-XXXXXX");
    if (!::mkdtemp(tmpl.data()) || ::chown(tmpl.constData(), owner, owner) != 0 ||
        ::chmod(tmpl.constData(), 0755) != 0)
        return {};
    return QFile::decodeName(tmpl);
}

// Makes the folders to `path` and gives them, and then the link at `path`, to the user.
bool plantLink(const QString& home, const QString& path, const QString& target) {
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
        return false;
    for (QString at = folder; at.size() > home.size(); at = QFileInfo(at).path()) {
        if (::chown(name(at).constData(), kUser, kUser) != 0)
            return false;
    }
    return QFile::link(target, path) && ::lchown(name(path).constData(), kUser, kUser) == 0;
}

// Everything below the home that the user does not own: what root would have left there.
QStringList rootsLeftovers(const QString& home) {
    QStringList found;
    QDirIterator it(home, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        if (::lstat(name(path).constData(), &st) == 0 && st.st_uid != kUser)
            found << path.mid(home.size() + 1);
    }
    return found;
}

// Makes the program's context-menu command known to a store outside the home.
void registerCommand(Registry& store) {
    RegistryKey key(RegRoot::ClassesRoot, store);
    QVERIFY(key.OpenKey(QStringLiteral(".m3u"), true));
    key.WriteString(QString(), "T");
    key.CloseKey();
    QVERIFY(key.OpenKey(QStringLiteral("T\\shell\\Cadrell\\command"), true));
    key.WriteString(QString(), "/usr/bin/cadrell \"%1\"");
}

using Action = std::function<void(const QString& home, const QString& secret)>;

}  // namespace

Q_DECLARE_METATYPE(Action)

class TestForeignHome : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (::geteuid() != 0)
            QSKIP("needs root to make another user's home and that user's links");
        // The user's home lies below the private home, which they must be able to enter.
        ::chmod(name(testsupport::homeDir()).constData(), 0711);
    }
    void cleanupTestCase() { ::chmod(name(testsupport::homeDir()).constData(), 0700); }

    // The user's link in place of a file root writes: its target, a file of root's, is left
    // alone, and nothing of root's is left in the home. Settings and the desktop entry say why
    // on standard error, once.
    void linksInTheHome_data() {
        QTest::addColumn<QString>("link");  // below the home
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("told");  // what standard error says, or "" for nothing
        const QString refused = QStringLiteral(
            "^cadrell: nothing is written below .* it belongs "
            "to another user \\(uid 54331\\)$");
        QTest::newRow("settings") << QStringLiteral(".config/cadrell/HKEY_CURRENT_USER.reg")
                                  << Action([](const QString&, const QString&) {
                                         testsupport::FakeFrame frame;
                                         SaveSettings(frame, Registry::instance());
                                     })
                                  << refused;
        QTest::newRow("desktop entry")
            << QStringLiteral(".local/share/applications/example.tovermark.Cadrell.desktop")
            << Action([](const QString&, const QString&) {
                   Registry store(testsupport::homeDir() + QStringLiteral("/classes-store"));
                   registerCommand(store);
                   SyncDesktopIntegration(store);
               })
            << refused;
        // A playlist root opened there, swapped for a link to a file only root may read.
        QTest::newRow("playlist") << QStringLiteral("music/list.m3u")
                                  << Action([](const QString& home, const QString&) {
                                         PlaylistDocument doc;
                                         doc.FileName = name(home + "/music/list.m3u");
                                         doc.edit([](EntryList& e) { e.append("new.mp3"); });
                                         try {
                                             SavePlaylist(doc);
                                         } catch (const Error& e) {
                                             QVERIFY(e.text().startsWith("Cannot create file"));
                                             return;
                                         }
                                         QFAIL("the save went through the user's link");
                                     })
                                  << QString();
    }
    void linksInTheHome() {
        QFETCH(QString, link);
        QFETCH(Action, action);
        QFETCH(QString, told);
        const QString home = freshFolder(QStringLiteral("home"), kUser);
        QVERIFY(!home.isEmpty());
        const QString secret = testsupport::writeFile(
            QStringLiteral("secret-%1").arg(QString::fromLatin1(QTest::currentDataTag())),
            "root's own\n");
        QVERIFY(::chmod(name(secret).constData(), 0600) == 0);
        QVERIFY(plantLink(home, home + QLatin1Char('/') + link, secret));
        Environment env;
        env.set("HOME", home);
        env.set("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
        env.set("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
        env.set("XDG_STATE_HOME", home + QStringLiteral("/.local/state"));
        if (!told.isEmpty()) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(told));
            QTest::failOnWarning(QRegularExpression(QStringLiteral("^cadrell:")));
        }
        action(home, secret);
        QCOMPARE(readFile(secret), QByteArray("root's own\n"));
        QCOMPARE(rootsLeftovers(home), QStringList());
    }

    // With nothing there yet, root makes no folder in the home (it would stay root's), and a
    // link owned by the user outside any home is not followed either.
    void nothingMadeInTheHome_data() {
        QTest::addColumn<bool>("onlyXdg");  // HOME is root's; XDG_* point into the user's home
        QTest::newRow("HOME is the user's") << false;
        QTest::newRow("only XDG_CONFIG_HOME and XDG_DATA_HOME are the user's") << true;
    }
    void nothingMadeInTheHome() {
        QFETCH(bool, onlyXdg);
        const QString home = freshFolder(QStringLiteral("empty-home"), kUser);
        QVERIFY(!home.isEmpty());
        Environment env;
        env.set("HOME", onlyXdg ? freshFolder(QStringLiteral("root-home"), 0) : home);
        env.set("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
        env.set("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("belongs to another")));
        testsupport::FakeFrame frame;
        SaveSettings(frame, Registry::instance());
        Registry store(testsupport::homeDir() + QStringLiteral("/classes-") +
                       QString::fromLatin1(QTest::currentDataTag()).left(4));
        registerCommand(store);
        SyncDesktopIntegration(store);
        QCOMPARE(rootsLeftovers(home), QStringList());
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    // In any folder, not only in shared ones: a link is followed when it is root's own.
    void linkOwnersOutsideHomes_data() {
        QTest::addColumn<uid_t>("owner");
        QTest::addColumn<bool>("followed");
        QTest::newRow("the user's link refused") << kUser << false;
        QTest::newRow("root's link followed") << uid_t(0) << true;
    }
    void linkOwnersOutsideHomes() {
        QFETCH(uid_t, owner);
        QFETCH(bool, followed);
        const QString folder = freshFolder(QStringLiteral("plain"), 0);
        const QString target = folder + QStringLiteral("/target.m3u");
        const QString link = folder + QStringLiteral("/link.m3u");
        QVERIFY(testsupport::writeFile(target.mid(testsupport::homeDir().size() + 1), "old\r\n") ==
                target);
        QVERIFY(QFile::link(target, link));
        QVERIFY(::lchown(name(link).constData(), owner, owner) == 0);
        EntryList entries;
        entries.append("new");
        bool failed = false;
        try {
            WritePlaylist(name(link), entries);
        } catch (const Error&) {
            failed = true;
        }
        QCOMPARE(failed, !followed);
        QCOMPARE(readFile(target), followed ? QByteArray("new\r\n") : QByteArray("old\r\n"));
        QVERIFY(QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestForeignHome)
#include "tst_foreignhome.moc"
