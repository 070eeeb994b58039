#include <sys/wait.h>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "core/platform/Error.h"
#include "core/platform/Registry.h"
#include "core/settings/ShellRegistration.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/options.h"
#include "ui/platform/Prompts.h"

using namespace cadrell;

namespace {

QString classesFile() {
    return Registry::instance().filePath(RegRoot::ClassesRoot);
}

void writeClasses(const QByteArray& text) {
    QDir().mkpath(Registry::instance().folder());
    QFile f(classesFile());
    QFile::setPermissions(classesFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(classesFile()));
}

// Registry texts the tests start from.
const QByteArray Header = "REGEDIT4\n\n";
const QByteArray TypeT = "[HKEY_CLASSES_ROOT\\.m3u]\n@=\"T\"\n\n";
const QByteArray OpenVerb =
    "[HKEY_CLASSES_ROOT\\T]\n\n[HKEY_CLASSES_ROOT\\T\\shell]\n\n"
    "[HKEY_CLASSES_ROOT\\T\\shell\\open]\n\n"
    "[HKEY_CLASSES_ROOT\\T\\shell\\open\\command]\n@=\"player \\\"%1\\\"\"\n\n";
const QByteArray OurVerb =
    "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell]\n@=\"old\"\n\n"
    "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell\\command]\n@=\"/old/cadrell \\\"%1\\\"\"\n\n"
    "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell\\extra]\n\n";
const QByteArray ShellNew = "[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\"NullFile\"=\"\"\n\n";

QByteArray withProgram(QByteArray text) {
    return text.replace("%PROG%", QFile::encodeName(QCoreApplication::applicationFilePath()));
}

// Undoes the escapes of a desktop entry string value.
QString unescapeValue(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar c = value[++i];
            out += c == QLatin1Char('s')   ? QChar(' ')
                   : c == QLatin1Char('n') ? QChar('\n')
                   : c == QLatin1Char('t') ? QChar('\t')
                   : c == QLatin1Char('r') ? QChar('\r')
                                           : c;
        } else {
            out += value[i];
        }
    }
    return out;
}

// The installed copy of the desktop entry lives here; nothing of the real system is seen.
QString systemData() {
    return testsupport::homeDir() + QStringLiteral("/usr/share");
}

// Whether glib offers the program for .m3u files, asked the way a file manager asks. The
// entry it finds may name a program that must be on PATH, so a stand-in is put there.
QString offeredByGio() {
    const QString bin = testsupport::writeFile(QStringLiteral("bin/cadrell"), "#!/bin/sh\n");
    QFile::setPermissions(bin,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess gio;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"),
               QFileInfo(bin).absolutePath() + QStringLiteral(":/usr/bin:/bin"));
    gio.setProcessEnvironment(env);
    gio.start(QStringLiteral("gio"), {QStringLiteral("mime"), QStringLiteral("audio/x-mpegurl")});
    gio.waitForFinished();
    const QByteArray out = gio.readAllStandardOutput();
    return out.contains(QByteArray(DesktopId) + ".desktop") ? QStringLiteral("offered")
                                                            : QStringLiteral("not offered");
}

QString desktopKey(const QByteArray& entry, const QByteArray& key) {
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith(key + '='))
            return QString::fromUtf8(line.mid(key.size() + 1));
    return {};
}

}  // namespace

class TestOptions : public QObject {
    Q_OBJECT

    testsupport::ScriptedPrompts prompts_;

    // Shows the dialog and lets it fill its groups as it does when it becomes active.
    static void showActive(TOptionsBox& box) {
        box.show();
        QVERIFY(QTest::qWaitForWindowActive(&box));
    }

    static QList<int> groups(const TOptionsBox& box) {
        return {box.RadioGroup1->ItemIndex(), box.RadioGroup2->ItemIndex(),
                box.RadioGroup3->ItemIndex()};
    }

