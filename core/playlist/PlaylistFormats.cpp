#include "core/playlist/PlaylistFormats.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <map>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Items.h"
#include "core/playlist/PlaylistFile.h"

namespace cadrell {

namespace {

struct Track {
    QByteArray path;  // UTF-8
    QByteArray title;
    std::optional<qint64> seconds;
};

EntryList toM3u(const std::vector<Track>& tracks) {
    EntryList out;
    out.append("#EXTM3U");
    for (const Track& t : tracks) {
        if (t.seconds || !t.title.isEmpty()) {
            // A title's line breaks would make lines of their own.
            QByteArray title = t.title;
            title.replace('\r', ' ').replace('\n', ' ');
            out.append("#EXTINF:" + QByteArray::number(t.seconds.value_or(-1)) + ',' + title);
        }
        out.append(t.path);
    }
    return out;
}

// Text in a file of unknown encoding: UTF-8 when it is that, else Windows-1252.
QString decodeLoose(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeForDisplay(bytes, TextEncoding::Windows1252);
}

// The document's items as tracks: paths and titles in UTF-8.
std::vector<Track> tracksOf(const EntryList& entries, TextEncoding encoding) {
    std::vector<Track> tracks;
    const ItemLayout layout = FindItems(entries);
    auto utf8 = [&](QByteArrayView bytes) {
        return HoldsUtf8(encoding) ? bytes.toByteArray()
                                   : DecodeForDisplay(bytes, encoding).toUtf8();
    };
    for (const Item& item : layout.items) {
        Track t;
        t.path = utf8(entries.at(item.entry));
        for (int r = item.first; r < item.entry; ++r) {
            if (const std::optional<ExtinfFields> info = ParseExtinf(entries.at(r))) {
                t.seconds = info->seconds;
                t.title = utf8(info->title);
            }
        }
        tracks.push_back(std::move(t));
    }
    return tracks;
}

QByteArray withLineNumber(const QString& shownName, qsizetype line, const QString& what) {
    return QStringLiteral("%1, line %2: %3").arg(shownName).arg(line).arg(what).toUtf8();
}

bool isUrl(const QByteArray& path) {
    return IsWebAddress(path) || path.startsWith("file:");
}

}  // namespace

PlaylistFormat FormatOfName(const QByteArray& fileName) {
    const QByteArray ext = Extension(fileName).toLower();
    if (ext == ".pls")
        return PlaylistFormat::Pls;
    if (ext == ".xspf")
        return PlaylistFormat::Xspf;
    return PlaylistFormat::M3u;
}

std::optional<ExtinfFields> ParseExtinf(QByteArrayView line) {
    if (!line.startsWith("#EXTINF:"))
        return std::nullopt;
    ExtinfFields fields;
    qsizetype i = 8;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < line.size() && line[i] == '-')
        ++i;
    while (i < line.size() && ((line[i] >= '0' && line[i] <= '9') || line[i] == '.'))
        ++i;
    bool ok = false;
    const double value = line.sliced(start, i - start).toByteArray().toDouble(&ok);
    if (ok && value >= 0)
        fields.seconds = static_cast<qint64>(value + 0.5);
    // The title follows the first comma outside quoted attribute values.
    bool quoted = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ',' && !quoted) {
            fields.title = line.sliced(i + 1).trimmed().toByteArray();
            break;
        }
    }
    return fields;
}

EntryList ReadPls(const QByteArray& bytes, const QString& shownName) {
    const QString text = decodeLoose(bytes);
    std::map<qint64, Track> byNumber;
    bool inPlaylist = false, sawSection = false;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n].trimmed();
        if (n == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            sawSection = true;
            inPlaylist = line.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw Error(
                withLineNumber(shownName, n + 1, QStringLiteral("not a \"key=value\" line")));
        if (!sawSection)
            throw Error(withLineNumber(shownName, n + 1,
                                       QStringLiteral("the file does not start with [playlist]")));
        if (!inPlaylist)
            continue;
        const QString key = line.first(eq).trimmed().toLower();
        const QString value = line.sliced(eq + 1).trimmed();
        // File1, Title1, Length1: the number ties them together, in any order.
        qsizetype digits = key.size();
        while (digits > 0 && key[digits - 1].isDigit())
            --digits;
        if (digits == key.size())
            continue;  // NumberOfEntries, Version: the tracks themselves say how many there are
        bool ok = false;
        const qint64 number = key.sliced(digits).toLongLong(&ok);
        const QString field = key.first(digits);
        if (!ok || (field != QLatin1String("file") && field != QLatin1String("title") &&
                    field != QLatin1String("length")))
            continue;
        Track& t = byNumber[number];
        if (field == QLatin1String("file")) {
            t.path = value.toUtf8();
        } else if (field == QLatin1String("title")) {
            t.title = value.toUtf8();
        } else {
            const qint64 seconds = value.toLongLong(&ok);
            if (!ok)
                throw Error(
                    withLineNumber(shownName, n + 1, QStringLiteral("the length is not a number")));
            if (seconds >= 0)
                t.seconds = seconds;
        }
    }
    if (!sawSection)
        throw Error(QStringLiteral("%1 is not a PLS playlist: it has no [playlist] section")
                        .arg(shownName));
    std::vector<Track> tracks;
    for (auto& [number, track] : byNumber) {
        if (!track.path.isEmpty())  // a title without a file names nothing to play
            tracks.push_back(std::move(track));
    }
    return toM3u(tracks);
}

