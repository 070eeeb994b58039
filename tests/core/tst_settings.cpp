#include <QtTest>

#include "core/platform/AtomicFile.h"
#include "core/platform/PathParts.h"
#include "core/platform/Registry.h"
#include "core/settings/Settings.h"
#include "testsupport/FakeFrame.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using testsupport::FakeFrame;

namespace {

using Stored = QList<QPair<QString, RegValue>>;

RegValue dword(qint32 n) {
    QByteArray data(4, '\0');
    qToLittleEndian(n, data.data());
    return {REG_DWORD, data};
}

RegValue sz(const QByteArray& text) {
    return {REG_SZ, text + '\0'};
}

// Every value, with the font remembered.
Stored full() {
    return {{"Remember", dword(1)},         {"FontName", sz("Courier")},
            {"FontColor", dword(0x0000ff)}, {"FontSize", dword(12)},
            {"FontBold", dword(1)},         {"FontItalic", dword(0)},
            {"OpenDir", sz("D:\\Lists\\")}, {"SaveDir", sz("C:\\")},
            {"Toolbar", dword(0)},          {"Top", dword(200)},
            {"Left", dword(300)},           {"Width", dword(800)},
            {"Height", dword(600)}};
}

Stored with(Stored values, const QString& name, std::optional<RegValue> value) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (it->first == name) {
            if (value)
                it->second = *value;
            else
                values.erase(it);
            return values;
        }
    if (value)
        values.append({name, *value});
    return values;
}

const QString Key = QStringLiteral("Software\\Tovermark\\Cadrell2");

}  // namespace

Q_DECLARE_METATYPE(Stored)

class TestSettings : public QObject {
    Q_OBJECT

    QString folder_;

    void store(const Stored& values) {
        Registry reg(folder_);
        QVERIFY(reg.createKey(RegRoot::CurrentUser, Key));
        for (const auto& [name, value] : values)
            QVERIFY(reg.setValue(RegRoot::CurrentUser, Key, name, value));
    }

private slots:
    void init() {
        folder_ = testsupport::homeDir() + QStringLiteral("/settings-") +
                  QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
                  QString::fromLatin1(QTest::currentDataTag());
        QDir(folder_).removeRecursively();
    }

    void load_data() {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("expected");

        QTest::newRow("first run") << Stored{}
                                   << "remember=0 font=Designed Sans/000000/10pt/plain open= "
                                      "save= toolbar=1 rect=50,60 640x480";
        QTest::newRow("everything") << full()
                                    << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists "
                                       "save=C:\\ toolbar=0 rect=300,200 800x600";
        QTest::newRow("FontName missing")
            << with(full(), "FontName", std::nullopt)
            << "remember=1 font=Designed Sans/0000ff/12pt/bold open=D:\\Lists save=C:\\ "
               "toolbar=0 rect=300,200 800x600";
        QTest::newRow("FontName empty")
            << with(full(), "FontName", sz(""))
            << "remember=1 font=Designed Sans/0000ff/12pt/bold open=D:\\Lists save=C:\\ "
               "toolbar=0 rect=300,200 800x600";
        QTest::newRow("FontColor missing")
            << with(full(), "FontColor", std::nullopt)
            << "remember=1 font=Courier/000000/10pt/plain open= save= toolbar=1 rect=50,60 640x480";
        QTest::newRow("not remembered")
            << with(full(), "Remember", dword(0))
            << "remember=0 font=Designed Sans/000000/10pt/plain open=D:\\Lists save=C:\\ "
               "toolbar=0 rect=300,200 800x600";
        QTest::newRow("Remember stored as text")
            << with(full(), "Remember", sz("1"))
            << "remember=0 font=Designed Sans/000000/10pt/plain open= save= toolbar=1 "
               "rect=50,60 640x480";
        QTest::newRow("italic alone")
            << with(with(full(), "FontBold", dword(0)), "FontItalic", dword(1))
            << "remember=1 font=Courier/0000ff/12pt/plain+italic open=D:\\Lists save=C:\\ "
               "toolbar=0 rect=300,200 800x600";
        QTest::newRow("bold italic")
            << with(full(), "FontItalic", dword(5))
            << "remember=1 font=Courier/0000ff/12pt/bold+italic open=D:\\Lists save=C:\\ "
               "toolbar=0 rect=300,200 800x600";
        QTest::newRow("folders of this platform")
            << with(with(full(), "OpenDir", sz("/home/u/lists/")), "SaveDir", sz("/"))
            << "remember=1 font=Courier/0000ff/12pt/bold open=/home/u/lists save=/ toolbar=0 "
               "rect=300,200 800x600";
        QTest::newRow("folders as expandable strings")
            << with(full(), "OpenDir", RegValue{REG_EXPAND_SZ, "E:\\x\\\0"})
            << "remember=1 font=Courier/0000ff/12pt/bold open=E:\\x save=C:\\ toolbar=0 "
               "rect=300,200 800x600";
        QTest::newRow("Toolbar stored as text")
            << with(full(), "Toolbar", sz("0"))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=1 "
               "rect=50,60 640x480";
        QTest::newRow("Width as 8 bytes")
            << with(full(), "Width", RegValue{REG_BINARY, QByteArray(8, '\0')})
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=300,200 640x480";
        QTest::newRow("corner on no monitor")
            << with(with(full(), "Left", dword(-32000)), "Top", dword(-32000))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=100,100 800x600";
        QTest::newRow("corner on the right edge")
            << with(with(full(), "Left", dword(1920)), "Top", dword(0))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=100,100 800x600";
        QTest::newRow("corner on the last pixel")
            << with(with(full(), "Left", dword(1919)), "Top", dword(1079))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=1919,1079 800x600";
        QTest::newRow("corner on a monitor left of the first")
            << with(with(full(), "Left", dword(-1000)), "Top", dword(10))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=-1000,10 800x600";
        QTest::newRow("corner off, block ended early")
            << with(with(full(), "Top", dword(-5000)), "Left", sz("x"))
            << "remember=1 font=Courier/0000ff/12pt/bold open=D:\\Lists save=C:\\ toolbar=0 "
               "rect=100,100 640x480";
    }