    static void choose(TOptionsBox& box, QList<int> items) {
        box.RadioGroup1->SetItemIndex(items[0]);
        box.RadioGroup2->SetItemIndex(items[1]);
        box.RadioGroup3->SetItemIndex(items[2]);
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_DIRS", QFile::encodeName(systemData())); }

    void init() {
        prompts_.errors.clear();
        QFile::setPermissions(classesFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(classesFile());
        QFile::remove(DesktopEntryPath());
        QFile::remove(TemplatePath());
        QFile::remove(TemplatePath(".m3u8"));
        QDir(systemData()).removeRecursively();
    }

    void layout() {
        bool remember = false;
        TOptionsBox box(nullptr, remember, {});
        QCOMPARE(box.windowTitle(), QStringLiteral("Cadrell Options"));
        QCOMPARE(box.size(), QSize(298, 218));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.ButtonOK->geometry(), QRect(32, 178, 65, 33));
        QVERIFY(box.ButtonOK->isDefault());
        QCOMPARE(box.ButtonCancel->text(), QStringLiteral("&Cancel"));
        QCOMPARE(box.RadioGroup2->title(),
                 QStringLiteral("m3u file in the file manager's New menu"));
        QCOMPARE(box.RadioGroup2->Item(1)->text(), QStringLiteral("D&o Not Include"));
        QCOMPARE(box.RadioGroup3->toolTip(),
                 QStringLiteral("If Remember, font will be the same as last time."));
        QVERIFY(box.findChild<QWidget*>(QStringLiteral("RadioGroup1")));
        // Every accelerator reaches one control only.
        QStringList keys;
        for (const QAbstractButton* b : box.findChildren<QAbstractButton*>()) {
            const qsizetype amp = b->text().indexOf(QLatin1Char('&'));
            if (amp >= 0)
                keys += b->text().mid(amp + 1, 1).toLower();
        }
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        // No group has a selection until the dialog is shown.
        QCOMPARE(groups(box), QList<int>({-1, -1, -1}));
    }

    void tabStartsAtFirstGroup() {
        bool remember = false;
        TOptionsBox box(nullptr, remember, {});
        showActive(box);
        QTRY_VERIFY(box.focusWidget());
        QCOMPARE(box.focusWidget()->parentWidget(), box.RadioGroup1);
    }

    void fontDialogColour() {
        QFontDialog dialog;
        dialog.setOption(QFontDialog::DontUseNativeDialog);
        QColor colour(Qt::darkRed);
        AddColourChoice(dialog, colour);
        auto* colourButton = dialog.findChild<QPushButton*>(QStringLiteral("FontColor"));
        QVERIFY(colourButton);
        // Among the font choices, not with OK and Cancel.
        QVERIFY(qobject_cast<QGroupBox*>(colourButton->parentWidget()));
        const QLineEdit* sample = nullptr;
        for (const QLineEdit* edit : dialog.findChildren<QLineEdit*>())
            if (qobject_cast<QGroupBox*>(edit->parentWidget()))
                sample = edit;
        QVERIFY(sample);
        QCOMPARE(sample->palette().color(QPalette::Text), colour);
    }

    void formActivate_data() {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QList<int>>("groups");
        QTest::addColumn<QStringList>("errors");

        const QStringList none;
        QTest::newRow("nothing registered") << QByteArray() << false << QList<int>{1, 1, 1} << none;
        QTest::newRow("type with command")
            << Header + TypeT + OpenVerb + OurVerb << true << QList<int>{0, 1, 0} << none;
        QTest::newRow("verb without command")
            << Header + TypeT + "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell]\n"
            << true << QList<int>{1, 1, 0} << none;
        QTest::newRow("command under the root without type name")
            << Header + "[HKEY_CLASSES_ROOT\\.m3u]\n[HKEY_CLASSES_ROOT\\shell\\cadrell\\COMMAND]\n"
            << false << QList<int>{0, 1, 1} << none;
        QTest::newRow("shellnew without NullFile")
            << Header + "[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\"Other\"=\"\"\n"
            << false << QList<int>{1, 1, 1} << none;
        QTest::newRow("NullFile") << Header + ShellNew << false << QList<int>{1, 0, 1} << none;
        QTest::newRow("NullFile as dword")
            << Header + "[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\"nullfile\"=dword:0\n"
            << false << QList<int>{1, 0, 1} << none;
        QTest::newRow("type name not a string")
            << Header + "[HKEY_CLASSES_ROOT\\.m3u]\n@=dword:1\n" + ShellNew << true
            << QList<int>{-1, -1, 0} << QStringList{"Invalid data type for ''"};
    }

    void formActivate() {
        QFETCH(QByteArray, registry);
        QFETCH(bool, remember);
        QFETCH(QList<int>, groups);
        QFETCH(QStringList, errors);
        if (!registry.isEmpty())
            writeClasses(registry);

        TOptionsBox box(nullptr, remember, {});
        showActive(box);
        QCOMPARE(TestOptions::groups(box), groups);
        QCOMPARE(prompts_.errors, errors);
        // Showing never changes the registry, except that a missing ".m3u" comes into being.
        RegistryKey key(RegRoot::ClassesRoot);
        QVERIFY(key.OpenKey(QStringLiteral(".m3u"), false));
        if (registry.isEmpty())
            QCOMPARE(key.GetValueNames(), QStringList());

        // Coming back from another window of ours fills the groups again.
        box.RadioGroup3->SetItemIndex(remember ? 1 : 0);
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        QCOMPARE(box.RadioGroup3->ItemIndex(), remember ? 0 : 1);
        QCOMPARE(prompts_.errors.size(), 2 * errors.size());
    }

    void errorBoxDoesNotComeBack() {
        // An error box that takes the focus and gives it back, as the program's own does.
        struct FocusTakingPrompts : testsupport::ScriptedPrompts {
            QWidget errorBox;
            void showError(QWidget* parent, const QString& text) override {
                ScriptedPrompts::showError(parent, text);
                // Like the modal box, wait in a nested loop until it has had the focus.
                errorBox.show();
                if (!QTest::qWaitForWindowActive(&errorBox))
                    ScriptedPrompts::showError(parent, QStringLiteral("error box never active"));
                errorBox.hide();
            }
        };
        struct Reinstall {
            Prompts* p;
            ~Reinstall() { Prompts::install(p); }
        } reinstall{&prompts_};
        writeClasses(Header + "[HKEY_CLASSES_ROOT\\.m3u]\n@=hex:01\n");
        FocusTakingPrompts prompts;
        bool remember = false;
        TOptionsBox box(nullptr, remember, {});
        box.show();
        QTRY_COMPARE(prompts.errors.size(), 1);
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        QCOMPARE(prompts.errors, QStringList{"Invalid data type for ''"});
    }

    void apply_data() {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QStringList>("errors");

        const QStringList none;
        QTest::newRow("include both with type T")
            << Header + TypeT + OpenVerb + OurVerb << QList<int>{0, 0, 0}
            << Header + TypeT + ShellNew + OpenVerb +
                   "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell]\n@=\"C&adrell\"\n\n"
                   "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell\\command]\n@=\"%PROG% \\\"%1\\\"\"\n\n"
                   "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell\\extra]\n\n"
            << none;
        QTest::newRow("remove both with type T")
            << Header + TypeT + OpenVerb + OurVerb + ShellNew << QList<int>{1, 1, 1}
            << Header + TypeT + "[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\n" + OpenVerb << none;
        QTest::newRow("include without type name")
            << QByteArray() << QList<int>{0, 1, 1}
            << Header +
                   "[HKEY_CLASSES_ROOT\\.m3u]\n\n[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\n"
                   "[HKEY_CLASSES_ROOT\\shell]\n\n"
                   "[HKEY_CLASSES_ROOT\\shell\\Cadrell]\n@=\"C&adrell\"\n\n"
                   "[HKEY_CLASSES_ROOT\\shell\\Cadrell\\command]\n@=\"%PROG% \\\"%1\\\"\"\n\n"
            << none;
        QTest::newRow("remove when nothing registered")
            << QByteArray() << QList<int>{1, 1, 0}
            << Header + "[HKEY_CLASSES_ROOT\\.m3u]\n\n[HKEY_CLASSES_ROOT\\.m3u\\shellnew]\n\n"
            << none;
        QTest::newRow("type name not a string")
            << Header + "[HKEY_CLASSES_ROOT\\.m3u]\n@=dword:00000001\n\n"
            << QList<int>{0, 0, 0} << Header + "[HKEY_CLASSES_ROOT\\.m3u]\n@=dword:00000001\n\n"
            << QStringList{"Invalid data type for ''"};
    }

    void apply() {
        QFETCH(QByteArray, registry);
        QFETCH(QList<int>, choices);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, errors);
        if (!registry.isEmpty())
            writeClasses(registry);

        bool remember = choices[2] != 0;
        TOptionsBox box(nullptr, remember, {});
        showActive(box);
        prompts_.errors.clear();
        choose(box, choices);
        QTest::mouseClick(box.ButtonOK, Qt::LeftButton);

        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
        QCOMPARE(remember, choices[2] == 0);
        QCOMPARE(prompts_.errors, errors);
        QCOMPARE(testsupport::readFile(classesFile()), withProgram(expected));
    }

