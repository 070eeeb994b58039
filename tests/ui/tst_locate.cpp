#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestSupport.h"
#include "ui/dialogs/LocateDialog.h"
#include "ui/dialogs/LocateModel.h"
#include "ui/frame/Main.h"
#include "ui/frame/StatusBar.h"
#include "ui/playlist/Childwin.h"

using namespace cadrell;
using testsupport::ScriptedPrompts;
using testsupport::writeFile;

namespace {

QByteArray joined(const PlaylistDocument& doc) {
    const std::vector<QByteArray> all = doc.Entries().toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

// Rows "/gone/<k>.mp3", each proposed "/found/<k>.mp3" unless its letter in `proposed` is '-';
// 't' starts ticked. A row also has two other candidates.
struct Made {
    EntryList entries;
    LocateResult result;
};
Made made(const QByteArray& proposed) {
    Made m;
    for (qsizetype k = 0; k < proposed.size(); ++k) {
        const QByteArray name = QByteArray::number(k) + ".mp3";
        m.entries.append("/gone/" + name);
        LocateRow row;
        row.row = static_cast<int>(k);
        row.entry = "/gone/" + name;
        if (proposed[k] != '-') {
            row.proposal = "/found/" + name;
            row.replacement = row.proposal;
            row.reason = LocateReason::SameName;
        }
        row.candidates = {"/found/" + name, "/other/" + name, "/other/Säge " + name};
        row.ticked = proposed[k] == 't';
        row.note = LocateReasonText(row.reason);
        m.result.rows.push_back(row);
    }
    return m;
}

QByteArray ticks(const LocateDialog& d) {
    QByteArray out;
    for (const LocateRow& r : d.result().rows)
        out += r.proposal.isEmpty() ? '-' : r.ticked ? 't' : 'o';
    return out;
}

}  // namespace

// A music folder moved and renamed: found in one pass, applied as one step.
class TestLocate : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<TCadrellMainForm> frame;

private slots:
    void init() {
        prompts = std::make_unique<ScriptedPrompts>();
        frame = std::make_unique<TCadrellMainForm>(QByteArray(), false);
    }
    void cleanup() {
        for (TMDIChild* w : frame->DocumentWindows())
            w->Document.markClean();
        frame.reset();
        const int unexpected = prompts->unexpected;
        prompts.reset();
        QCOMPARE(unexpected, 0);
    }

    void movedFolderRepairedInOnePass() {
        const QString home = testsupport::homeDir();
        writeFile(QStringLiteral("new place/music/Album/01 One.mp3"), "1");
        writeFile(QStringLiteral("new place/music/Album/02 Two.mp3"), "2");
        writeFile(QStringLiteral("new place/music/Other/03 Three.mp3"), "3");
        const QString list =
            writeFile(QStringLiteral("lists/road.m3u"),
                      "#EXTM3U\n#EXTINF:1,One\n/gone/Music/Album/01 One.mp3\n"
                      "C:\\Music\\Album\\02 Two.mp3\n../Music/Other/03 Three.mp3\nhttp://r/s\n");
        frame->OpenPlaylist(QFile::encodeName(list));
        TMDIChild* window = frame->ActiveDocumentWindow();
        int rows = -1;
        QStringList reasons;
        prompts->dialogs.push_back([&](QDialog& dialog) {
            auto* d = qobject_cast<LocateDialog*>(&dialog);
            if (!d)
                return int(QDialog::Rejected);
            // The playlist's own folder is offered first.
            if (d->folders->count() < 1 || !d->folders->item(0)->text().endsWith("/lists"))
                return int(QDialog::Rejected);
            d->folders->clear();
            d->folders->addItem(home + QStringLiteral("/new place"));
            d->search();
            if (!QTest::qWaitFor([d] { return !d->searching(); }, 20000))
                return int(QDialog::Rejected);
            rows = d->model->rowCount();
            for (int r = 0; r < rows; ++r)
                reasons << d->model->index(r, LocateModel::ReasonColumn).data().toString();
            return int(QDialog::Accepted);
        });
        window->MenuLocateMissing->trigger();
        QCOMPARE(prompts->errors, QStringList());
        QCOMPARE(rows, 3);
        const QByteArray base = QFile::encodeName(home);
        QCOMPARE(joined(window->Document),
                 "#EXTM3U|#EXTINF:1,One|" + base + "/new place/music/Album/01 One.mp3|" + base +
                     "/new place/music/Album/02 Two.mp3|../new place/music/Other/03 "
                     "Three.mp3|http://r/s");
        QCOMPARE(window->Document.history().undoText(), QStringLiteral("Locate Missing Files"));
        QCOMPARE(frame->frameStatusBar()->currentMessage(), QStringLiteral("3 entries changed"));
        window->MenuUndo->trigger();
        QVERIFY(joined(window->Document).contains("/gone/Music/Album/01 One.mp3"));
    }

