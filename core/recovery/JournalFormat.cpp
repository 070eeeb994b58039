#include "core/recovery/JournalFormat.h"

#include <cstring>

#include "core/platform/Error.h"
#include "core/recovery/ChangeRecord.h"
#include "core/recovery/JournalBytes.h"

namespace cadrell {

namespace {

constexpr int kLastEncoding = static_cast<int>(TextEncoding::Windows1252);
constexpr int kLastLineEnd = static_cast<int>(LineEnd::Lf);
// A record's frame around its payload: length, type, CRC.
constexpr qsizetype kFrame = 9;
// Payloads from this size on are compressed, which the type's high bit says.
constexpr qsizetype kPackFrom = 4096;
constexpr uint8_t kPacked = 0x80;
// The most a compressed payload may claim to unpack to, for its size: zlib cannot do better
// than about 1000 to 1, and a damaged length must not ask for gigabytes.
bool plausiblyPacked(QByteArrayView packed) {
    if (packed.size() < 4)
        return false;
    ByteReader r(packed.first(4));
    const uint32_t big = r.u32();
    // qCompress stores the length big-endian.
    const uint32_t claimed =
        ((big & 0xFF) << 24) | ((big & 0xFF00) << 8) | ((big >> 8) & 0xFF00) | (big >> 24);
    return claimed <= 1032u * uint64_t(packed.size()) + 1024 && claimed <= (1u << 31) - 1024;
}

enum StartFlag : uint8_t {
    Untitled = 1,
    FileKnown = 2,
    HasCopy = 4,
    Snapshot = 8,
};

std::optional<JournalStart> readStart(QByteArrayView payload) {
    ByteReader r(payload);
    JournalStart s;
    s.pid = r.u32();
    s.createdMs = r.i64();
    const uint8_t flags = r.u8();
    s.untitled = flags & Untitled;
    s.fileKnown = flags & FileKnown;
    s.hasCopy = flags & HasCopy;
    s.snapshot = flags & Snapshot;
    s.fileName = r.bytes().toByteArray();
    s.fileSize = r.i64();
    s.mtimeSec = r.i64();
    s.mtimeNsec = r.i64();
    s.fileHash = r.bytes().toByteArray();
    const int encoding = r.u8();
    const int lineEnd = r.u8();
    s.stepsBefore = r.i64();
    s.lastChangeMs = r.i64();
    // Later versions of this record may add fields at its end; this version reads its own.
    if (!r.ok() || encoding > kLastEncoding || lineEnd > kLastLineEnd || s.stepsBefore < 0)
        return std::nullopt;
    s.encoding = static_cast<TextEncoding>(encoding);
    s.lineEnd = static_cast<LineEnd>(lineEnd);
    return s;
}

std::optional<EntryList> readEntries(QByteArrayView payload) {
    ByteReader r(payload);
    const qsizetype n = r.count();
    EntryList entries;
    for (qsizetype k = 0; k < n && r.ok(); ++k) {
        const QByteArrayView b = r.bytes();
        if (b.size() > 0xFFFFFFFFLL)
            r.fail();
        entries.append(b);
    }
    if (!r.ok() || !r.atEnd())
        return std::nullopt;
    return entries;
}

}  // namespace

QByteArray JournalPreamble(uint32_t version) {
    QByteArray out(kJournalMark, 8);
    ByteWriter(out).u32(version);
    return out;
}

void AppendRecord(QByteArray& out, RecordType type, QByteArrayView payload) {
    // Playlists are repetitive text: a copy of the entries, or the texts a large undo brings
    // back, shrink several times over, and the writer's thread has the time.
    QByteArray packed;
    if (payload.size() >= kPackFrom) {
        packed = qCompress(reinterpret_cast<const uchar*>(payload.data()),
                           static_cast<qsizetype>(payload.size()), 1);
        if (packed.size() < payload.size())
            payload = packed;
        else
            packed.clear();
    }
    const char t = static_cast<char>(static_cast<uint8_t>(type) | (packed.isEmpty() ? 0 : kPacked));
    ByteWriter w(out);
    w.u32(static_cast<uint32_t>(payload.size()));
    w.u8(static_cast<uint8_t>(t));
    w.raw(payload);
    w.u32(Crc32(payload, Crc32(QByteArrayView(&t, 1))));
}

QByteArray StartPayload(const JournalStart& s) {
    QByteArray out;
    ByteWriter w(out);
    w.u32(s.pid);
    w.i64(s.createdMs);
    w.u8(static_cast<uint8_t>((s.untitled ? Untitled : 0) | (s.fileKnown ? FileKnown : 0) |
                              (s.hasCopy ? HasCopy : 0) | (s.snapshot ? Snapshot : 0)));
    w.bytes(s.fileName);
    w.i64(s.fileSize);
    w.i64(s.mtimeSec);
    w.i64(s.mtimeNsec);
    w.bytes(s.fileHash);
    w.u8(static_cast<uint8_t>(s.encoding));
    w.u8(static_cast<uint8_t>(s.lineEnd));
    w.i64(s.stepsBefore);
    w.i64(s.lastChangeMs);
    return out;
}

QByteArray EntriesPayload(const EntryList& entries) {
    QByteArray out;
    out.reserve(entries.liveBytes() + 2 * entries.size() + 8);
    ByteWriter w(out);
    w.varint(static_cast<uint64_t>(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        w.bytes(entries.at(i));
    return out;
}

QByteArray ChangePayload(const Change& change, int64_t timeMs) {
    QByteArray out;
    ByteWriter(out).i64(timeMs);
    ChangeRecord::serialize(change, out);
    return out;
}

JournalContents ParseJournal(QByteArrayView bytes) {
    JournalContents j;
    if (bytes.size() < kJournalPreamble || std::memcmp(bytes.data(), kJournalMark, 8) != 0)
        return j;
    ByteReader pre(bytes.sliced(8, 4));
    j.version = pre.u32();
    if (j.version > kJournalVersion) {
        j.state = JournalContents::State::NewerVersion;
        return j;
    }
    if (j.version == 0)
        return j;
    j.state = JournalContents::State::NoStart;
    qsizetype at = kJournalPreamble;
    bool haveStart = false;
    while (bytes.size() - at >= kFrame) {
        ByteReader head(bytes.sliced(at, 5));
        const qint64 length = head.u32();
        const uint8_t typeByte = head.u8();
        const auto type = static_cast<RecordType>(typeByte & ~kPacked);
        if (length > bytes.size() - at - kFrame)
            break;
        const QByteArrayView typeAndPayload = bytes.sliced(at + 4, 1 + length);
        ByteReader tail(bytes.sliced(at + 5 + length, 4));
        if (tail.u32() != Crc32(typeAndPayload))
            break;
        QByteArray unpacked;
        QByteArrayView payload = typeAndPayload.sliced(1);
        if (typeByte & kPacked) {
            if (!plausiblyPacked(payload))
                break;
            unpacked = qUncompress(reinterpret_cast<const uchar*>(payload.data()), payload.size());
            if (unpacked.isEmpty())
                break;
            payload = unpacked;
        }
        bool good = false;
        if (!haveStart) {
            if (type == RecordType::Start) {
                if (std::optional<JournalStart> s = readStart(payload)) {
                    j.start = std::move(*s);
                    haveStart = true;
                    j.state = JournalContents::State::Ok;
                    good = true;
                }
            }
        } else if (type == RecordType::Entries && j.start.hasCopy && !j.copy && j.steps.empty()) {
            if (std::optional<EntryList> copy = readEntries(payload)) {
                j.copy = std::move(*copy);
                good = true;
            }
        } else if (type == RecordType::Change && (j.copy || !j.start.hasCopy)) {
            ByteReader r(payload);
            const int64_t time = r.i64();
            if (r.ok()) {
                if (std::optional<Change> c = ChangeRecord::deserialize(payload.sliced(8))) {
                    j.steps.push_back({std::move(*c), time});
                    good = true;
                }
            }
        }
        if (!good)
            break;
        at += kFrame + length;
    }
    j.ignoredBytes = bytes.size() - at;
    return j;
}

ReplayResult Replay(EntryList base, TextEncoding encoding, LineEnd lineEnd,
                    std::vector<JournalContents::Step> steps) {
    ReplayResult out;
    out.entries = std::move(base);
    out.encoding = encoding;
    out.lineEnd = lineEnd;
    for (JournalContents::Step& step : steps) {
        const std::optional<TextEncoding> e = step.change.encoding();
        const std::optional<LineEnd> l = step.change.lineEnd();
        try {
            std::move(step.change).apply(out.entries);
        } catch (const Error&) {
            // The entries are untouched by a change that does not fit; what follows it was
            // made on top of it, so it cannot be trusted either.
            out.stoppedEarly = true;
            break;
        }
        if (e)
            out.encoding = *e;
        if (l)
            out.lineEnd = *l;
        ++out.applied;
    }
    out.entries.dropUnusedBuffers();
    return out;
}

}  // namespace cadrell