    void load() {
        QFETCH(Stored, stored);
        QFETCH(QString, expected);
        store(stored);
        FakeFrame frame;
        frame.screens.push_back(QRect(-1280, 0, 1280, 1024));
        Registry reg(folder_);
        LoadSettings(frame, reg);
        QCOMPARE(frame.state(), expected);
        // Loading never writes anything but the (empty) key.
        QVERIFY(reg.keyExists(RegRoot::CurrentUser, Key));
        QCOMPARE(reg.valueNames(RegRoot::CurrentUser, Key).size(), stored.size());
    }

    void placementAppliedValueByValue() {
        store(with(with(full(), "Left", dword(-32000)), "Top", dword(-32000)));
        FakeFrame frame;
        Registry reg(folder_);
        LoadSettings(frame, reg);
        QCOMPARE(frame.moves, QStringList({"top -32000", "left -32000", "width 800", "height 600",
                                           "top 100", "left 100"}));
    }

    void keyCannotBeOpened() {
        // A file where the config folder should be: the key can be neither opened nor created.
        testsupport::writeFile(QStringLiteral("settings-keyCannotBeOpened-"), "not a folder");
        FakeFrame frame;
        frame.rect = QRect(5000, 5000, 300, 200);
        Registry reg(folder_);
        LoadSettings(frame, reg);
        QCOMPARE(frame.moves, QStringList({"top 100", "left 100"}));
        SaveSettings(frame, reg);  // nothing to see, and no failure
        QCOMPARE(testsupport::readFile(folder_), QByteArray("not a folder"));
    }

    void save_data() {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("fontName");

        const QStringList always = {"Remember", "OpenDir", "SaveDir", "Toolbar",
                                    "Top",      "Left",    "Width",   "Height"};
        QTest::newRow("font not remembered") << false << always << "Old Face";
        QTest::newRow("font remembered")
            << true
            << QStringList({"Remember", "FontName", "FontColor", "FontSize", "FontBold",
                            "FontItalic", "OpenDir", "SaveDir", "Toolbar", "Top", "Left", "Width",
                            "Height"})
            << "Courier";
    }

