#include <sys/stat.h>
#include <unistd.h>
#include <QtTest>

#include "core/platform/Error.h"
#include "core/playlist/Change.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "core/recovery/ChangeRecord.h"
#include "core/recovery/DocumentJournal.h"
#include "core/recovery/JournalBytes.h"
#include "core/recovery/JournalFormat.h"
#include "core/recovery/Recovery.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

using Lines = std::vector<QByteArray>;
Q_DECLARE_METATYPE(Lines)

namespace {

EntryList listOf(const Lines& lines) {
    EntryList e;
    for (const QByteArray& l : lines)
        e.append(l);
    return e;
}

QString freshFolder() {
    static int n = 0;
    return testsupport::homeDir() + QStringLiteral("/state-%1/recovery").arg(++n);
}

void settle() {
    QVERIFY(JournalWriter::instance().waitIdle(10000));
    QCoreApplication::processEvents();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// The state a journal leads to, read back the way a start after a crash reads it.
struct Screen {
    Lines entries;
    TextEncoding encoding = TextEncoding::Utf8;
    LineEnd lineEnd = LineEnd::CrLf;
    friend bool operator==(const Screen&, const Screen&) = default;
};

Screen screenOf(const PlaylistDocument& doc) {
    return {doc.Entries().toVector(), doc.Encoding, doc.LineEnds};
}

Screen replayed(const JournalContents& j) {
    ReplayResult r =
        Replay(j.copy ? *j.copy : EntryList(), j.start.encoding, j.start.lineEnd, j.steps);
    return {r.entries.toVector(), r.encoding, r.lineEnd};
}

// Runs one command of a script on the document: "del:1,3", "ins:0=a|b", "drop:0=2",
// "rep:1=x", "perm:2,0,1", "move:0>-1", "reset:a|b", "enc:", "le:", "undo", "redo".
void run(PlaylistDocument& doc, const QString& command) {
    const QString verb = command.section(QLatin1Char(':'), 0, 0);
    const QString arg = command.section(QLatin1Char(':'), 1);
    const QString where = arg.section(QLatin1Char('='), 0, 0);
    const QString what = arg.section(QLatin1Char('='), 1);
    std::vector<int> rows;
    for (const QString& r : where.split(QLatin1Char(','), Qt::SkipEmptyParts))
        rows.push_back(r.toInt());
    EntryList texts;
    for (const QString& t : what.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        texts.append(t.toUtf8());
    const QString name = QStringLiteral("Step");
    if (verb == QLatin1String("del")) {
        doc.perform(Change::remove(rows), name);
    } else if (verb == QLatin1String("ins")) {
        doc.perform(Change::insert(rows, texts), name);
    } else if (verb == QLatin1String("drop")) {
        doc.perform(Change::dropPrefixes(rows, {uint32_t(what.toUInt())}), name);
    } else if (verb == QLatin1String("rep")) {
        doc.perform(Change::replace(rows, texts), name);
    } else if (verb == QLatin1String("perm")) {
        doc.perform(Change::permute(rows), name);
    } else if (verb == QLatin1String("move")) {
        const int before = arg.section(QLatin1Char('>'), 1).toInt();
        doc.perform(Change::move({arg.section(QLatin1Char('>'), 0, 0).toInt()}, before,
                                 doc.Entries().size()),
                    name);
    } else if (verb == QLatin1String("reset")) {
        EntryList all;
        for (const QString& t : arg.split(QLatin1Char('|')))
            all.append(t.toUtf8());
        doc.perform(Change::reset(all), name);
    } else if (verb == QLatin1String("enc")) {
        Change c;
        c.setEncoding(TextEncoding::Windows1252);
        doc.perform(c, name);
    } else if (verb == QLatin1String("le")) {
        Change c;
        c.setLineEnd(LineEnd::Lf);
        doc.perform(c, name);
    } else if (verb == QLatin1String("undo")) {
        doc.undo();
    } else if (verb == QLatin1String("redo")) {
        doc.redo();
    } else {
        QFAIL(qPrintable(command));
    }
}

// A journal written through a document: every state it went through, and its bytes.
struct Written {
    std::vector<Screen> states;  // states[k]: after k changes
    QByteArray bytes;
};

Written writeThrough(const QStringList& script) {
    Written w;
    PlaylistDocument doc;
    doc.edit([](EntryList& e) { e = listOf({"a.mp3", "C:\\b.mp3", "c.mp3", "d.mp3"}); });
    doc.markClean();
    DocumentJournal journal(doc, freshFolder());
    w.states.push_back(screenOf(doc));
    for (const QString& command : script) {
        run(doc, command);
        w.states.push_back(screenOf(doc));
    }
    settle();
    w.bytes = readAll(journal.path());
    return w;
}

const QStringList kScript{QStringLiteral("del:1"), QStringLiteral("ins:0,2=x.mp3|y.mp3"),
                          QStringLiteral("rep:1=z.mp3"), QStringLiteral("perm:3,2,1,0,4")};

}  // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void cutLastRecord();
    void flippedBytes();
    void changeRecordRefusesGarbage_data();
    void changeRecordRefusesGarbage();
    void overlappingRunsRefused();
    void lifecycle();
    void newerVersionRefusedAndKept();
    void heldJournalNotOffered();
    void readOnlyFolderTurnsRecoveryOff();
    void recoverWays_data();
    void recoverWays();
    void tooLargeAndChangedIsKept();
    void snapshotBoundsTheJournal();
    void packedRecords();
    void fuzzSeeds_data();
    void fuzzSeeds();
};

void TestJournal::roundTrip_data() {
    QTest::addColumn<QStringList>("script");
    QTest::newRow("remove") << QStringList{"del:0,2"};
    QTest::newRow("insert") << QStringList{"ins:0,3,5=n1|n2|n3"};
    QTest::newRow("drop prefixes") << QStringList{"drop:1=3"};
    QTest::newRow("replace") << QStringList{"rep:0,3=r0|r3"};
    QTest::newRow("permute") << QStringList{"perm:3,1,0,2"};
    QTest::newRow("move") << QStringList{"move:0>-1"};
    QTest::newRow("reset") << QStringList{"del:0", "reset:p|q|"};
    QTest::newRow("encoding") << QStringList{"enc:"};
    QTest::newRow("line ends") << QStringList{"le:"};
    QTest::newRow("undo") << QStringList{"del:0", "rep:0=w", "undo"};
    QTest::newRow("undo then redo") << QStringList{"perm:1,0,3,2", "del:1", "undo", "undo", "redo"};
    QTest::newRow("undo of an encoding") << QStringList{"enc:", "del:0", "undo", "undo", "le:"};
    QTest::newRow("new step after undo") << QStringList{"del:0", "undo", "ins:4=e"};
}

void TestJournal::roundTrip() {
    QFETCH(QStringList, script);
    const Written w = writeThrough(script);
    const JournalContents j = ParseJournal(w.bytes);
    QCOMPARE(j.state, JournalContents::State::Ok);
    QVERIFY(j.copy.has_value());
    QCOMPARE(j.ignoredBytes, 0);
    QVERIFY(replayed(j) == w.states.back());
}

void TestJournal::cutLastRecord() {
    const Written w = writeThrough(kScript);
    const JournalContents whole = ParseJournal(w.bytes);
    QCOMPARE(whole.steps.size(), size_t(kScript.size()));
    // Where the last record begins: the journal one step shorter.
    const Written shorter = writeThrough(kScript.mid(0, kScript.size() - 1));
    const qsizetype lastStart = shorter.bytes.size();
    QVERIFY(lastStart < w.bytes.size());
    for (qsizetype cut = lastStart; cut < w.bytes.size(); ++cut) {
        const JournalContents j = ParseJournal(QByteArrayView(w.bytes).first(cut));
        QCOMPARE(j.steps.size(), size_t(kScript.size() - 1));
        QVERIFY2(replayed(j) == w.states[size_t(kScript.size() - 1)],
                 qPrintable(QString::number(cut)));
    }
    QVERIFY(replayed(whole) == w.states.back());
}

void TestJournal::flippedBytes() {
    const Written w = writeThrough(kScript);
    for (qsizetype at = kJournalPreamble; at < w.bytes.size(); ++at) {
        for (const char mask : {char(0x01), char(0x80), char(0xFF)}) {
            QByteArray damaged = w.bytes;
            damaged[at] = char(damaged[at] ^ mask);
            const JournalContents j = ParseJournal(damaged);
            if (j.state != JournalContents::State::Ok)
                continue;
            // Whatever is read is a whole prefix of what was written, never something else.
            QVERIFY(j.steps.size() < size_t(kScript.size()));
            if (j.copy)
                QVERIFY2(replayed(j) == w.states[j.steps.size()], qPrintable(QString::number(at)));
        }
    }
}

void TestJournal::changeRecordRefusesGarbage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unknown kind") << QByteArray("\x09\x00\x00", 3);
    QTest::newRow("unknown flag") << QByteArray("\x00\x04\x00", 3);
    QTest::newRow("encoding out of range") << QByteArray("\x00\x01\x09\x00", 4);
    QTest::newRow("count past the end") << QByteArray("\x00\x00\x7f", 3);
    QTest::newRow("texts fewer than positions") << QByteArray("\x01\x00\x02\x00\x00\x01\x01x", 8);
    QTest::newRow("zero prefix length") << QByteArray("\x02\x00\x01\x00\x00", 5);
    QTest::newRow("run past int") << QByteArray("\x04\x00\x01\xff\xff\xff\xff\x07\x01", 9);
    QTest::newRow("position gap past int64")
        << QByteArray("\x00\x00\x02\x05\xff\xff\xff\xff\xff\xff\xff\xff\x7f", 13);
    QTest::newRow("trailing bytes") << QByteArray("\x00\x00\x00\x00", 4);
}

