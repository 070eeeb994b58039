#include "core/playlist/PlaylistFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "core/platform/AtomicFile.h"
#include "core/platform/Error.h"
#include "core/platform/Fd.h"
#include "core/platform/FileStamp.h"
#include "core/platform/PathParts.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/PlaylistDocument.h"

namespace cadrell {

namespace {

// Entries keep 32-bit lengths and the reader holds the whole file; beyond this a playlist is
// not a playlist.
constexpr qint64 kMaxFileSize = qint64(4) << 30;

[[noreturn]] void cannotOpen(const QByteArray& fileName) {
    throw Error(formatText("Cannot open file %s", fileName));
}

// Something is there under the name, whether or not it can be read; a name with a zero byte
// names nothing (only the part before it would be looked at).
bool fileExists(const QByteArray& fileName) {
    if (fileName.isEmpty() || fileName.contains('\0'))
        return false;
    struct stat st;
    return ::stat(fileName.constData(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

}  // namespace

std::vector<std::pair<qsizetype, qsizetype>> SplitLines(QByteArrayView data) {
    std::vector<std::pair<qsizetype, qsizetype>> lines;
    const char* const begin = data.data();
    const char* const end = begin + data.size();
    const char* p = begin;
    lines.reserve(static_cast<size_t>(data.size() / 48 + 1));
    const char* lf = nullptr;  // the next LF at or after p, or end
    while (p < end) {
        const char* start = p;
        // Most files end lines with LF or CR LF: look for LF at memchr speed, then for a CR
        // inside the line found. The LF found is kept while lone CRs end the lines before it.
        if (lf < p) {
            lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!lf)
                lf = end;
        }
        const char* stop = lf;
        const char* cr =
            static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(stop - p)));
        const char* term = cr ? cr : stop;
        lines.emplace_back(start - begin, term - start);
        p = term;
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
    }
    return lines;
}

QByteArray ReadWholeFile(const QByteArray& fileName, FileStamp* stamp) {
    // Non-blocking so that a FIFO cannot hang the program before it is recognised.
    Fd fd(::open(fileName.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    // A zero byte would cut the name short and open some other file.
    if (fileName.isEmpty() || fileName.contains('\0') || fd.get() < 0 ||
        ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        cannotOpen(fileName);
    if (st.st_size > kMaxFileSize)
        cannotOpen(fileName);
    if (stamp)
        *stamp = StampOf(st);
    QByteArray data;
    try {
        data.resize(static_cast<qsizetype>(st.st_size));
        qsizetype done = 0;
        char more[65536];
        for (;;) {
            // Once the size fstat gave is read, the file may still have grown: what follows is
            // read aside and added, so that a file of the size it said is never reallocated (a
            // buffer grown by a resize keeps an eighth more than it holds for as long as the
            // playlist is open).
            const bool full = done == data.size();
            char* const to = full ? more : data.data() + done;
            const size_t room = full ? sizeof more : static_cast<size_t>(data.size() - done);
            const ssize_t n = ::read(fd.get(), to, room);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                cannotOpen(fileName);
            if (n == 0)
                break;
            if (full) {
                if (data.size() + n > kMaxFileSize)
                    cannotOpen(fileName);
                data.append(more, n);
            }
            done += n;
        }
        data.resize(done);
        if (data.capacity() > data.size() + data.size() / 64)
            data.squeeze();
    } catch (const std::bad_alloc&) {
        cannotOpen(fileName);
    }
    return data;
}

QByteArray FormatPlaylist(const EntryList& entries, LineEnd lineEnd) {
    const QByteArrayView end = LineEndBytes(lineEnd);
    QByteArray out;
    out.resize(entries.liveBytes() + end.size() * entries.size());
    char* p = out.data();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView e = entries.at(i);
        std::memcpy(p, e.data(), static_cast<size_t>(e.size()));
        p += e.size();
        std::memcpy(p, end.data(), static_cast<size_t>(end.size()));
        p += end.size();
    }
    return out;
}

qint64 EncodedSize(const EntryList& entries, TextEncoding encoding, LineEnd lineEnd) {
    const qint64 mark = FileMark(encoding).size();
    const qint64 end = LineEndBytes(lineEnd).size();
    if (!IsUtf16(encoding))
        return mark + entries.liveBytes() + end * qint64(entries.size());
    // Valid UTF-8 (checked before anything is written): one UTF-16 unit for each character,
    // two for a character of four bytes.
    qint64 units = end * qint64(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        for (const char c : entries.at(i)) {
            const auto b = static_cast<unsigned char>(c);
            units += ((b & 0xC0) != 0x80) + (b >= 0xF0);
        }
    }
    return mark + 2 * units;
}

FileStamp WritePlaylist(const QByteArray& fileName, const EntryList& entries, TextEncoding encoding,
                        LineEnd lineEnd) {
    const QByteArrayView end8 = LineEndBytes(lineEnd);
    // Every entry is checked before the old file is touched, then converted piece by piece.
    const bool utf16 = IsUtf16(encoding);
    if (utf16) {
        if (const qsizetype bad = FirstUnconvertible(entries, TextEncoding::Utf8, encoding);
            bad >= 0)
            throw Error(QStringLiteral("Cannot save %1 in %2: entry %3 is not valid text")
                            .arg(QString::fromLocal8Bit(fileName), EncodingName(encoding))
                            .arg(bad + 1));
    }
    AtomicFile file(fileName);
    // What the file system adds to the bare message: why nothing was touched, or where the old
    // text is kept.
    auto failed = [&](const QString& message) {
        const QString detail = file.detail();
        return Error(detail.isEmpty() ? message : message + QStringLiteral(": ") + detail);
    };
    if (!file.open(EncodedSize(entries, encoding, lineEnd)))
        throw failed(formatText("Cannot create file %s", fileName));
    // Written in pieces: no second copy of a large playlist in memory, and a piece small enough
    // to stay in the cache between being filled and being written.
    constexpr qsizetype kPiece = 1 << 20;
    const std::unique_ptr<char[]> piece(new char[kPiece]);
    qsizetype used = 0;
    auto flush = [&] {
        if (!file.write(piece.get(), used))
            throw failed(QStringLiteral("Stream write error"));
        used = 0;
    };
    auto put = [&](const char* p, qsizetype n) {
        while (n > 0) {
            const qsizetype take = std::min(n, kPiece - used);
            std::memcpy(piece.get() + used, p, static_cast<size_t>(take));
            used += take;
            p += take;
            n -= take;
            if (used == kPiece)
                flush();
        }
    };
    const QByteArray mark = FileMark(encoding);
    put(mark.constData(), mark.size());
    if (utf16) {
        // Entries read from the file lie one after another in its buffer, a line end apart; such
        // a run is converted in one call, as large as half a piece.
        const QByteArray lineEnd16 = *EncodeUtf16(end8, encoding);
        const qsizetype gap = end8.size();
        for (qsizetype i = 0; i < entries.size();) {
            const char* const begin = entries.at(i).data();
            const char* end = begin + entries.at(i).size();
            for (++i; i < entries.size(); ++i) {
                const QByteArrayView next = entries.at(i);
                if (next.data() != end + gap || std::memcmp(end, end8.data(), size_t(gap)) != 0 ||
                    next.data() + next.size() - begin > kPiece / 2 - 2)
                    break;
                end = next.data() + next.size();
            }
            const QByteArrayView run(begin, end - begin);
            if (used + 2 * run.size() + lineEnd16.size() > kPiece)
                flush();
            if (2 * run.size() > kPiece - lineEnd16.size()) {
                const QByteArray whole = *EncodeUtf16(run, encoding);
                put(whole.constData(), whole.size());
            } else {
                used += EncodeValidUtf16(run, encoding, piece.get() + used);
            }
            put(lineEnd16.constData(), lineEnd16.size());
        }
    } else {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QByteArrayView e = entries.at(i);
            put(e.data(), e.size());
            put(end8.data(), end8.size());
        }
    }
    flush();
    // Bytes that were written but never reached the disk, or a file that was never put in its
    // place: either way the file named was not made.
    if (!file.commit())
        throw failed(formatText("Cannot create file %s", fileName));
    return file.stamp();
}

PlaylistText ReadPlaylist(const QByteArray& fileName) {
    PlaylistText out;
    QByteArray data = ReadWholeFile(fileName, &out.stamp);
    out.encoding = DetectEncoding(data, IsUtf8PlaylistName(fileName));
    std::optional<FileText> text = DecodeFileText(std::move(data), out.encoding);
    // Loading it as 8-bit text would split lines inside characters and ruin it on the next save.
    if (!text)
        throw Error(formatText("Cannot open file %s: it is not valid UTF-16 text", fileName));
    auto lines = SplitLines(QByteArrayView(text->bytes).sliced(text->offset));
    if (text->offset)
        for (auto& line : lines)
            line.first += text->offset;
    out.lineEnd = DetectLineEnd(QByteArrayView(text->bytes).sliced(text->offset));
    out.entries.adopt(std::move(text->bytes), lines);
    return out;
}

void LoadPlaylist(PlaylistDocument& doc) {
    UpdateBatch batch(doc);
    batch.entries().clear();
    doc.DiskStamp.reset();
    // Stays set when the read fails: the empty window must not silently replace a playlist
    // that is there but could not be read.
    doc.UnreadFile = fileExists(doc.FileName);
    PlaylistText text = ReadPlaylist(doc.FileName);
    doc.UnreadFile = false;
    batch.entries() = std::move(text.entries);
    doc.Encoding = text.encoding;
    doc.LineEnds = text.lineEnd;
    doc.DiskStamp = text.stamp;
    doc.markClean();
}

void ReloadPlaylist(PlaylistDocument& doc, PlaylistText text) {
    Change change = Change::reset(std::move(text.entries));
    change.setEncoding(text.encoding);
    change.setLineEnd(text.lineEnd);
    doc.perform(std::move(change), QStringLiteral("Reload"));
    doc.markClean();
    doc.DiskStamp = text.stamp;
    doc.UnreadFile = false;
}

bool ChangedOnDisk(const PlaylistDocument& doc) {
    if (doc.untitled() || !doc.DiskStamp)
        return false;
    const std::optional<FileStamp> now = StampOfFile(doc.FileName);
    return now && *now != *doc.DiskStamp;
}

void SavePlaylist(PlaylistDocument& doc) {
    doc.DiskStamp = WritePlaylist(doc.FileName, doc.Entries(), doc.Encoding, doc.LineEnds);
    doc.markClean();
    doc.UnreadFile = false;
}

QByteArray WithPlaylistExtension(const QByteArray& name) {
    const QByteArray ext = Extension(name);
    return ext == ".m3u" || ext == ".m3u8" ? name : name + ".m3u";
}

bool IsUtf8PlaylistName(const QByteArray& name) {
    return Extension(name).compare(".m3u8", Qt::CaseInsensitive) == 0;
}

}  // namespace cadrell
