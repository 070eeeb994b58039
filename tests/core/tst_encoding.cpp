#include <QtTest>

#include "core/platform/Error.h"
#include "core/playlist/Change.h"
#include "core/playlist/Editing.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "testsupport/TestSupport.h"

using namespace cadrell;
using namespace cadrell::editing;
using testsupport::readFile;
using testsupport::writeFile;

Q_DECLARE_METATYPE(cadrell::TextEncoding)

namespace {

QByteArray utf16(const QString& text, bool little) {
    QByteArray out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        out.append(char(little ? u & 0xFF : u >> 8));
        out.append(char(little ? u >> 8 : u & 0xFF));
    }
    return out;
}

QStringList shown(const PlaylistDocument& doc) {
    QStringList rows;
    for (qsizetype i = 0; i < doc.Entries().size(); ++i)
        rows << DecodeForDisplay(doc.Entries().at(i), doc.Encoding);
    return rows;
}

const QString kRoyksopp = QStringLiteral("R\u00f6yksopp \u20ac.mp3");
const QString kJapanese = QStringLiteral("\u65e5\u672c.mp3");

}  // namespace

class TestEncoding : public QObject {
    Q_OBJECT
private slots:
    // Bytes in, rows shown, bytes after an unchanged save and after deleting the first row.
    void roundTrip_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QByteArray>("afterDelete");

