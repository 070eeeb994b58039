#include <QtTest>

#include "core/platform/Error.h"
#include "core/playlist/PlaylistFormats.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;

namespace {

QByteArray joined(const EntryList& e) {
    const std::vector<QByteArray> all = e.toVector();
    return QByteArrayList(all.begin(), all.end()).join('|');
}

EntryList listOf(const QByteArray& lines) {
    EntryList e;
    for (const QByteArray& l : lines.split('|'))
        e.append(l);
    return e;
}

QString failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no error>");
}

}  // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void readPls_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("m3u");
        QTest::newRow("plain") << QByteArray(
                                      "[playlist]\nFile1=/m/a.mp3\nTitle1=A\nLength1=61\n"
                                      "NumberOfEntries=1\nVersion=2\n")
                               << QByteArray("#EXTM3U|#EXTINF:61,A|/m/a.mp3");
        QTest::newRow("wrong count, numbers out of order, CR LF, any case")
            << QByteArray(
                   "[Playlist]\r\nfile3=c.mp3\r\nFile1 = http://r/s\r\nTITLE1=Radio\r\n"
                   "Length1=-1\r\nNumberOfEntries=7\r\n")
            << QByteArray("#EXTM3U|#EXTINF:-1,Radio|http://r/s|c.mp3");
        QTest::newRow("title without a file is dropped")
            << QByteArray("[playlist]\nTitle2=x\nFile1=a.mp3\n") << QByteArray("#EXTM3U|a.mp3");
        QTest::newRow("Latin bytes")
            << QByteArray("[playlist]\nFile1=R\xF6y.mp3\n") << QByteArray("#EXTM3U|R\xC3\xB6y.mp3");
        QTest::newRow("other sections are skipped")
            << QByteArray("[other]\nFile1=no.mp3\n[playlist]\nFile1=yes.mp3\n")
            << QByteArray("#EXTM3U|yes.mp3");
    }
    void readPls() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, m3u);
        QCOMPARE(joined(ReadPls(bytes, QStringLiteral("x.pls"))), m3u);
    }

    void readXspf_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("m3u");
        QTest::newRow("file address, entities, duration in ms")
            << QByteArray(
                   "<?xml version=\"1.0\"?><playlist version=\"1\" "
                   "xmlns=\"http://xspf.org/ns/0/\"><trackList><track>"
                   "<location>file:///m/a%20b.mp3</location><title>Tom &amp; "
                   "Jerry</title><duration>61499</duration></track></trackList></playlist>")
            << QByteArray("#EXTM3U|#EXTINF:61,Tom & Jerry|/m/a b.mp3");
        QTest::newRow("web address, creator, relative reference")
            << QByteArray(
                   "<playlist><trackList><track><location>http://r/s?a=1&amp;b=2</location>"
                   "<creator>Band</creator><title>Song</title></track><track>"
                   "<location>../x%20y.mp3</location></track></trackList></playlist>")
            << QByteArray("#EXTM3U|#EXTINF:-1,Band - Song|http://r/s?a=1&b=2|../x y.mp3");
    }
    void readXspf() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, m3u);
        QCOMPARE(joined(ReadXspf(bytes, QStringLiteral("x.xspf"))), m3u);
    }

    void malformed_data() {
        QTest::addColumn<bool>("pls");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("PLS without a section")
            << true << QByteArray("File1=a.mp3\n")
            << "x.pls, line 1: the file does not start with [playlist]";
        QTest::newRow("PLS line without =") << true << QByteArray("[playlist]\nFile1=a\nrubbish\n")
                                            << "x.pls, line 3: not a \"key=value\" line";
        QTest::newRow("PLS length") << true << QByteArray("[playlist]\nLength1=abc\n")
                                    << "x.pls, line 2: the length is not a number";
        QTest::newRow("empty PLS")
            << true << QByteArray() << "x.pls is not a PLS playlist: it has no [playlist] section";
        QTest::newRow("XSPF cut short")
            << false << QByteArray("<playlist><trackList>\n<track><location>a")
            << "x.xspf, line 2: Premature end of document.";
        QTest::newRow("XSPF of another kind")
            << false << QByteArray("<html/>")
            << "x.xspf, line 1: <html> where <playlist> should stand";
    }
    void malformed() {
        QFETCH(bool, pls);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QCOMPARE(failure([&] {
                     pls ? ReadPls(bytes, QStringLiteral("x.pls"))
                         : ReadXspf(bytes, QStringLiteral("x.xspf"));
                 }),
                 message);
    }

    // Through either format and back, every path, title and length stays.
    void roundTrips_data() {
        QTest::addColumn<QByteArray>("m3u");
        QTest::newRow("titles, lengths, odd paths") << QByteArray(
            "#EXTM3U|#EXTINF:61,Tom & Jerry <live>|/m/a b%20c.mp3|"
            "#EXTINF:-1,Radio, live|http://r/s?a=1&b=2|../x y.flac|"
            "C:\\Music\\z.mp3|#EXTINF:5,\xC3\xB6|/m/\xC3\xB6.mp3");
    }
    void roundTrips() {
        QFETCH(QByteArray, m3u);
        const EntryList list = listOf(m3u);
        QCOMPARE(joined(ReadPls(FormatPls(list, TextEncoding::Utf8), QStringLiteral("x.pls"))),
                 m3u);
        QCOMPARE(joined(ReadXspf(FormatXspf(list, TextEncoding::Utf8), QStringLiteral("x.xspf"))),
                 m3u);
    }

    void extinf_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("seconds");  // -1: none
        QTest::addColumn<QByteArray>("title");
        QTest::newRow("plain") << QByteArray("#EXTINF:123,A - B") << qint64(123)
                               << QByteArray("A - B");
        QTest::newRow("unknown") << QByteArray("#EXTINF:-1,Radio") << qint64(-1)
                                 << QByteArray("Radio");
        QTest::newRow("attributes with commas")
            << QByteArray("#EXTINF:-1 tvg-name=\"a,b\" group-title=\"x\",Chan, One") << qint64(-1)
            << QByteArray("Chan, One");
        QTest::newRow("fraction, no comma")
            << QByteArray("#EXTINF:2.6") << qint64(3) << QByteArray();
    }
    void extinf() {
        QFETCH(QByteArray, line);
        QFETCH(qint64, seconds);
        QFETCH(QByteArray, title);
        const std::optional<ExtinfFields> f = ParseExtinf(line);
        QVERIFY(f);
        QCOMPARE(f->seconds.value_or(-1), seconds);
        QCOMPARE(f->title, title);
        QVERIFY(!ParseExtinf("/m/a.mp3"));
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