    void save() {
        QFETCH(bool, remember);
        QFETCH(QStringList, names);
        QFETCH(QString, fontName);

        FakeFrame frame;
        frame.remember = remember;
        frame.face = QStringLiteral("Courier");
        frame.color = 0x00336699;
        frame.points = 14;
        frame.italic = frame.underline = true;
        frame.open = "/home/u/lists";
        frame.save = "C:\\";
        frame.toolbar = false;
        frame.rect = QRect(-8, -8, 1936, 1096);
        Registry reg(folder_);
        // A font stored earlier is left alone unless the font is remembered.
        store({{"FontName", sz("Old Face")}});
        SaveSettings(frame, reg);

        RegistryKey key(RegRoot::CurrentUser, reg);
        QVERIFY(key.OpenKey(Key, false));
        QStringList written = key.GetValueNames();
        if (!remember)
            written.removeOne(QStringLiteral("FontName"));
        else
            written.move(0, 1);  // FontName was created first by the earlier store
        QCOMPARE(written, names);
        QCOMPARE(key.ReadString(QStringLiteral("FontName")), fontName.toLatin1());
        QCOMPARE(key.ReadBool(QStringLiteral("Remember")), remember);
        QCOMPARE(key.ReadString(QStringLiteral("OpenDir")), QByteArray("/home/u/lists"));
        QCOMPARE(key.ReadInteger(QStringLiteral("Left")), -8);
        QCOMPARE(key.ReadInteger(QStringLiteral("Width")), 1936);
        QCOMPARE(key.ReadBool(QStringLiteral("Toolbar")), false);
        if (remember) {
            QCOMPARE(key.ReadInteger(QStringLiteral("FontColor")), 0x00336699);
            QCOMPARE(key.ReadInteger(QStringLiteral("FontSize")), 14);
            QCOMPARE(key.ReadBool(QStringLiteral("FontBold")), false);
            QCOMPARE(key.ReadBool(QStringLiteral("FontItalic")), true);
        }
    }

    // Every value in one change of the file: a large file is read and written once, and a
    // reader never sees half of the values new.
    void saveIsOneChangeOfTheFile() {
        FakeFrame frame;
        frame.remember = true;
        Registry reg(folder_);
        QVERIFY(reg.createKey(RegRoot::CurrentUser, Key));
        int writes = 0;
        AtomicFile::setStepHook([&](AtomicFile::Step step, const QByteArray&) {
            writes += step == AtomicFile::Step::Rename;
            return 0;
        });
        SaveSettings(frame, reg);
        AtomicFile::setStepHook(nullptr);
        QCOMPARE(writes, 1);
        RegistryKey key(RegRoot::CurrentUser, reg);
        QVERIFY(key.OpenKey(Key, false));
        QCOMPARE(key.GetValueNames().size(), 13);
    }

    void restartRestoresState() {
        FakeFrame first;
        {
            Registry reg(folder_);
            LoadSettings(first, reg);  // first run
            SaveSettings(first, reg);
            RegistryKey key(RegRoot::CurrentUser, reg);
            QVERIFY(key.OpenKey(Key, false));
            QCOMPARE(key.GetValueNames().size(), 8);
        }
        first.remember = true;
        first.face = QStringLiteral("Mono");
        first.bold = first.italic = first.underline = true;
        first.open = "/data/lists";
        first.toolbar = false;
        first.rect = QRect(10, 20, 700, 500);
        Registry exiting(folder_);
        SaveSettings(first, exiting);

        FakeFrame second;
        Registry starting(folder_);
        LoadSettings(second, starting);
        // Underline is not kept; the save folder comes back as the first run left it.
        QCOMPARE(second.state(), QStringLiteral("remember=1 font=Mono/000000/10pt/bold+italic "
                                                "open=/data/lists save= toolbar=0 "
                                                "rect=10,20 700x500"));
    }

    void saveDirKeepsLoadedValue() {
        store({{"Remember", dword(0)}, {"OpenDir", sz("")}, {"SaveDir", sz("D:\\Out\\")}});
        FakeFrame frame;
        Registry reg(folder_);
        LoadSettings(frame, reg);
        frame.setOpenDir("/elsewhere");  // as opening a playlist does
        SaveSettings(frame, reg);
        RegistryKey key(RegRoot::CurrentUser, reg);
        QVERIFY(key.OpenKey(Key, false));
        QCOMPARE(key.ReadString(QStringLiteral("SaveDir")), QByteArray("D:\\Out"));
        QCOMPARE(key.ReadString(QStringLiteral("OpenDir")), QByteArray("/elsewhere"));
    }