    void closingWithoutOkChangesNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "close";
    }

    void closingWithoutOkChangesNothing() {
        QFETCH(QString, how);
        writeClasses(Header + TypeT + OpenVerb + OurVerb + ShellNew);
        const QByteArray before = testsupport::readFile(classesFile());
        bool remember = true;
        TOptionsBox box(nullptr, remember, {});
        showActive(box);
        QCOMPARE(groups(box), QList<int>({0, 0, 0}));
        choose(box, {1, 1, 1});
        if (how == QLatin1String("Cancel"))
            QTest::mouseClick(box.ButtonCancel, Qt::LeftButton);
        else if (how == QLatin1String("Esc"))
            QTest::keyClick(&box, Qt::Key_Escape);
        else
            box.close();
        QCOMPARE(box.result(), int(QDialog::Rejected));
        QVERIFY(!box.isVisible());
        QVERIFY(remember);
        QCOMPARE(testsupport::readFile(classesFile()), before);
        QVERIFY(!QFileInfo::exists(DesktopEntryPath()));
    }

    void helpKeepsDialogOpen() {
        bool remember = false;
        int helpRuns = 0;
        TOptionsBox box(nullptr, remember, [&] { ++helpRuns; });
        showActive(box);
        choose(box, {0, 0, 0});
        QTest::mouseClick(box.ButtonHelp, Qt::LeftButton);
        QCOMPARE(helpRuns, 1);
        QVERIFY(box.isVisible());
        QCOMPARE(groups(box), QList<int>({0, 0, 0}));
        QVERIFY(!remember);
        QVERIFY(!QFileInfo::exists(classesFile()) ||
                !testsupport::readFile(classesFile()).contains("Cadrell"));
    }

    void readOnlyRegistryStillClosesWithOk() {
        writeClasses(Header + TypeT + OpenVerb + OurVerb);
        const QByteArray before = testsupport::readFile(classesFile());
        QVERIFY(QFile::setPermissions(classesFile(), QFileDevice::ReadOwner));
        bool remember = false;
        TOptionsBox box(nullptr, remember, {});
        showActive(box);
        choose(box, {0, 0, 0});
        QTest::mouseClick(box.ButtonOK, Qt::LeftButton);
        QCOMPARE(prompts_.errors, QStringList{"Failed to set data for ''"});
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(remember);
        QCOMPARE(testsupport::readFile(classesFile()), before);
    }

    void desktopFollowsChoices() {
        bool remember = false;
        {
            TOptionsBox box(nullptr, remember, {});
            showActive(box);
            choose(box, {0, 0, 1});
            QTest::mouseClick(box.ButtonOK, Qt::LeftButton);
        }
        const QByteArray entry = testsupport::readFile(DesktopEntryPath());
        QCOMPARE(desktopKey(entry, "Name"), QStringLiteral("Cadrell"));
        QCOMPARE(desktopKey(entry, "Type"), QStringLiteral("Application"));
        QCOMPARE(desktopKey(entry, "MimeType"),
                 QStringLiteral("audio/x-mpegurl;audio/mpegurl;application/vnd.apple.mpegurl;"
                                "application/x-mpegurl;"));
        QCOMPARE(
            desktopKey(entry, "Exec"),
            QLatin1Char('"') + QCoreApplication::applicationFilePath() + QStringLiteral("\" %f"));
        QCOMPARE(desktopKey(entry, "Icon"), QString::fromLatin1(DesktopId));
        QVERIFY(QFileInfo::exists(qEnvironmentVariable("XDG_DATA_HOME") +
                                  "/icons/hicolor/scalable/apps/" + DesktopId + ".svg"));
        QCOMPARE(TemplatePath(), QDir::homePath() + QStringLiteral("/Templates/Playlist.m3u"));
        QCOMPARE(testsupport::readFile(TemplatePath()), QByteArray());
        QCOMPARE(testsupport::readFile(TemplatePath(".m3u8")), QByteArray());

        // A template the user has written into stays when the New-menu entry goes.
        testsupport::writeFile(QStringLiteral("Templates/Playlist.m3u"), "#EXTM3U\r\n");
        {
            TOptionsBox box(nullptr, remember, {});
            showActive(box);
            choose(box, {1, 1, 1});
            QTest::mouseClick(box.ButtonOK, Qt::LeftButton);
        }
        QVERIFY(!QFileInfo::exists(DesktopEntryPath()));
        QCOMPARE(testsupport::readFile(TemplatePath()), QByteArray("#EXTM3U\r\n"));

        // An untouched template goes with the entry.
        ApplyShellOptions(false, true, QStringLiteral("/x"));
        QFile::remove(TemplatePath());
        ApplyShellOptions(false, true, QStringLiteral("/x"));
        QVERIFY(QFileInfo::exists(TemplatePath()));
        ApplyShellOptions(false, false, QStringLiteral("/x"));
        QVERIFY(!QFileInfo::exists(TemplatePath()));
    }

    void execRunsProgramAtOddPath_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("spaces") << "My Programs/Cadrell 2";
        QTest::newRow("quotes and dollar") << "say \"hi\" $HOME `x`";
        QTest::newRow("backslash") << "back\\slash\\";
        QTest::newRow("apostrophe and umlaut") << "it's \xc3\xbc";
    }

    void execRunsProgramAtOddPath() {
        QFETCH(QString, folder);
        const QString program = testsupport::writeFile(
            folder + QStringLiteral("/cadrell"),
            "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$(dirname \"$0\")/ran\"\n");
        QFile::setPermissions(
            program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ApplyShellOptions(true, false, program);

        // Run the Exec line as a launcher would: string escapes first, then the field code.
        const QString exec =
            unescapeValue(desktopKey(testsupport::readFile(DesktopEntryPath()), "Exec"));
        const QString playlist = testsupport::homeDir() + QStringLiteral("/a list's name.m3u");
        QString command;
        for (qsizetype i = 0; i < exec.size(); ++i) {
            if (exec[i] == QLatin1Char('%') && i + 1 < exec.size()) {
                const QChar code = exec[++i];
                if (code == QLatin1Char('f'))
                    command +=
                        QStringLiteral("'") +
                        QString(playlist).replace(QStringLiteral("'"), QStringLiteral("'\\''")) +
                        QStringLiteral("'");
                else
                    command += code;
            } else {
                command += exec[i];
            }
        }
        QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}), 0);
        QCOMPARE(QString::fromUtf8(testsupport::readFile(QFileInfo(program).absolutePath() +
                                                         QStringLiteral("/ran"))),
                 QStringLiteral("1\n") + playlist + QLatin1Char('\n'));
    }

    void execFromHandWrittenCommand_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("exec");
        QTest::newRow("quoted program, bare argument")
            << QByteArray("\\\"/opt/x/cadrell\\\" %1") << "\"/opt/x/cadrell\" %f";
        QTest::newRow("quoted program, quoted argument")
            << QByteArray("\\\"/opt/x/cadrell\\\" \\\"%1\\\"") << "\"/opt/x/cadrell\" %f";
        QTest::newRow("bare first word")
            << QByteArray("/opt/x/cadrell %1") << "\"/opt/x/cadrell\" %f";
        QTest::newRow("as written here, with a space")
            << QByteArray("/opt/my x/cadrell \\\"%1\\\"") << "\"/opt/my x/cadrell\" %f";
    }

    void execFromHandWrittenCommand() {
        QFETCH(QByteArray, command);
        QFETCH(QString, exec);
        writeClasses(Header + TypeT + "[HKEY_CLASSES_ROOT\\T\\shell\\Cadrell\\command]\n@=\"" +
                     command + "\"\n");
        SyncDesktopIntegration();
        QCOMPARE(desktopKey(testsupport::readFile(DesktopEntryPath()), "Exec"), exec);
    }

    void pathNoEntryCanCarry_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("reason");
        QTest::newRow("percent") << "/opt/100%f/cadrell"
                                 << "its path holds a \"%\" sign.";
        QTest::newRow("control character") << "/opt/a\nb/cadrell"
                                           << "its path holds a control character.";
        QTest::newRow("not UTF-8")
            << QFile::decodeName("/opt/\xff/cadrell") << "its path is not valid UTF-8.";
    }

    void pathNoEntryCanCarry() {
        QFETCH(QString, program);
        QFETCH(QString, reason);
        writeClasses(Header + TypeT);
        QString error;
        try {
            ApplyShellOptions(true, true, program);
        } catch (const Error& e) {
            error = e.text();
        }
        QVERIFY2(error.endsWith(reason), qPrintable(error));
        QVERIFY(!QFileInfo::exists(DesktopEntryPath()));
        QVERIFY(!ContextMenuCommandExists("T"));
        // The rest of the choices still hold.
        QVERIFY(NewMenuEntryExists());
    }

    void doNotIncludeHidesInstalledEntry() {
        if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
            QSKIP("needs gio (libglib2.0-bin) and update-desktop-database (desktop-file-utils)");
        const QString apps = systemData() + QStringLiteral("/applications");
        QDir().mkpath(apps);
        QVERIFY(QFile::copy(QStringLiteral(CADRELL_SOURCE_DIR "/resources/") + DesktopId +
                                QStringLiteral(".desktop"),
                            apps + QLatin1Char('/') + DesktopId + QStringLiteral(".desktop")));
        QCOMPARE(QProcess::execute(QStringLiteral("update-desktop-database"), {apps}), 0);
        QCOMPARE(offeredByGio(), QStringLiteral("offered"));

        // Installed and never chosen, the dialog shows what the desktop does; then each choice.
        int shown = 0;
        for (int choice : {1, 1, 0, 1}) {
            bool remember = false;
            TOptionsBox box(nullptr, remember, {});
            showActive(box);
            QCOMPARE(box.RadioGroup1->ItemIndex(), shown);
            choose(box, {choice, 1, 1});
            QTest::mouseClick(box.ButtonOK, Qt::LeftButton);
            QCOMPARE(prompts_.errors, QStringList());
            QTRY_COMPARE(offeredByGio(),
                         choice == 0 ? QStringLiteral("offered") : QStringLiteral("not offered"));
            shown = choice;
        }
    }

    void desktopDatabaseRefreshRunsAside() {
        // A refresh that takes as long as the test wants: it starts, then waits to be let go.
        const QString bin = testsupport::homeDir() + QStringLiteral("/slowbin");
        const QString tool = testsupport::writeFile(
            QStringLiteral("slowbin/update-desktop-database"),
            "#!/bin/sh\ncd \"$(dirname \"$0\")\"\ntouch started\n"
            "i=0; while [ ! -e go ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
            "touch finished\n");
        QFile::setPermissions(tool, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        ApplyShellOptions(true, false, QStringLiteral("/opt/x/cadrell"));
        qputenv("PATH", path);
        // Back from the call while the refresh still waits.
        QTRY_VERIFY(QFileInfo::exists(bin + QStringLiteral("/started")));
        QVERIFY(!QFileInfo::exists(bin + QStringLiteral("/finished")));
        testsupport::writeFile(QStringLiteral("slowbin/go"), "");
        QTRY_VERIFY(QFileInfo::exists(bin + QStringLiteral("/finished")));
        // Nothing of it is left for this process to reap.
        QTRY_COMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
    }

    void templatesFolder_data() {
        QTest::addColumn<QByteArray>("userDirs");
        QTest::addColumn<QString>("folder");
        const QString home = QDir::homePath();
        QTest::newRow("no user-dirs file") << QByteArray() << home + "/Templates";
        QTest::newRow("relative to home") << QByteArray(
                                                 "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                 "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n")
                                          << home + "/Vorlagen";
        QTest::newRow("absolute") << QByteArray("XDG_TEMPLATES_DIR=\"/srv/templates/\"\n")
                                  << "/srv/templates";
        QTest::newRow("disabled") << QByteArray("XDG_TEMPLATES_DIR=\"$HOME/\"\n") << QString();
        QTest::newRow("another variable")
            << QByteArray("XDG_TEMPLATES_DIR=\"$HOMEfoo/T\"\n") << home + "/Templates";
    }

    void templatesFolder() {
        QFETCH(QByteArray, userDirs);
        QFETCH(QString, folder);
        const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
        if (!userDirs.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(userDirs);
        }
        const QString got = TemplatesFolder();
        QFile::remove(file);
        QCOMPARE(got, folder);
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