void TestJournal::changeRecordRefusesGarbage() {
    QFETCH(QByteArray, bytes);
    QVERIFY(!ChangeRecord::deserialize(bytes));
}

void TestJournal::overlappingRunsRefused() {
    // Runs {0,2},{1,2} cover four rows in all but take row 1 twice and row 3 never.
    QByteArray bytes("\x04\x00\x02\x00\x02\x01\x02", 7);
    std::optional<Change> c = ChangeRecord::deserialize(bytes);
    QVERIFY(c);
    EntryList e = listOf({"a", "b", "c", "d"});
    QVERIFY_THROWS_EXCEPTION(Error, std::move(*c).apply(e));
    QCOMPARE(e.toVector(), (Lines{"a", "b", "c", "d"}));
}

void TestJournal::lifecycle() {
    const QString folder = freshFolder();
    const QByteArray file = QFile::encodeName(testsupport::writeFile("life.m3u", "a\r\nb\r\n"));
    PlaylistDocument doc;
    doc.FileName = file;
    LoadPlaylist(doc);
    DocumentJournal journal(doc, folder);
    QVERIFY(!journal.recording());
    run(doc, "del:0");
    settle();
    const QString path = journal.path();
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).permissions() & 0x7777,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions());
    // Undone to the file's state: nothing to recover.
    run(doc, "undo");
    settle();
    QVERIFY(!QFileInfo::exists(path));
    // A failed save keeps the journal; a good one removes it.
    run(doc, "rep:0=x");
    settle();
    const QString second = journal.path();
    QVERIFY(QFileInfo::exists(second));
    doc.FileName = QFile::encodeName(testsupport::homeDir() + "/no-such-folder/x.m3u");
    QVERIFY_THROWS_EXCEPTION(Error, SavePlaylist(doc));
    settle();
    QVERIFY(QFileInfo::exists(second));
    doc.FileName = file;
    SavePlaylist(doc);
    settle();
    QVERIFY(!QFileInfo::exists(second));
    // A close that gives the changes up.
    run(doc, "del:0");
    settle();
    const QString third = journal.path();
    QVERIFY(QFileInfo::exists(third));
    journal.discard();
    settle();
    QVERIFY(!QFileInfo::exists(third));
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
}