EntryList ReadXspf(const QByteArray& bytes, const QString& shownName) {
    QXmlStreamReader xml(bytes);
    std::vector<Track> tracks;
    Track current;
    bool inTrack = false, sawPlaylist = false;
    QString creator;
    auto fail = [&](const QString& what) {
        throw Error(
            QStringLiteral("%1, line %2: %3").arg(shownName).arg(xml.lineNumber()).arg(what));
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("playlist")) {
                sawPlaylist = true;
            } else if (!sawPlaylist) {
                fail(QStringLiteral("<%1> where <playlist> should stand").arg(name));
            } else if (name == QLatin1String("track")) {
                inTrack = true;
                current = Track();
                creator.clear();
            } else if (inTrack && name == QLatin1String("location") && current.path.isEmpty()) {
                const QString location = xml.readElementText().trimmed();
                const QUrl url = QUrl::fromEncoded(location.toUtf8());
                if (url.isLocalFile())
                    current.path = QFile::encodeName(url.toLocalFile());
                else if (url.scheme().isEmpty())
                    current.path = QByteArray::fromPercentEncoding(location.toUtf8());
                else
                    current.path = location.toUtf8();
            } else if (inTrack && name == QLatin1String("title")) {
                current.title = xml.readElementText().trimmed().toUtf8();
            } else if (inTrack && name == QLatin1String("creator")) {
                creator = xml.readElementText().trimmed();
            } else if (inTrack && name == QLatin1String("duration")) {
                bool ok = false;
                const qint64 ms = xml.readElementText().trimmed().toLongLong(&ok);
                if (!ok)
                    fail(QStringLiteral("<duration> is not a number of milliseconds"));
                if (ms >= 0)
                    current.seconds = (ms + 500) / 1000;
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("track")) {
            inTrack = false;
            if (!creator.isEmpty())
                current.title = current.title.isEmpty() ? creator.toUtf8()
                                                        : creator.toUtf8() + " - " + current.title;
            if (!current.path.isEmpty())
                tracks.push_back(std::move(current));
        }
    }
    if (xml.hasError())
        fail(xml.errorString());
    if (!sawPlaylist)
        throw Error(QStringLiteral("%1 is not an XSPF playlist: it has no <playlist> element")
                        .arg(shownName));
    return toM3u(tracks);
}

QByteArray FormatPls(const EntryList& entries, TextEncoding encoding) {
    const std::vector<Track> tracks = tracksOf(entries, encoding);
    QByteArray out = "[playlist]\n";
    qint64 n = 0;
    for (const Track& t : tracks) {
        const QByteArray k = QByteArray::number(++n);
        out += "File" + k + '=' + t.path + '\n';
        if (!t.title.isEmpty())
            out += "Title" + k + '=' + t.title + '\n';
        out += "Length" + k + '=' + QByteArray::number(t.seconds.value_or(-1)) + '\n';
    }
    out += "NumberOfEntries=" + QByteArray::number(n) + "\nVersion=2\n";
    return out;
}

QByteArray FormatXspf(const EntryList& entries, TextEncoding encoding) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    xml.writeDefaultNamespace(QStringLiteral("http://xspf.org/ns/0/"));
    xml.writeStartElement(QStringLiteral("trackList"));
    for (const Track& t : tracksOf(entries, encoding)) {
        xml.writeStartElement(QStringLiteral("track"));
        // Local paths become file addresses; other names stay relative references, escaped.
        QByteArray location;
        if (isUrl(t.path))
            location = t.path;
        else if (t.path.startsWith('/'))
            location = QUrl::fromLocalFile(QFile::decodeName(t.path)).toEncoded();
        else
            location = t.path.toPercentEncoding("/");
        xml.writeTextElement(QStringLiteral("location"), QString::fromUtf8(location));
        if (!t.title.isEmpty())
            xml.writeTextElement(QStringLiteral("title"), QString::fromUtf8(t.title));
        if (t.seconds)
            xml.writeTextElement(QStringLiteral("duration"), QString::number(*t.seconds * 1000));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

void WritePlaylistAs(const QByteArray& fileName, const EntryList& entries, TextEncoding encoding,
                     LineEnd lineEnd) {
    const PlaylistFormat format = FormatOfName(fileName);
    if (format == PlaylistFormat::M3u) {
        WritePlaylist(fileName, entries, encoding, lineEnd);
        return;
    }
    const QByteArray bytes = format == PlaylistFormat::Pls ? FormatPls(entries, encoding)
                                                           : FormatXspf(entries, encoding);
    AtomicFile file(fileName);
    if (!file.open() || !file.write(bytes.constData(), bytes.size()) || !file.commit())
        throw Error(formatText("Cannot create file %s", fileName));
}

EntryList ReadPlaylistAsM3u(const QByteArray& fileName) {
    const QByteArray bytes = ReadWholeFile(fileName);
    const QString shown = QString::fromLocal8Bit(DisplayPath(fileName));
    return FormatOfName(fileName) == PlaylistFormat::Pls ? ReadPls(bytes, shown)
                                                         : ReadXspf(bytes, shown);
}

}  // namespace cadrell