    void cancelLeavesTheDocument() {
        const QString list = writeFile(QStringLiteral("lists/c.m3u"), "/gone/a.mp3\n");
        frame->OpenPlaylist(QFile::encodeName(list));
        TMDIChild* window = frame->ActiveDocumentWindow();
        prompts->dialogs.push_back([](QDialog&) { return int(QDialog::Rejected); });
        window->MenuLocateMissing->trigger();
        QCOMPARE(joined(window->Document), QByteArray("/gone/a.mp3"));
        QVERIFY(!window->Document.Modified());
    }

    // Space ticks the selected rows, or unticks them when all were ticked; the buttons tick and
    // untick every row that has a proposal. Apply takes exactly the ticked rows.
    void ticking_data() {
        QTest::addColumn<QByteArray>("start");  // 't' ticked, 'o' unticked, '-' nothing proposed
        QTest::addColumn<QString>("keys");      // "3-5 " selects rows 3 to 5, then Space
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("space ticks a mixed selection")
            << QByteArray("toto-o") << "0-3 " << QByteArray("tttt-o");
        QTest::newRow("space unticks when all were ticked") << QByteArray("ttto") << "0-2 "
                                                            << QByteArray(
                                                                   "ooo"
                                                                   "o");
        QTest::newRow("rows with nothing proposed take no tick")
            << QByteArray("o--o") << "0-3 " << QByteArray("t--t");
        QTest::newRow("twice is back") << QByteArray("oto") << "0-2 0-2 " << QByteArray("ooo");
        QTest::newRow("tick all") << QByteArray("o-ot") << "all" << QByteArray("t-tt");
        QTest::newRow("untick all") << QByteArray("t-ot") << "none" << QByteArray("o-oo");
    }
    void ticking() {
        QFETCH(QByteArray, start);
        QFETCH(QString, keys);
        QFETCH(QByteArray, expected);
        Made m = made(start);
        LocateDialog d(nullptr, m.entries, {}, "/lists", TextEncoding::Utf8, {});
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.showResult(m.result);
        if (keys == "all") {
            QTest::keyClick(d.table, 't', Qt::AltModifier);
        } else if (keys == "none") {
            QTest::keyClick(d.table, 'n', Qt::AltModifier);
        } else {
            for (const QString& step : keys.split(' ', Qt::SkipEmptyParts)) {
                const QStringList ends = step.split('-');
                d.table->clearSelection();
                d.table->selectionModel()->select(
                    QItemSelection(d.model->index(ends[0].toInt(), 0),
                                   d.model->index(ends[1].toInt(), LocateModel::ReasonColumn)),
                    QItemSelectionModel::Select);
                QTest::keyClick(d.table, Qt::Key_Space);
            }
        }
        // A button's letter presses it as a click would be seen: after a short while.
        QTRY_COMPARE(ticks(d), expected);
        const qsizetype ticked = expected.count('t');
        QCOMPARE(d.model->tickedCount(), ticked);
        QVERIFY2(d.counts->text().contains(QStringLiteral("%1 ticked").arg(ticked)),
                 qPrintable(d.counts->text()));
        const EntryEdits edits = d.edits();
        QCOMPARE(static_cast<qsizetype>(edits.rows.size()), ticked);
        for (int row : edits.rows)
            QCOMPARE(expected[row], 't');
    }

    // Every control is reached by its own letter and has a name a screen reader says.
    void keyboardPaths() {
        LocateDialog d(nullptr, {}, {}, "/lists", TextEncoding::Utf8, {});
        d.show();
        QSet<QChar> letters;
        for (QWidget* w : d.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(w);
            const auto* button = qobject_cast<QAbstractButton*>(w);
            const QString caption = label ? label->text() : button ? button->text() : QString();
            const qsizetype amp = caption.indexOf('&');
            // The table's corner button is the view's own.
            if (button && button->parentWidget() != d.table)
                QVERIFY2(!button->accessibleName().isEmpty() || !caption.isEmpty(),
                         qPrintable(caption));
            if (amp < 0)
                continue;
            const QChar letter = caption.at(amp + 1).toLower();
            QVERIFY2(!letters.contains(letter), qPrintable(caption));
            letters.insert(letter);
        }
        QCOMPARE(letters.size(), 10);
        for (QWidget* w : {static_cast<QWidget*>(d.table), static_cast<QWidget*>(d.candidates),
                           static_cast<QWidget*>(d.folders)})
            QVERIFY(!w->accessibleName().isEmpty());
    }