void TestJournal::newerVersionRefusedAndKept() {
    const QString folder = freshFolder();
    QDir().mkpath(folder);
    Written w = writeThrough(kScript);
    w.bytes.replace(0, kJournalPreamble, JournalPreamble(kJournalVersion + 1));
    const QString path = folder + "/1-1-1.journal";
    testsupport::writeFile(QDir(testsupport::homeDir()).relativeFilePath(path), w.bytes);
    const std::vector<FoundJournal> found = FindOrphanedJournals(folder);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(found[0].state, JournalContents::State::NewerVersion);
    QCOMPARE(found[0].way, FoundJournal::Way::Impossible);
    QVERIFY(found[0].why.contains("newer version"));
    QVERIFY(!RecoverJournal(found[0]).error.isEmpty());
    QCOMPARE(readAll(path), w.bytes);
}

void TestJournal::heldJournalNotOffered() {
    const QString folder = freshFolder();
    PlaylistDocument doc;
    DocumentJournal journal(doc, folder);
    run(doc, "ins:0=a");
    settle();
    QVERIFY(QFileInfo::exists(journal.path()));
    // The writer holds it: a running program's journal is never offered.
    QVERIFY(FindOrphanedJournals(folder).empty());
    // Once its lock is gone (as when its process dies), it is.
    const QString copy = folder + "/0-0-0.journal";
    QVERIFY(QFile::copy(journal.path(), copy));
    // A snapshot whose writer died before it replaced its journal is dropped.
    const QString torn = folder + "/0-0-0.journal.new";
    QVERIFY(QFile::copy(journal.path(), torn));
    const std::vector<FoundJournal> found = FindOrphanedJournals(folder);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(found[0].path, copy);
    QVERIFY(!QFileInfo::exists(torn));
    // ... and while this start holds it, no other takes it.
    QVERIFY(FindOrphanedJournals(folder).empty());
}

