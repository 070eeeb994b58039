#include <QtTest>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "core/recovery/DocumentJournal.h"
#include "core/recovery/JournalWriter.h"
#include "core/recovery/Recovery.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/RecoverDialog.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"

using namespace cadrell;
using testsupport::ScriptedPrompts;
using Lines = std::vector<QByteArray>;

namespace {

std::vector<FoundJournal> someJournals() {
    std::vector<FoundJournal> j(3);
    j[0].state = JournalContents::State::Ok;
    j[0].start.untitled = false;
    j[0].start.fileName = "/music/a.m3u";
    j[0].way = FoundJournal::Way::AsFile;
    j[0].steps = 4;
    j[0].lastChangeMs = 1700000000000;
    j[1].state = JournalContents::State::Ok;
    j[1].way = FoundJournal::Way::Impossible;
    j[1].why = QStringLiteral("It cannot be recovered: too large.");
    j[2].state = JournalContents::State::NewerVersion;
    j[2].why = QStringLiteral("It was written by a newer version.");
    return j;
}

// A journal left behind by a program that is gone: this process's journal, copied where no
// lock holds it.
QString leaveOrphan(const QByteArray& fileName, const QStringList& script, Lines* screen) {
    PlaylistDocument doc;
    doc.FileName = fileName;
    LoadPlaylist(doc);
    const QString folder = RecoveryFolder();
    DocumentJournal journal(doc, folder);
    for (const QString& step : script) {
        if (step == "undo") {
            doc.undo();
        } else {
            EntryList t;
            t.append(step.toUtf8());
            doc.perform(Change::insertAt(0, t), QStringLiteral("Type"));
        }
    }
    JournalWriter::instance().waitIdle(10000);
    const QString orphan = folder + "/99-1-1.journal";
    QFile::copy(journal.path(), orphan);
    *screen = doc.Entries().toVector();
    return orphan;
}

}  // namespace

class TestRecover : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QDir(RecoveryFolder()).removeRecursively();
        QDir().mkpath(RecoveryFolder());
    }

    void everyControlIsNamedAndReachable() {
        RecoverDialog dialog(someJournals(), QStringLiteral("/state/recovery"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Recover Unsaved Changes"));
        QCOMPARE(dialog.List->topLevelItemCount(), 3);
        QCOMPARE(dialog.List->accessibleName(), QStringLiteral("Unsaved playlists"));
        QCOMPARE(dialog.Folder->text(), QStringLiteral("/state/recovery"));
        QVERIFY(dialog.Folder->isReadOnly());
        QVERIFY(!dialog.Folder->accessibleName().isEmpty());
        for (QPushButton* b : {dialog.ButtonRecover, dialog.ButtonDiscard, dialog.ButtonLater}) {
            QVERIFY(b->text().contains('&'));
            QCOMPARE(b->accessibleName(), QString(b->text()).remove('&'));
        }
        // Only what can be brought back starts checked; a newer version's journal is not ours.
        QCOMPARE(dialog.chosen(), std::vector<int>{0});
        QVERIFY(dialog.List->topLevelItem(1)->flags() & Qt::ItemIsUserCheckable);
        QVERIFY(!(dialog.List->topLevelItem(2)->flags() & Qt::ItemIsUserCheckable));
        QVERIFY(dialog.List->topLevelItem(1)->text(3).contains("too large"));
        QCOMPARE(dialog.List->topLevelItem(0)->text(2), QStringLiteral("4"));
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("choice");
        QTest::newRow("Alt+R") << int(Qt::Key_R) << int(Qt::AltModifier)
                               << int(RecoverDialog::Choice::Recover);
        QTest::newRow("Alt+D") << int(Qt::Key_D) << int(Qt::AltModifier)
                               << int(RecoverDialog::Choice::Discard);
        QTest::newRow("Alt+L") << int(Qt::Key_L) << int(Qt::AltModifier)
                               << int(RecoverDialog::Choice::Later);
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << int(RecoverDialog::Choice::Later);
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, choice);
        RecoverDialog dialog(someJournals(), QString());
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(int(dialog.choice()), choice);
    }

    void startOffersWhatWasLeft_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QStringList>("script");
        QTest::newRow("recover") << int(RecoverDialog::Choice::Recover)
                                 << QStringList{"x.mp3", "y.mp3", "undo", "z.mp3"};
        QTest::newRow("discard") << int(RecoverDialog::Choice::Discard) << QStringList{"x.mp3"};
        QTest::newRow("later") << int(RecoverDialog::Choice::Later) << QStringList{"x.mp3"};
    }
    void startOffersWhatWasLeft() {
        QFETCH(int, choice);
        QFETCH(QStringList, script);
        const QByteArray file = QFile::encodeName(testsupport::writeFile("left.m3u", "a\r\nb\r\n"));
        Lines screen;
        const QString orphan = leaveOrphan(file, script, &screen);
        QVERIFY(QFileInfo::exists(orphan));
        ScriptedPrompts prompts;
        int offered = 0;
        prompts.dialogs.push_back([&](QDialog& dialog) {
            auto& recover = static_cast<RecoverDialog&>(dialog);
            offered = recover.List->topLevelItemCount();
            QPushButton* b = choice == int(RecoverDialog::Choice::Recover)   ? recover.ButtonRecover
                             : choice == int(RecoverDialog::Choice::Discard) ? recover.ButtonDiscard
                                                                             : recover.ButtonLater;
            b->click();
            return dialog.result();
        });
        auto frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
        frame->show();
        QTRY_COMPARE(offered, 1);
        if (choice == int(RecoverDialog::Choice::Recover)) {
            QTRY_COMPARE(frame->DocumentWindows().size(), 1);
            TMDIChild* child = frame->DocumentWindows().first();
            QCOMPARE(child->Document.FileName, file);
            QCOMPARE(child->Document.Entries().toVector(), screen);
            QVERIFY(child->Document.Modified());
            // Undo goes back to the file as it is on disk.
            child->Document.undo();
            QCOMPARE(child->Document.Entries().toVector(), (Lines{"a", "b"}));
            child->Document.redo();
        }
        QVERIFY(JournalWriter::instance().waitIdle(10000));
        QCOMPARE(QFileInfo::exists(orphan), choice == int(RecoverDialog::Choice::Later));
        for (TMDIChild* c : frame->DocumentWindows())
            c->setCloseApproved(true);
        frame.reset();
        QVERIFY(JournalWriter::instance().waitIdle(10000));
        // The recovered window's own journal went with it.
        QCOMPARE(QDir(RecoveryFolder()).entryList(QDir::Files).size(),
                 choice == int(RecoverDialog::Choice::Later) ? 1 : 0);
        QCOMPARE(prompts.unexpected, 0);
    }
};

QTEST_MAIN(TestRecover)
#include "tst_recover.moc"