        const QString two = QStringLiteral("#EXTM3U\r\n") + kRoyksopp + QStringLiteral("\r\n");
        const QStringList rows{QStringLiteral("#EXTM3U"), kRoyksopp};
        const QByteArray restUtf8 = (kRoyksopp + "\r\n").toUtf8();
        for (bool little : {true, false}) {
            const QByteArray mark = little ? "\xFF\xFE" : "\xFE\xFF";
            const TextEncoding enc = little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
            const TextEncoding bare =
                little ? TextEncoding::Utf16LENoBom : TextEncoding::Utf16BENoBom;
            const QByteArray body = utf16(two, little);
            const QByteArray rest = utf16(kRoyksopp + "\r\n", little);
            QTest::addRow("UTF-16 %s with mark", little ? "LE" : "BE")
                << "a.m3u" << mark + body << enc << rows << mark + body << mark + rest;
            QTest::addRow("UTF-16 %s without mark", little ? "LE" : "BE")
                << "a.m3u" << body << bare << rows << body << rest;
            // Characters with a CR or LF byte in them: U+010D, U+010A, Malayalam U+0D2E.
            const QString halves = QStringLiteral("/m/\u010d\u010a\u0d2e.mp3\r\n/m/b.mp3\r\n");
            QTest::addRow("UTF-16 %s without mark, CR and LF bytes inside characters",
                          little ? "LE" : "BE")
                << "a.m3u" << utf16(halves, little) << bare
                << QStringList{QStringLiteral("/m/\u010d\u010a\u0d2e.mp3"), "/m/b.mp3"}
                << utf16(halves, little) << utf16(QStringLiteral("/m/b.mp3\r\n"), little);
            QTest::addRow("UTF-16 %s without mark, one line and no line end", little ? "LE" : "BE")
                << "a.m3u" << utf16(QStringLiteral("/m/a.mp3"), little) << bare
                << QStringList{"/m/a.mp3"} << utf16(QStringLiteral("/m/a.mp3\r\n"), little)
                << QByteArray();
            QTest::addRow("UTF-16 %s, LF ends", little ? "LE" : "BE")
                << "a.m3u" << utf16(QStringLiteral("a\nb\n\r"), little) << bare
                << QStringList{"a", "b", ""} << utf16(QStringLiteral("a\nb\n\n"), little)
                << utf16(QStringLiteral("b\n\n"), little);
        }
        const QByteArray bom("\xEF\xBB\xBF");
        QTest::newRow("UTF-8 with mark") << "a.m3u" << bom + two.toUtf8() << TextEncoding::Utf8Bom
                                         << rows << bom + two.toUtf8() << bom + restUtf8;
        QTest::newRow("UTF-8") << "a.m3u" << two.toUtf8() << TextEncoding::Utf8 << rows
                               << two.toUtf8() << restUtf8;
        const QByteArray latin("#EXTM3U\nR\xF6yksopp \x80.mp3\n\x81\x9D");
        QTest::newRow("Windows-1252, 0x80-0x9F")
            << "a.m3u" << latin << TextEncoding::Windows1252
            << QStringList{"#EXTM3U", kRoyksopp, QStringLiteral("\u0081\u009d")}
            << QByteArray("#EXTM3U\nR\xF6yksopp \x80.mp3\n\x81\x9D\n")
            << QByteArray("R\xF6yksopp \x80.mp3\n\x81\x9D\n");
        QTest::newRow("invalid UTF-8 is 8-bit text")
            << "a.m3u" << QByteArray("a\xC3(\r\n") << TextEncoding::Windows1252
            << QStringList{QStringLiteral("a\u00c3(")} << QByteArray("a\xC3(\r\n") << QByteArray();
        QTest::newRow(".m3u8 with Latin bytes keeps them")
            << "a.m3u8" << QByteArray("R\xF6y\r\nb\r\n") << TextEncoding::Utf8
            << QStringList{QStringLiteral("R\ufffdy"), "b"} << QByteArray("R\xF6y\r\nb\r\n")
            << QByteArray("b\r\n");
        QTest::newRow("a zero before a line end in 8-bit text is no UTF-16")
            << "a.m3u" << QByteArray("abc.mp3\r\nd\0\ne.mp3\r\n", 19) << TextEncoding::Utf8
            << QStringList{"abc.mp3", QString::fromUtf8("d\0", 2), "e.mp3"}
            << QByteArray("abc.mp3\r\nd\0\r\ne.mp3\r\n", 20) << QByteArray("d\0\r\ne.mp3\r\n", 11);
        QTest::newRow("lone CR in 8-bit text is no UTF-16")
            << "a.m3u" << QByteArray("a\r\0b", 4) << TextEncoding::Utf8
            << QStringList{"a", QString::fromUtf8("\0b", 2)} << QByteArray("a\r\n\0b\r\n", 7)
            << QByteArray("\0b\r\n", 4);
    }
    void roundTrip() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, afterDelete);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(writeFile(name, bytes));
        LoadPlaylist(doc);
        QCOMPARE(doc.Encoding, encoding);
        QCOMPARE(shown(doc), rows);
        SavePlaylist(doc);
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), saved);
        doc.edit([](EntryList& e) { e.removeSorted({0}); });
        SavePlaylist(doc);
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), afterDelete);
    }

    // A UTF-16 save larger than the write buffer, its entries no longer in the order the file
    // had them (after a sort or a paste), is the rows as they stand, exactly.
    void largeUtf16OutOfOrder_data() {
        QTest::addColumn<bool>("little");
        QTest::addColumn<QString>("how");
        for (bool little : {true, false})
            for (const char* how : {"reversed", "sorted by another key", "halves swapped",
                                    "pasted into the middle", "a long entry moved to the end"})
                QTest::addRow("UTF-16 %s, %s", little ? "LE" : "BE", how) << little << QString(how);
    }
    void largeUtf16OutOfOrder() {
        QFETCH(bool, little);
        QFETCH(QString, how);
        QStringList lines;
        // Characters of two, three and four UTF-8 bytes, some with a CR or LF byte in UTF-16.
        for (int i = 0; i < 30000; ++i)
            lines << QStringLiteral("/m/\u010d\u010a%1 \u0d2e\u20ac \U0001F3B5 %2.mp3")
                         .arg(i)
                         .arg(QString(i % 40, QLatin1Char('x')));
        if (how.startsWith("a long"))
            lines.insert(100, QString(700000, QChar(0x00e9)) + QStringLiteral("\U0001F3B5"));
        const QByteArray mark = little ? "\xFF\xFE" : "\xFE\xFF";
        auto file = [&](const QStringList& rows) {
            return mark + utf16(rows.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), little);
        };
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(writeFile("big16.m3u", file(lines)));
        LoadPlaylist(doc);
        QCOMPARE(doc.Encoding, little ? TextEncoding::Utf16LE : TextEncoding::Utf16BE);

        const int n = int(lines.size());
        std::vector<int> order;
        QStringList expected;
        if (how == "reversed") {
            for (int i = n - 1; i >= 0; --i)
                order.push_back(i);
        } else if (how == "sorted by another key") {
            // Forward in the file, a few entries at a time.
            for (int key = 0; key < 7; ++key)
                for (int i = key; i < n; i += 7)
                    order.push_back(i);
        } else if (how == "halves swapped") {
            for (int i = 0; i < n; ++i)
                order.push_back((i + n / 2) % n);
        } else if (how.startsWith("a long")) {
            for (int i = 0; i < n; ++i)
                if (i != 100)
                    order.push_back(i);
            order.push_back(100);
        }
        if (order.empty()) {
            EntryList pasted;
            QStringList rows;
            for (int i = 0; i < 5000; ++i) {
                rows << QStringLiteral("/p/\u00e9\U0001F3B5 %1.mp3").arg(i);
                pasted.append(rows.back().toUtf8());
            }
            doc.perform(Change::insertAt(n / 2, pasted), QStringLiteral("Paste"));
            expected = lines.mid(0, n / 2) + rows + lines.mid(n / 2);
        } else {
            doc.perform(Change::permute(order), QStringLiteral("Sort"));
            for (int i : order)
                expected << lines[i];
        }
        QVERIFY(file(expected).size() > (qsizetype(1) << 20));
        SavePlaylist(doc);
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), file(expected));
        PlaylistDocument again;
        again.FileName = doc.FileName;
        LoadPlaylist(again);
        QCOMPARE(shown(again), expected);
    }

    // UTF-16 that cannot be turned into text and back exactly is refused, not damaged.
    void brokenUtf16Refused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unpaired high surrogate") << QByteArray("\xFF\xFE\x00\xD8\x41\x00", 6);
        QTest::newRow("lone low surrogate") << QByteArray("\xFF\xFE\x00\xDC\x0A\x00", 6);
        QTest::newRow("odd byte count") << QByteArray("\xFF\xFE\x41\x00\x0A\x00\x42", 7);
    }
    void brokenUtf16Refused() {
        QFETCH(QByteArray, bytes);
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(writeFile(QStringLiteral("bad.m3u"), bytes));
        QVERIFY_THROWS_EXCEPTION(Error, LoadPlaylist(doc));
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), bytes);
    }

    // UTF-16 to UTF-8 and back in both byte orders, through the block-wise paths and across their
    // edges: text that outgrows the buffer it is decoded in, surrogates next to a block.
    void utf16Conversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const QString ascii = QStringLiteral("C:\\Music\\Track 10 of 12.mp3\r\n");
        const QString music = QStringLiteral("\U0001F3B5");
        QTest::newRow("ASCII in blocks and a tail") << ascii + ascii << true;
        QTest::newRow("other characters between blocks")
            << ascii + kRoyksopp + ascii + kJapanese + ascii << true;
        QTest::newRow("outgrows its buffer at once") << kJapanese.repeated(20) << true;
        QTest::newRow("outgrows it after ASCII") << ascii + QString(40, QChar(0x65e5)) << true;
        QTest::newRow("surrogate pairs") << (QStringLiteral("a") + music).repeated(10) << true;
        QTest::newRow("unpaired high surrogate after a block")
            << ascii + QChar(0xD800) + QStringLiteral("b") << false;
        QTest::newRow("high surrogate at the end") << ascii + QChar(0xD83C) << false;
        QTest::newRow("low surrogate first") << QChar(0xDC00) + ascii << false;
    }
    void utf16Conversion() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        for (const bool little : {true, false}) {
            const QByteArray bytes = utf16(text, little);
            const TextEncoding enc =
                little ? TextEncoding::Utf16LENoBom : TextEncoding::Utf16BENoBom;
            const std::optional<FileText> decoded = DecodeFileText(bytes, enc);
            QCOMPARE(decoded.has_value(), valid);
            if (!valid)
                continue;
            QCOMPARE(decoded->bytes.sliced(decoded->offset), text.toUtf8());
            QCOMPARE(EncodeUtf16(text.toUtf8(), enc), std::optional<QByteArray>(bytes));
        }
    }

    void convertEntries_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<TextEncoding>("from");
        QTest::addColumn<TextEncoding>("to");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<bool>("converts");
        const auto utf8 = TextEncoding::Utf8, latin = TextEncoding::Windows1252;
        QTest::newRow("Latin to UTF-8") << QByteArray("R\xF6y\x80") << latin << utf8
                                        << QStringLiteral("R\u00f6y\u20ac").toUtf8() << true;
        QTest::newRow("UTF-8 to Latin") << QStringLiteral("R\u00f6y\u20ac").toUtf8() << utf8
                                        << latin << QByteArray("R\xF6y\x80") << true;
        QTest::newRow("Japanese does not fit Latin")
            << kJapanese.toUtf8() << utf8 << latin << QByteArray() << false;
        QTest::newRow("invalid UTF-8 has no characters to carry")
            << QByteArray("\xF6") << utf8 << latin << QByteArray() << false;
        QTest::newRow("UTF-16 documents hold UTF-8 already")
            << kJapanese.toUtf8() << TextEncoding::Utf16BE << TextEncoding::Utf8Bom
            << kJapanese.toUtf8() << true;
    }
    void convertEntries() {
        QFETCH(QByteArray, entry);
        QFETCH(TextEncoding, from);
        QFETCH(TextEncoding, to);
        QFETCH(QByteArray, result);
        QFETCH(bool, converts);
        const auto got = ConvertEntry(entry, from, to);
        QCOMPARE(got.has_value(), converts);
        if (converts)
            QCOMPARE(*got, result);
    }

    // A UTF-16 document whose entry is not text (bytes dropped from the file manager) is not
    // written half-converted: the old file stays.
    void utf16SaveRefusesInvalidEntry() {
        PlaylistDocument doc;
        const QByteArray old = utf16(QStringLiteral("a\r\n"), true);
        doc.FileName = QFile::encodeName(writeFile(QStringLiteral("w.m3u"), old));
        LoadPlaylist(doc);
        doc.edit([](EntryList& e) { e.append("\xF6"); });
        QVERIFY_THROWS_EXCEPTION(Error, SavePlaylist(doc));
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), old);
    }

    // A conversion is one step: saved in the new encoding, undone back to the old bytes; one
    // that cannot hold an entry names it and changes nothing.
    void conversionIsOneStep() {
        const QByteArray latin("R\xF6y.mp3\r\nb.mp3\r\n");
        PlaylistDocument doc;
        doc.FileName = QFile::encodeName(writeFile(QStringLiteral("c.m3u"), latin));
        LoadPlaylist(doc);
        ConvertEncoding(doc, TextEncoding::Utf16BE);
        QVERIFY(doc.Modified());
        SavePlaylist(doc);
        QCOMPARE(
            readFile(QFile::decodeName(doc.FileName)),
            QByteArray("\xFE\xFF") + utf16(QStringLiteral("R\u00f6y.mp3\r\nb.mp3\r\n"), false));
        doc.undo();
        QCOMPARE(doc.Encoding, TextEncoding::Windows1252);
        SavePlaylist(doc);
        QCOMPARE(readFile(QFile::decodeName(doc.FileName)), latin);

        doc.redo();
        doc.edit([](EntryList& e) { e.append(kJapanese.toUtf8()); });
        QVERIFY_THROWS_EXCEPTION(Error, ConvertEncoding(doc, TextEncoding::Windows1252));
        QCOMPARE(doc.Encoding, TextEncoding::Utf16BE);
        ConvertEncoding(doc, TextEncoding::Utf16BE);  // the encoding it has: no step
        QVERIFY(!doc.history().canUndo());
    }
};

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