void TestJournal::readOnlyFolderTurnsRecoveryOff() {
    if (::geteuid() == 0)
        QSKIP("root writes into a read-only folder; the unprivileged run covers this");
    const QString folder = freshFolder();
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0500) == 0);
    PlaylistDocument doc;
    DocumentJournal journal(doc, folder);
    QSignalSpy failed(&journal, &DocumentJournal::failed);
    run(doc, "ins:0=a");
    settle();
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed[0][0].toString().contains(folder));
    QVERIFY(journal.off());
    // Editing goes on, and says so no more.
    run(doc, "ins:1=b");
    settle();
    QCOMPARE(doc.Entries().toVector(), (Lines{"a", "b"}));
    QCOMPARE(failed.size(), 1);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
}

void TestJournal::recoverWays_data() {
    QTest::addColumn<bool>("untitled");
    QTest::addColumn<bool>("changeFile");
    QTest::addColumn<int>("way");
    QTest::newRow("untitled") << true << false << int(FoundJournal::Way::AsUntitled);
    QTest::newRow("file as it was") << false << false << int(FoundJournal::Way::AsFile);
    QTest::newRow("file changed since") << false << true << int(FoundJournal::Way::AsUntitled);
}

void TestJournal::recoverWays() {
    QFETCH(bool, untitled);
    QFETCH(bool, changeFile);
    QFETCH(int, way);
    const QString folder = freshFolder();
    const QString name = testsupport::writeFile(QStringLiteral("ways-%1.m3u").arg(folder.size()),
                                                "one\r\nzwei\r\nthree\r\n");
    PlaylistDocument doc;
    if (!untitled) {
        doc.FileName = QFile::encodeName(name);
        LoadPlaylist(doc);
    } else {
        doc.edit([](EntryList& e) { e = listOf({"one", "zwei"}); });
        doc.markClean();
    }
    DocumentJournal journal(doc, folder);
    run(doc, "ins:0=new");
    run(doc, "move:0>-1");
    run(doc, "le:");
    settle();
    const QString orphan = folder + "/9-9-9.journal";
    QVERIFY(QFile::copy(journal.path(), orphan));
    if (changeFile)
        testsupport::writeFile(QDir(testsupport::homeDir()).relativeFilePath(name), "other\n");
    std::vector<FoundJournal> found = FindOrphanedJournals(folder);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(int(found[0].way), way);
    QCOMPARE(found[0].steps, 3);
    QVERIFY(found[0].lastChangeMs > 0);
    const RecoveredPlaylist r = RecoverJournal(found[0]);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.untitled, way != int(FoundJournal::Way::AsFile));
    QCOMPARE(r.entries.toVector(), doc.Entries().toVector());
    QCOMPARE(r.lineEnd, LineEnd::Lf);
    if (!r.untitled)
        QCOMPARE(r.diskEntries.size(), 3);
}

void TestJournal::tooLargeAndChangedIsKept() {
    const QString folder = freshFolder();
    QDir().mkpath(folder);
    JournalStart s;
    s.untitled = false;
    s.fileName = "/nowhere/huge.m3u";
    s.fileKnown = true;
    s.fileSize = kJournalCopyLimit + 1;
    s.fileHash = QByteArray(32, 'h');
    QByteArray bytes = JournalPreamble();
    AppendRecord(bytes, RecordType::Start, StartPayload(s));
    AppendRecord(bytes, RecordType::Change, ChangePayload(Change::remove({0}), 5));
    const QString path = folder + "/1-2-3.journal";
    testsupport::writeFile(QDir(testsupport::homeDir()).relativeFilePath(path), bytes);
    const std::vector<FoundJournal> found = FindOrphanedJournals(folder);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(found[0].way, FoundJournal::Way::Impossible);
    QVERIFY(found[0].why.contains("64 MB"));
    QVERIFY(!RecoverJournal(found[0]).error.isEmpty());
    QCOMPARE(readAll(path), bytes);
}