    // Enter on another candidate makes it the row's proposal and only that: the dialog stays
    // open. A name the playlist's encoding cannot hold is refused with the reason.
    void enterTakesCandidate_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("candidate");
        QTest::addColumn<QByteArray>("proposal");
        QTest::addColumn<int>("errors");
        QTest::newRow("plain name")
            << int(TextEncoding::Utf8) << 1 << QByteArray("/other/1.mp3") << 0;
        QTest::newRow("accent in UTF-8")
            << int(TextEncoding::Utf8) << 2 << QByteArray("/other/Säge 1.mp3") << 0;
        QTest::newRow("accent in Windows-1252")
            << int(TextEncoding::Windows1252) << 2 << QByteArray("/other/Säge 1.mp3") << 0;
        QTest::newRow("name the encoding cannot hold")
            << int(TextEncoding::Windows1252) << 3 << QByteArray() << 1;
    }
    void enterTakesCandidate() {
        QFETCH(int, encoding);
        QFETCH(int, candidate);
        QFETCH(QByteArray, proposal);
        QFETCH(int, errors);
        Made m = made("o-");
        m.result.rows[1].candidates.push_back("/other/\xe6\x97\xa5 1.mp3");
        LocateDialog d(nullptr, m.entries, {}, "/lists", static_cast<TextEncoding>(encoding), {});
        d.show();
        d.showResult(m.result);
        d.table->setCurrentIndex(d.model->index(1, 0));
        QCOMPARE(d.candidates->count(), 4);
        d.candidates->setFocus();
        d.candidates->setCurrentRow(candidate);
        QTest::keyClick(d.candidates, Qt::Key_Return);
        QVERIFY(d.isVisible());
        QCOMPARE(d.QDialog::result(), 0);
        QCOMPARE(prompts->errors.size(), errors);
        const LocateRow& row = d.result().rows[1];
        QCOMPARE(row.proposal, proposal);
        QCOMPARE(row.ticked, !proposal.isEmpty());
        QCOMPARE(ticks(d), proposal.isEmpty() ? QByteArray("o-") : QByteArray("ot"));
        QCOMPARE(d.model->index(1, LocateModel::ProposalColumn).data().toString().toUtf8(),
                 proposal);
    }

    // Cancel stops a search at once, whatever it is doing; the document is not touched and a
    // second Cancel closes.
    void cancelAtOnce() {
        for (int i = 0; i < 300; ++i)
            writeFile(QStringLiteral("tree/f%1/a%2.mp3").arg(i % 30).arg(i), "");
        Made m = made("ooo");
        LocateDialog d(nullptr, m.entries, {0, 1, 2}, "/lists", TextEncoding::Utf8,
                       {testsupport::homeDir() + QStringLiteral("/tree")});
        d.show();
        for (int round = -1; round < 5; ++round) {
            d.search();
            QVERIFY(d.searching());
            // Round -1 cancels before the worker can answer at all; the others at whatever
            // moment the wait leaves it, unless it has already finished (then there is nothing
            // to cancel this round).
            if (round >= 0)
                QTest::qWait(round);
            if (!d.searching())
                continue;
            QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.searching());
            QVERIFY(d.isVisible());
            QCOMPARE(d.counts->text(), QStringLiteral("Cancelled"));
            QTest::qWait(50);
            QCOMPARE(d.model->rowCount(), 0);
        }
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
    }

    // The folders the user leaves in the list are offered again, after the playlist's own.
    void foldersRemembered() {
        const QString list = writeFile(QStringLiteral("lists/r.m3u"), "/gone/a.mp3\n");
        const QString elsewhere = testsupport::homeDir() + QStringLiteral("/elsewhere");
        frame->OpenPlaylist(QFile::encodeName(list));
        TMDIChild* window = frame->ActiveDocumentWindow();
        QStringList offered;
        prompts->dialogs.push_back([&](QDialog& dialog) {
            auto* d = qobject_cast<LocateDialog*>(&dialog);
            d->folders->clear();
            d->folders->addItems({elsewhere, QFileInfo(list).path()});
            return int(QDialog::Rejected);
        });
        prompts->dialogs.push_back([&](QDialog& dialog) {
            offered = qobject_cast<LocateDialog*>(&dialog)->searchFolders();
            return int(QDialog::Rejected);
        });
        window->MenuLocateMissing->trigger();
        window->MenuLocateMissing->trigger();
        // The playlist's own folder first again: it comes with the playlist, it is not kept.
        QCOMPARE(offered, QStringList({QFileInfo(list).path(), elsewhere}));
    }
};

QTEST_MAIN(TestLocate)
#include "tst_locate.moc"
