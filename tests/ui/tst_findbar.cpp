#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include "core/playlist/PlaylistDocument.h"
#include "testsupport/FakeHost.h"
#include "testsupport/PatternGate.h"
#include "testsupport/TestSupport.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistModel.h"

using namespace cadrell;
using testsupport::FakeHost;
using testsupport::PatternGate;
using S = QString;

namespace {

using Rows = QList<int>;

// A document window in miniature: the list over the document and the bar under it, with edits
// applied the way the window applies them, as one change of the document.
struct Window {
    PlaylistDocument doc;
    QWidget frame;
    PlaylistListView* view = new PlaylistListView(&frame);
    PlaylistModel model{&doc, nullptr};
    FindBar* bar;
    QStringList steps;

    explicit Window(const QByteArray& lines) {
        doc.edit([&](EntryList& e) {
            for (const QByteArray& line : lines.split('|'))
                e.append(line);
        });
        view->setModel(&model);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        bar = new FindBar(&doc, view, &frame);
        auto* layout = new QVBoxLayout(&frame);
        layout->addWidget(view);
        layout->addWidget(bar);
        bar->applyEdits = [this](EntryEdits edits, QString step) {
            steps << step;
            doc.edit([&](EntryList& e) {
                EntryList changed;
                size_t k = 0;
                for (qsizetype r = 0; r < e.size(); ++r) {
                    const bool edited = k < edits.rows.size() && edits.rows[k] == r;
                    changed.append(edited ? edits.texts.at(static_cast<qsizetype>(k++)) : e.at(r));
                }
                e = changed;
            });
        };
        frame.show();
    }

    template <class T = QLineEdit>
    T* field(const QString& name) const {
        for (T* f : bar->findChildren<T*>())
            if (f->accessibleName() == name)
                return f;
        return nullptr;
    }
    void search(const QString& text, bool matchCase = false, bool regex = false) {
        field<QCheckBox>("Match case")->setChecked(matchCase);
        field<QCheckBox>("Regular expression")->setChecked(regex);
        field("Find")->setText(text);
    }
    void select(const Rows& rows) {
        view->selectionModel()->clear();
        for (int r : rows)
            view->selectionModel()->select(model.index(r), QItemSelectionModel::Select);
    }
    Rows selected() const {
        const std::vector<int> rows = view->selectedPositions();
        return Rows(rows.begin(), rows.end());
    }
    QByteArray joined() const {
        const std::vector<QByteArray> all = doc.Entries().toVector();
        return QByteArrayList(all.begin(), all.end()).join('|');
    }
    // N Next, P Previous, A Select All, R Replace, L Replace All.
    void ask(const QString& keys) {
        for (QChar key : keys) {
            key == 'N'   ? bar->findNext()
            : key == 'P' ? bar->findPrevious()
            : key == 'A' ? bar->selectAll()
            : key == 'R' ? bar->replaceCurrent()
                         : bar->replaceAll();
        }
    }
    bool idle() const { return !bar->isCounting() && !bar->isReplacing() && !bar->isFinding(); }
};

const QByteArray kSongs = "a.mp3|B.mp3|c.ogg|ab.mp3|#EXTINF:1,Bee|d.flac";

}  // namespace

class TestFindBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void count_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("count");
        QTest::newRow("substring") << S("mp3") << false << false << -1 << "3 matches";
        QTest::newRow("position of the current row") << S("mp3") << false << false << 3 << "3 of 3";
        QTest::newRow("current row not a match") << S("mp3") << false << false << 2 << "3 matches";
        QTest::newRow("either case") << S("b") << false << false << -1 << "3 matches";
        QTest::newRow("case matched") << S("B.") << true << false << -1 << "1 match";
        QTest::newRow("regular expression") << S("^[ab]") << false << true << -1 << "3 matches";
        QTest::newRow("regular expression, case matched")
            << S("^[ab]") << true << true << 0 << "1 of 2";
        QTest::newRow("nothing") << S("zzz") << false << false << -1 << "No matches";
        QTest::newRow("invalid expression") << S("(mp3") << false << true << -1 << "error";
        QTest::newRow("empty text") << S("") << false << false << -1 << "";
    }
    void count() {
        QFETCH(QString, text);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        QFETCH(int, current);
        QFETCH(QString, count);
        Window w(kSongs);
        w.bar->showFind();
        if (current >= 0)
            w.view->setCurrentIndex(w.model.index(current));
        w.search(text, matchCase, regex);
        QTRY_VERIFY(!w.bar->isCounting());
        if (count == "error")
            count = QRegularExpression(text).errorString();
        QCOMPARE(w.bar->countText(), count);
    }

    // Each route is walked twice: straight after typing, when nothing is counted and each step
    // waits for the count, and again once the count is done.
    void nextPrevious_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("steps");  // N next, P previous
        QTest::addColumn<Rows>("visited");
        QTest::newRow("forward, wrapping") << S("mp3") << -1 << S("NNNN") << Rows{0, 1, 3, 0};
        QTest::newRow("backward, wrapping") << S("mp3") << -1 << S("PPPP") << Rows{3, 1, 0, 3};
        QTest::newRow("from a row between matches") << S("mp3") << 2 << S("NPP") << Rows{3, 1, 0};
        QTest::newRow("back and forth") << S("bee") << 5 << S("NPN") << Rows{4, 4, 4};
        QTest::newRow("from the last row") << S("flac") << 5 << S("NP") << Rows{5, 5};
        QTest::newRow("nothing found keeps the row") << S("zzz") << 2 << S("NP") << Rows{2, 2};
    }
    void nextPrevious() {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(QString, steps);
        QFETCH(Rows, visited);
        Window w(kSongs);
        w.bar->showFind();
        for (bool counted : {false, true}) {
            w.search(text);
            if (counted)
                QTRY_VERIFY(!w.bar->isCounting());
            else
                QVERIFY(w.bar->isCounting());
            w.view->setCurrentIndex(start >= 0 ? w.model.index(start) : QModelIndex());
            Rows rows;
            for (QChar step : steps) {
                w.ask(step);
                QTRY_VERIFY(!w.bar->isFinding());
                rows << w.view->currentIndex().row();
            }
            QCOMPARE(rows, visited);
            w.search(QString());
        }
    }

    void replace_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QString>("with");
        QTest::addColumn<Rows>("selected");  // the current row is the first one
        QTest::addColumn<bool>("all");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("currentAfter");

        const QByteArray music = "/home/old/Music/a.mp3|/srv/b.mp3|/home/old/Music/x/c.mp3";
        QTest::newRow("all, a moved folder")
            << music << "/home/old/Music" << false << "/mnt/music" << Rows{} << true
            << QByteArray("/mnt/music/a.mp3|/srv/b.mp3|/mnt/music/x/c.mp3") << "2 entries changed"
            << -1;
        QTest::newRow("all, one row selected is every row")
            << music << "/home/old/music" << false << "/mnt/music" << Rows{1} << true
            << QByteArray("/mnt/music/a.mp3|/srv/b.mp3|/mnt/music/x/c.mp3") << "2 entries changed"
            << -1;
        QTest::newRow("all, in the selected rows only")
            << music << "/home/old/Music" << false << "/mnt" << Rows{1, 2} << true
            << QByteArray("/home/old/Music/a.mp3|/srv/b.mp3|/mnt/x/c.mp3") << "1 entry changed"
            << -1;
        QTest::newRow("all, capture groups both ways")
            << QByteArray("01 Alpha.mp3|x.ogg|02 Beta.mp3") << "^(\\d+) (\\w+)" << true
            << "\\2 - $1" << Rows{} << true << QByteArray("Alpha - 01.mp3|x.ogg|Beta - 02.mp3")
            << "2 entries changed" << -1;
        QTest::newRow("all, no match") << music << "nothing" << false << "x" << Rows{} << true
                                       << music << "No entries changed" << -1;
        QTest::newRow("one, on a match: replaced, then the next")
            << music << "/home/old/Music" << false << "/mnt" << Rows{0} << false
            << QByteArray("/mnt/a.mp3|/srv/b.mp3|/home/old/Music/x/c.mp3") << "1 entry changed"
            << 2;
        QTest::newRow("one, off a match: only moves to it")
            << music << "/home/old/Music" << false << "/mnt" << Rows{1} << false << music << ""
            << 2;
        QTest::newRow("one, groups")
            << QByteArray("x.ogg|01 Alpha.mp3") << "^(\\d+) " << true << "\\1. " << Rows{1} << false
            << QByteArray("x.ogg|01. Alpha.mp3") << "1 entry changed" << 1;
    }
    void replace() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, text);
        QFETCH(bool, regex);
        QFETCH(QString, with);
        QFETCH(Rows, selected);
        QFETCH(bool, all);
        QFETCH(QByteArray, after);
        QFETCH(QString, message);
        QFETCH(int, currentAfter);
        Window w(lines);
        w.bar->showReplace();
        w.search(text, false, regex);
        w.field("Replace with")->setText(with);
        w.select(selected);
        if (!selected.isEmpty())
            w.view->selectionModel()->setCurrentIndex(w.model.index(selected.front()),
                                                      QItemSelectionModel::NoUpdate);
        QSignalSpy messages(w.bar, &FindBar::message);
        all ? w.bar->replaceAll() : w.bar->replaceCurrent();
        QTRY_VERIFY(!w.bar->isReplacing() && !w.bar->isFinding());
        QCOMPARE(w.joined(), after);
        const bool changed = after != lines;
        QCOMPARE(w.steps, changed ? QStringList(all ? "Replace All" : "Replace") : QStringList());
        QCOMPARE(messages.isEmpty() ? QString() : messages.first().at(0).toString(), message);
        if (currentAfter >= 0)
            QCOMPARE(w.view->currentIndex().row(), currentAfter);
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<bool>("open");
        QTest::newRow("Esc closes")
            << int(Qt::Key_Escape) << int(Qt::NoModifier) << Rows{1} << false;
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << Rows{3} << true;
        QTest::newRow("Shift+Enter")
            << int(Qt::Key_Return) << int(Qt::ShiftModifier) << Rows{0} << true;
        QTest::newRow("F3") << int(Qt::Key_F3) << int(Qt::NoModifier) << Rows{3} << true;
        QTest::newRow("Alt+Enter")
            << int(Qt::Key_Enter) << int(Qt::AltModifier) << Rows{0, 1, 3} << true;
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(Rows, selected);
        QFETCH(bool, open);
        Window w(kSongs);
        QVERIFY(QTest::qWaitForWindowActive(&w.frame));
        w.view->setCurrentIndex(w.model.index(1));
        w.bar->showFind();
        w.field("Find")->setText("mp3");
        QTRY_VERIFY(!w.bar->isCounting());
        QTest::keyClick(w.field("Find"), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.selected(), selected);
        QCOMPARE(w.bar->isVisible(), open);
    }

    // A count over many rows arrives through the event loop, selects its rows when asked to
    // before it is done, and follows later changes of the document; Replace All over the same
    // rows comes in one step.
    void largeDocument() {
        constexpr int kRows = 300000;
        QByteArray lines;
        lines.reserve(kRows * 20);
        for (int i = 0; i < kRows; ++i) {
            if (i)
                lines += '|';
            lines += i % 3 ? "/srv/other/" : "/home/old/Music/";
            lines += QByteArray::number(i);
        }
        Window w(lines);
        w.bar->showReplace();
        w.search("/HOME/old/");
        // Select All asked for before the count is done follows when it is.
        w.bar->selectAll();
        QTRY_COMPARE_WITH_TIMEOUT(w.bar->countText(), QString("1 of 100,000"), 60000);
        QCOMPARE(w.view->selectedPositions().size(), size_t(kRows / 3));
        w.doc.edit([](EntryList& e) { e.append("/home/old/new.mp3"); });
        QTRY_COMPARE_WITH_TIMEOUT(w.bar->countText(), QString("100,001 matches"), 60000);

        QSignalSpy messages(w.bar, &FindBar::message);
        w.field("Replace with")->setText("/mnt/");
        w.bar->replaceAll();
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 60000);
        QCOMPARE(messages.first().at(0).toString(), QString("100,001 entries changed"));
        QCOMPARE(w.steps, QStringList("Replace All"));
        QCOMPARE(w.doc.Entries().bytes(kRows), QByteArray("/mnt/new.mp3"));
        QTRY_COMPARE_WITH_TIMEOUT(w.bar->countText(), QString("No matches"), 60000);
    }

    // Under a pattern that takes as long as it likes on every entry nothing the bar is asked
    // waits on the interface thread: the count shows it is at work, Replace All shows progress,
    // and once the pattern is through every answer is the one a quick pattern gives.
    void slowPattern_data() {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("open");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("count");
        const QByteArray same = kSongs;
        QTest::newRow("count") << "" << true << Rows{1} << same << ""
                               << "2 of 3";
        QTest::newRow("Next") << "N" << true << Rows{3} << same << ""
                              << "3 of 3";
        QTest::newRow("Next twice") << "NN" << true << Rows{0} << same << ""
                                    << "1 of 3";
        QTest::newRow("Previous") << "P" << true << Rows{0} << same << ""
                                  << "1 of 3";
        QTest::newRow("Next, bar closed") << "N" << false << Rows{3} << same << ""
                                          << "3 of 3";
        QTest::newRow("Select All") << "A" << true << Rows{0, 1, 3} << same << "3 rows selected"
                                    << "1 of 3";
        QTest::newRow("Select All, bar closed")
            << "A" << false << Rows{0, 1, 3} << same << "3 rows selected"
            << "1 of 3";
        QTest::newRow("Replace") << "R" << true << Rows{3}
                                 << QByteArray("a.mp3|B.ogg|c.ogg|ab.mp3|#EXTINF:1,Bee|d.flac")
                                 << "1 entry changed"
                                 << "2 of 2";
        QTest::newRow("Replace All")
            << "L" << true << Rows{} << QByteArray("a.ogg|B.ogg|c.ogg|ab.ogg|#EXTINF:1,Bee|d.flac")
            << "3 entries changed"
            << "No matches";
    }
    void slowPattern() {
        QFETCH(QString, asked);
        QFETCH(bool, open);
        QFETCH(Rows, selected);
        QFETCH(QString, message);
        auto gate = std::make_shared<PatternGate>();
        FakeHost host;
        Window w(kSongs);
        w.bar->setHost(&host);
        w.bar->setTextForm(PatternGate::form(gate));
        if (open)
            w.bar->showReplace();
        w.view->setCurrentIndex(w.model.index(1));
        w.search("mp3", false, true);
        w.field("Replace with")->setText("ogg");
        QSignalSpy messages(w.bar, &FindBar::message);
        w.ask(asked);
        QTRY_VERIFY(gate->waiting() > 0);
        QCOMPARE(w.bar->countText(), QString("Searching…"));
        QCOMPARE(host.progressDepth, asked == "L" ? 1 : 0);

        gate->open();
        QTRY_VERIFY(w.idle());
        QCOMPARE(w.selected(), selected);
        QTEST(w.joined(), "after");
        QCOMPARE(messages.isEmpty() ? QString() : messages.last().at(0).toString(), message);
        QTEST(w.bar->countText(), "count");
        QCOMPARE(host.progressDepth, 0);
        QCOMPARE(gate->onInterfaceThread(), 0);
    }

    // What waits for a stuck pattern can be called off; what the pattern finds later is
    // dropped, and the playlist and the list stay as they were.
    void callOffStuckWork_data() {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("by");
        QTest::addColumn<QString>("message");
        QTest::newRow("Next, Esc") << "N"
                                   << "Esc"
                                   << "Cancelled";
        QTest::newRow("Next, another text") << "N"
                                            << "text"
                                            << "";
        QTest::newRow("Next, another option") << "N"
                                              << "option"
                                              << "";
        QTest::newRow("Select All, Esc") << "A"
                                         << "Esc"
                                         << "Cancelled";
        QTest::newRow("Replace, Esc") << "R"
                                      << "Esc"
                                      << "Cancelled";
        QTest::newRow("Replace All, Esc") << "L"
                                          << "Esc"
                                          << "Cancelled";
        QTest::newRow("Replace All, Cancel in the status bar") << "L"
                                                               << "Cancel"
                                                               << "Cancelled";
    }
    void callOffStuckWork() {
        QFETCH(QString, asked);
        QFETCH(QString, by);
        QFETCH(QString, message);
        auto gate = std::make_shared<PatternGate>();
        FakeHost host;
        Window w(kSongs);
        QVERIFY(QTest::qWaitForWindowActive(&w.frame));
        w.bar->setHost(&host);
        w.bar->setTextForm(PatternGate::form(gate));
        w.bar->showReplace();
        w.view->setCurrentIndex(w.model.index(1));
        w.search("mp3", false, true);
        w.field("Replace with")->setText("ogg");
        QSignalSpy messages(w.bar, &FindBar::message);
        w.ask(asked);
        QTRY_VERIFY(gate->waiting() > 0);
        if (by == "Esc")
            QTest::keyClick(w.field("Find"), Qt::Key_Escape);
        else if (by == "text")
            w.field("Find")->setText("ogg");
        else if (by == "option")
            w.field<QCheckBox>("Match case")->setChecked(true);
        else
            host.cancelProgress();
        QVERIFY(!w.bar->isFinding() && !w.bar->isReplacing());
        QCOMPARE(host.progressDepth, 0);
        QCOMPARE(w.bar->isVisible(), by != "Esc");

        gate->open();
        QTRY_COMPARE(gate->waiting(), 0);
        QTRY_VERIFY(w.idle());
        QTest::qWait(100);  // for what the stuck searches report on their way out
        QCOMPARE(w.view->currentIndex().row(), 1);
        QCOMPARE(w.selected(), Rows{1});
        QCOMPARE(w.joined(), kSongs);
        QCOMPARE(w.steps, QStringList());
        QCOMPARE(messages.isEmpty() ? QString() : messages.last().at(0).toString(), message);
        QCOMPARE(gate->onInterfaceThread(), 0);
    }

    // A window closes at once, whatever its searches are stuck in; they end later, to no one.
    void closingLeavesStuckWorkBehind() {
        auto gate = std::make_shared<PatternGate>();
        FakeHost host;
        auto w = std::make_unique<Window>(kSongs);
        w->bar->setHost(&host);
        w->bar->setTextForm(PatternGate::form(gate));
        w->bar->showReplace();
        w->search("mp3", false, true);
        w->bar->findNext();
        w->bar->replaceAll();
        QTRY_COMPARE(gate->waiting(), 2);
        w.reset();
        QCOMPARE(gate->waiting(), 2);
        host.cancelProgress();  // the status bar's Cancel, after its window has gone
        gate->open();
        QTRY_COMPARE(gate->waiting(), 0);
        QTest::qWait(100);
        QCOMPARE(gate->onInterfaceThread(), 0);
    }
};

QTEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
