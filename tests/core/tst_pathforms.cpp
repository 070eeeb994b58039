#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/playlist/PathForms.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

EntryList listOf(const QByteArray& lines) {
    EntryList list;
    for (const QByteArray& line : lines.split('|'))
        list.append(line);
    return list;
}

QByteArray withEdits(const EntryList& list, const EntryEdits& edits) {
    QByteArrayList lines;
    for (qsizetype i = 0; i < list.size(); ++i)
        lines << list.bytes(i);
    for (size_t k = 0; k < edits.rows.size(); ++k)
        lines[edits.rows[k]] = edits.texts.bytes(static_cast<qsizetype>(k));
    return lines.join('|');
}

}  // namespace

// Paths from another system put in the form this one reads.
class TestPathForms : public QObject {
    Q_OBJECT

private slots:
    void conversions_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("forward: drive, UNC, mixed; addresses and directives alone")
            << "forward"
            << QByteArray(
                   "#EXTINF:1,a\\b|C:\\Music\\a.mp3|\\\\srv\\share\\b.mp3|x/y\\z.mp3|"
                   "http://h/a\\b|file:///a\\b")
            << QByteArray(
                   "#EXTINF:1,a\\b|C:/Music/a.mp3|//srv/share/b.mp3|x/y/z.mp3|"
                   "http://h/a\\b|file:///a\\b");
        QTest::newRow("back") << "back" << QByteArray("/m/a.mp3|../b.mp3|http://h/c|file:///d")
                              << QByteArray("\\m\\a.mp3|..\\b.mp3|http://h/c|file:///d");
        QTest::newRow("decode: escapes, localhost, drive, other host")
            << "decode"
            << QByteArray(
                   "file:///m/a%20b.mp3|FILE://LOCALHOST/m/c.mp3|file:///C:/Music/d.mp3|"
                   "file://srv/e.mp3|/plain%20name.mp3")
            << QByteArray(
                   "/m/a b.mp3|/m/c.mp3|C:/Music/d.mp3|file://srv/e.mp3|"
                   "/plain%20name.mp3");
        QTest::newRow("decode: what would change the path stays")
            << "decode" << QByteArray("file:///m/a%2Fb.mp3|file:///m/a%0Ab.mp3|file:///m/%zz.mp3")
            << QByteArray("file:///m/a%2Fb.mp3|file:///m/a%0Ab.mp3|/m/%zz.mp3");
        QTest::newRow("decode: UTF-8 into Windows-1252, or left when it cannot be held")
            << "decode1252"
            << QByteArray(
                   "file:///m/R%C3%B6y.mp3|file:///m/%E2%82%AC.mp3|"
                   "file:///m/%E4%B8%AD.mp3")
            << QByteArray("/m/R\xF6y.mp3|/m/\x80.mp3|file:///m/%E4%B8%AD.mp3");
    }
    void conversions() {
        QFETCH(QString, command);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const EntryList list = listOf(before);
        EntryEdits edits;
        if (command == "forward")
            edits = UseForwardSlashes(list, {});
        else if (command == "back")
            edits = UseBackslashes(list, {});
        else
            edits = DecodeFileAddresses(
                list, {}, command == "decode" ? TextEncoding::Utf8 : TextEncoding::Windows1252);
        QCOMPARE(withEdits(list, edits), after);
    }

    void onlySelectedItems() {
        const EntryList list = listOf("a\\1.mp3|#EXTINF:1,x|b\\2.mp3|c\\3.mp3");
        QCOMPARE(withEdits(list, UseForwardSlashes(list, {1, 2})),
                 QByteArray("a\\1.mp3|#EXTINF:1,x|b/2.mp3|c\\3.mp3"));
    }

    void letterCase() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath("Music/Sigur Ros"));
        QVERIFY(QDir(dir.path()).mkpath("lists"));
        QVERIFY(QDir(dir.path()).mkpath("Two/a"));
        QVERIFY(QDir(dir.path()).mkpath("Two/A"));
        for (const char* f : {"Music/Sigur Ros/Hoppipolla.flac", "Two/a/x.mp3", "Two/A/x.mp3"})
            QVERIFY(QFile(dir.filePath(QString::fromLatin1(f))).open(QIODevice::WriteOnly));
        const QByteArray root = QFile::encodeName(dir.path());
        const EntryList list =
            listOf(root +
                   "/music/sigur ros/HOPPIPOLLA.flac|"
                   "../music/SIGUR ROS/hoppipolla.flac|" +
                   root + "/two/a/x.mp3|" + root + "/Music/nothing/x.mp3|http://h/MUSIC");
        std::atomic<bool> cancel{false};
        // A relative entry stays relative; with two names alike ("a", "A") nothing is guessed.
        QCOMPARE(withEdits(list, FixLetterCase(list, {}, root + "/lists", cancel)),
                 root + "/Music/Sigur Ros/Hoppipolla.flac|../Music/Sigur Ros/Hoppipolla.flac|" +
                     root + "/Two/a/x.mp3|" + root + "/Music/nothing/x.mp3|http://h/MUSIC");
        cancel = true;
        QVERIFY(FixLetterCase(list, {}, root, cancel).rows.empty());
    }
};

QTEST_GUILESS_MAIN(TestPathForms)
#include "tst_pathforms.moc"