    void monitorIndexAt_data() {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("index");
        // Two side by side and one overlapping the first.
        QTest::newRow("top-left corner") << QPoint(0, 0) << 0;
        QTest::newRow("last pixel") << QPoint(1919, 1079) << 0;
        QTest::newRow("right edge is the next monitor") << QPoint(1920, 0) << 1;
        QTest::newRow("bottom edge") << QPoint(100, 1080) << -1;
        QTest::newRow("overlap goes to the first") << QPoint(1800, 500) << 0;
        QTest::newRow("only the third") << QPoint(1700, 1100) << 2;
        QTest::newRow("left of everything") << QPoint(-1, 0) << -1;
        QTest::newRow("minimized corner") << QPoint(-32000, -32000) << -1;
    }

    void monitorIndexAt() {
        QFETCH(QPoint, point);
        QFETCH(int, index);
        const std::vector<QRect> monitors = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024),
                                             QRect(1600, 400, 800, 800)};
        QCOMPARE(MonitorIndexAt(monitors, point), index);
        QCOMPARE(MonitorIndexAt({}, point), -1);
    }
    // The Locate Missing Files folders come back after a restart, in their order, with names
    // that are not UTF-8 and an emptied list kept as empty rather than as never chosen.
    void locateFoldersSurviveRestart_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("two") << QStringList{"/home/u/Music", "/media/u/stick/Songs"};
        QTest::newRow("spaces and accents") << QStringList{"/srv/Sigur Rós/ágætis byrjun"};
        QTest::newRow("emptied") << QStringList{};
        QTest::newRow("name with a quote and backslash") << QStringList{"/a \"b\" \\c"};
    }
    void locateFoldersSurviveRestart() {
        QFETCH(QStringList, folders);
        {
            Registry reg(folder_);
            QCOMPARE(LoadLocateFolders(reg), std::nullopt);
            SaveLocateFolders(folders, reg);
        }
        Registry restarted(folder_);
        QCOMPARE(LoadLocateFolders(restarted), std::optional<QStringList>(folders));
        // The frame's own values are a key of their own: saving them leaves the list alone.
        FakeFrame frame;
        SaveSettings(frame, restarted);
        QCOMPARE(LoadLocateFolders(restarted), std::optional<QStringList>(folders));
    }

    void locateFolderOfAnotherType() {
        Registry reg(folder_);
        const QString key = Key + QStringLiteral("\\Locate Missing Files");
        QVERIFY(reg.createKey(RegRoot::CurrentUser, key));
        QVERIFY(reg.setValue(RegRoot::CurrentUser, key, QStringLiteral("Folders"), sz("/x")));
        QCOMPARE(LoadLocateFolders(reg), std::nullopt);
    }

    void locateFoldersOffered_data() {
        QTest::addColumn<QString>("playlist");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<bool>("everKept");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QStringList>("shown");  // as the dialog closes
        QTest::addColumn<QStringList>("toKeep");
        const QString m = QStringLiteral("/home/u/Music");
        QTest::newRow("first time") << "/l" << QStringList{} << false << QStringList{"/l", m}
                                    << QStringList{"/l", m, "/x"} << QStringList{m, "/x"};
        QTest::newRow("untitled, first time")
            << "" << QStringList{} << false << QStringList{m} << QStringList{m} << QStringList{m};
        QTest::newRow("kept replaces the music folder")
            << "/l" << QStringList{"/x"} << true << QStringList{"/l", "/x"}
            << QStringList{"/l", "/x"} << QStringList{"/x"};
        QTest::newRow("kept emptied") << "/l" << QStringList{} << true << QStringList{"/l"}
                                      << QStringList{"/l"} << QStringList{};
        QTest::newRow("playlist folder kept before stays kept")
            << "/l" << QStringList{"/x", "/l"} << true << QStringList{"/l", "/x"}
            << QStringList{"/l", "/x"} << QStringList{"/l", "/x"};
        QTest::newRow("user removed the playlist folder")
            << "/l" << QStringList{"/x"} << true << QStringList{"/l", "/x"} << QStringList{"/x"}
            << QStringList{"/x"};
    }
    void locateFoldersOffered() {
        QFETCH(QString, playlist);
        QFETCH(QStringList, kept);
        QFETCH(bool, everKept);
        QFETCH(QStringList, offered);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, toKeep);
        const std::optional<QStringList> before =
            everKept ? std::optional<QStringList>(kept) : std::nullopt;
        QCOMPARE(LocateFoldersOffered(playlist, before, QStringLiteral("/home/u/Music")), offered);
        QCOMPARE(LocateFoldersToKeep(shown, playlist, before), toKeep);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