void TestJournal::snapshotBoundsTheJournal() {
    PlaylistDocument doc;
    doc.edit([](EntryList& e) { e = listOf({"a", "b"}); });
    doc.markClean();
    DocumentJournal journal(doc, freshFolder());
    const QByteArray big(4000, 'x');
    qint64 largest = 0;
    for (int k = 0; k < 200; ++k) {
        EntryList t;
        t.append(big + QByteArray::number(k));
        doc.perform(Change::replace({k % 2}, t), QStringLiteral("Type"));
        if (k % 10 == 0) {
            settle();
            largest = std::max(largest, QFileInfo(journal.path()).size());
        }
    }
    settle();
    settle();
    const qint64 saved = EncodedSize(doc.Entries(), doc.Encoding, doc.LineEnds);
    // Past the limit the journal is rewritten; the changes made while that is on its way (ten
    // between two looks here) may take it a little further.
    QVERIFY2(largest <= JournalSizeLimit(saved) + 11 * (big.size() + 64),
             qPrintable(QString::number(largest)));
    const JournalContents j = ParseJournal(readAll(journal.path()));
    QVERIFY(j.start.snapshot);
    QCOMPARE(j.stepCount(), 200);
    QVERIFY(replayed(j) == screenOf(doc));
}

void TestJournal::packedRecords() {
    EntryList texts;
    for (int i = 0; i < 200; ++i)
        texts.append(QByteArray("/music/some artist/some album/track ") + QByteArray::number(i));
    const Change change = Change::insertAt(0, texts);
    const QByteArray payload = ChangePayload(change, 7);
    QByteArray bytes = JournalPreamble();
    JournalStart s;
    s.hasCopy = true;
    AppendRecord(bytes, RecordType::Start, StartPayload(s));
    AppendRecord(bytes, RecordType::Entries, EntriesPayload(EntryList()));
    const qsizetype before = bytes.size();
    AppendRecord(bytes, RecordType::Change, payload);
    QVERIFY(bytes.size() - before < payload.size() / 2);
    const JournalContents j = ParseJournal(bytes);
    QCOMPARE(j.steps.size(), size_t(1));
    QCOMPARE(replayed(j).entries, texts.toVector());
    // A packed record whose stated length is absurd is refused before anything is allocated,
    // even with a checksum that fits.
    QByteArray forged = bytes;
    const qsizetype packedAt = before + 5;
    forged[packedAt] = char(0x7f);
    forged[packedAt + 1] = char(0xff);
    const qsizetype length = bytes.size() - before - 9;
    const uint32_t crc = Crc32(QByteArrayView(forged).sliced(before + 4, 1 + length));
    for (int k = 0; k < 4; ++k)
        forged[before + 5 + length + k] = char(crc >> (8 * k));
    QCOMPARE(ParseJournal(forged).steps.size(), size_t(0));
}

void TestJournal::fuzzSeeds_data() {
    QTest::addColumn<QString>("seed");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("steps");
    QTest::addColumn<Lines>("entries");
    const int ok = int(JournalContents::State::Ok);
    QTest::newRow("remove") << "untitled_remove" << ok << 1 << Lines{"a.mp3", "c.mp3"};
    QTest::newRow("insert, replace")
        << "insert_replace" << ok << 2 << Lines{"x", "a.mp3", "y", "c.mp3"};
    QTest::newRow("permute") << "permute_runs" << ok << 1 << Lines{"c.mp3", "a.mp3", "b.mp3"};
    QTest::newRow("drop, encoding")
        << "drop_and_encoding" << ok << 2 << Lines{"mp3", "b.mp3", "c.mp3"};
    QTest::newRow("reset") << "reset" << ok << 1 << Lines{"p", "q"};
    QTest::newRow("newer") << "newer_version" << int(JournalContents::State::NewerVersion) << 0
                           << Lines{};
    QTest::newRow("torn") << "torn_tail" << ok << 0 << Lines{"a.mp3", "b.mp3", "c.mp3"};
}

// The fuzzer's seeds are journals as this version writes them.
void TestJournal::fuzzSeeds() {
    QFETCH(QString, seed);
    QFETCH(int, state);
    QFETCH(int, steps);
    QFETCH(Lines, entries);
    const JournalContents j = ParseJournal(readAll(
        QStringLiteral(CADRELL_SOURCE_DIR "/tests/fuzz/corpus/fuzz_journal_parse/") + seed));
    QCOMPARE(int(j.state), state);
    QCOMPARE(int(j.steps.size()), steps);
    if (j.state == JournalContents::State::Ok)
        QCOMPARE(replayed(j).entries, entries);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
