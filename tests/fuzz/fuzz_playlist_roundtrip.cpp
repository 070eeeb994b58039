// Reading any bytes as a playlist and writing it back must give a file that reads as the same
// entries, and the entry list must keep its text through edits of every kind. A plain vector of
// byte strings is the reference the slice-based list is checked against. The same script then
// drives the entry commands on a document: undone as often, they give back the loaded bytes.
// The file's encoding is checked too: what decodes is written back in the same encoding and reads
// as the same entries, byte for byte the file when all its lines end in CR LF.
#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "core/playlist/Editing.h"
#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"

using cadrell::EntryList;
using Reference = std::vector<QByteArray>;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void checkSame(const EntryList& list, const Reference& ref) {
    check(list.size() == static_cast<qsizetype>(ref.size()));
    qsizetype live = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        check(list.at(static_cast<qsizetype>(i)) == ref[i]);
        live += ref[i].size();
    }
    check(list.liveBytes() == live);
}

Reference splitToReference(const QByteArray& bytes) {
    Reference ref;
    for (const auto& [start, length] : cadrell::SplitLines(bytes))
        ref.push_back(bytes.mid(start, length));
    return ref;
}

// Reads the next byte of the edit script, 0 when it is used up.
struct Script {
    const uint8_t* p;
    size_t n;
    uint8_t next() {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    bool done() const { return n == 0; }
};

// Up to eight positions spread over the list, ascending and distinct, as the list requires.
std::vector<int> pickPositions(Script& s, size_t count) {
    std::vector<int> out;
    if (count == 0)
        return out;
    const uint8_t mask = s.next();
    for (size_t bit = 0; bit < 8; ++bit) {
        const int pos = static_cast<int>(bit * count / 8);
        if ((mask & (1u << bit)) && (out.empty() || pos > out.back()))
            out.push_back(pos);
    }
    return out;
}

void edit(EntryList& list, Reference& ref, Script& s) {
    for (int round = 0; round < 32 && !s.done(); ++round) {
        const size_t count = ref.size();
        switch (s.next() % 6) {
            case 0: {  // append a short text taken from the script
                const size_t len = s.next() % 16;
                QByteArray text;
                // A line terminator cannot be part of an entry that came from a file.
                for (size_t i = 0; i < len; ++i) {
                    const char c = static_cast<char>(s.next());
                    text.append(c == '\r' || c == '\n' ? '_' : c);
                }
                list.append(text);
                ref.push_back(text);
                break;
            }
            case 1: {  // remove some
                const std::vector<int> pos = pickPositions(s, count);
                list.removeSorted(pos);
                for (auto it = pos.rbegin(); it != pos.rend(); ++it)
                    ref.erase(ref.begin() + *it);
                break;
            }
            case 2: {  // shorten one from the front, as Remove Path does
                if (count == 0)
                    break;
                const size_t i = s.next() % count;
                const qsizetype from = ref[i].isEmpty() ? 0 : s.next() % (ref[i].size() + 1);
                list.dropPrefix(static_cast<qsizetype>(i), from);
                ref[i] = ref[i].mid(from);
                break;
            }
            case 3: {  // paste copies of some of itself
                const std::vector<int> pos = pickPositions(s, count);
                const size_t at = s.next() % (count + 1);
                Reference copies;
                for (int p : pos)
                    copies.push_back(ref[static_cast<size_t>(p)]);
                list.insertFrom(static_cast<qsizetype>(at), list, &pos);
                ref.insert(ref.begin() + static_cast<qsizetype>(at), copies.begin(), copies.end());
                break;
            }
            case 4: {  // move some before a row that is not moved, or to the end
                const std::vector<int> pos = pickPositions(s, count);
                qsizetype before = -1;
                if (count > 0 && (s.next() & 1)) {
                    const int cand = static_cast<int>(s.next() % count);
                    if (std::find(pos.begin(), pos.end(), cand) == pos.end())
                        before = cand;
                }
                Reference moved, rest;
                for (size_t i = 0; i < count; ++i) {
                    if (std::find(pos.begin(), pos.end(), static_cast<int>(i)) != pos.end())
                        moved.push_back(ref[i]);
                }
                size_t insertAt = 0;
                bool found = false;
                for (size_t i = 0; i < count; ++i) {
                    if (std::find(pos.begin(), pos.end(), static_cast<int>(i)) != pos.end())
                        continue;
                    if (before >= 0 && static_cast<qsizetype>(i) == before) {
                        insertAt = rest.size();
                        found = true;
                    }
                    rest.push_back(ref[i]);
                }
                if (!found)
                    insertAt = rest.size();
                rest.insert(rest.begin() + static_cast<qsizetype>(insertAt), moved.begin(),
                            moved.end());
                list.moveBefore(pos, before);
                ref = std::move(rest);
                break;
            }
            case 5: {  // paste from another list
                EntryList other;
                const QByteArray text("x\r\ny\r\n");
                other.adopt(text, cadrell::SplitLines(text));
                const size_t at = s.next() % (count + 1);
                list.insertFrom(static_cast<qsizetype>(at), other);
                ref.insert(ref.begin() + static_cast<qsizetype>(at),
                           {QByteArray("x"), QByteArray("y")});
                break;
            }
        }
        checkSame(list, ref);
    }
}

// Selected rows as a user's selection may hold them: any order, now and then one past the end.
std::vector<int> pickSelection(Script& s, size_t count) {
    std::vector<int> out;
    for (int k = s.next() % 4; k > 0; --k)
        out.push_back(static_cast<int>(s.next() % (count + 1)));
    return out;
}

void commands(cadrell::PlaylistDocument& doc, Script& s) {
    EntryList clipboard;
    cadrell::TIntList copied;
    for (int round = 0; round < 32 && !s.done(); ++round) {
        const size_t count = static_cast<size_t>(doc.Entries().size());
        switch (s.next() % 8) {
            case 0:
                cadrell::editing::DeleteEntries(doc, pickSelection(s, count));
                break;
            case 1:
                cadrell::editing::CutEntries(doc, pickSelection(s, count), clipboard, copied);
                break;
            case 2:
                cadrell::editing::PasteEntries(doc, pickSelection(s, count), clipboard);
                break;
            case 3:
                cadrell::editing::RemovePaths(doc, pickSelection(s, count));
                break;
            case 4:
                cadrell::editing::RemoveDrives(doc, pickSelection(s, count));
                break;
            case 5:
                cadrell::editing::CopyEntries(doc, pickSelection(s, count), clipboard, copied);
                cadrell::editing::DropWithin(doc, copied,
                                             static_cast<int>(s.next() % (count + 1)) - 1);
                break;
            case 6:
                cadrell::editing::AppendNames(doc, {QByteArray(s.next() % 4, 'n')});
                break;
            case 7:
                doc.undo();
                if (s.next() & 1)
                    doc.redo();
                break;
        }
    }
}

// Every line, the last one too, ended by CR LF: the text a save writes.
bool allCrLf(QByteArrayView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return text.isEmpty() || text.endsWith('\n');
}

void checkEncoding(const QByteArray& file) {
    using namespace cadrell;
    using namespace cadrell::editing;
    const TextEncoding encoding = DetectEncoding(file, false);
    const std::optional<FileText> text = DecodeFileText(file, encoding);
    if (!text) {
        // Only UTF-16 can fail to convert.
        check(IsUtf16(encoding));
        return;
    }
    const QByteArrayView body = QByteArrayView(text->bytes).sliced(text->offset);
    const Reference read = splitToReference(body.toByteArray());
    EntryList entries;
    entries.adopt(body.toByteArray(), SplitLines(body));
    const QByteArray formatted = FormatPlaylist(entries);
    QByteArray written = FileMark(encoding);
    if (IsUtf16(encoding)) {
        // Decoded UTF-16 is always valid UTF-8, so it can always be written back.
        const std::optional<QByteArray> utf16 = EncodeUtf16(formatted, encoding);
        check(utf16.has_value());
        written += *utf16;
    } else {
        written += formatted;
    }
    if (allCrLf(body))
        check(written == file);
    const std::optional<FileText> again = DecodeFileText(written, encoding);
    check(again.has_value());
    check(splitToReference(again->bytes.sliced(again->offset)) == read);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first 64 bytes at most steer the edits; the rest is the file.
    const size_t scriptLen = size > 0 ? std::min<size_t>(data[0] % 65, size - 1) : 0;
    const QByteArray file(reinterpret_cast<const char*>(data) + (size > 0 ? 1 + scriptLen : 0),
                          static_cast<qsizetype>(size > 0 ? size - 1 - scriptLen : 0));

    // Read: the lines cover the file, never hold a terminator, and keep every other byte.
    const auto lines = cadrell::SplitLines(file);
    qsizetype previousEnd = 0;
    for (const auto& [start, length] : lines) {
        check(start >= previousEnd && length >= 0 && start + length <= file.size());
        for (qsizetype i = previousEnd; i < start; ++i)
            check(file[i] == '\r' || file[i] == '\n');
        for (qsizetype i = start; i < start + length; ++i)
            check(file[i] != '\r' && file[i] != '\n');
        previousEnd = start + length;
    }
    for (qsizetype i = previousEnd; i < file.size(); ++i)
        check(file[i] == '\r' || file[i] == '\n');

    checkEncoding(file);

    EntryList entries;
    entries.adopt(file, lines);
    const Reference read = splitToReference(file);
    checkSame(entries, read);

    // Write and read again: the same entries, every one ended by CR LF.
    const QByteArray written = cadrell::FormatPlaylist(entries);
    check(written.isEmpty() == entries.empty());
    check(written.isEmpty() || written.endsWith("\r\n"));
    check(splitToReference(written) == read);

    // Edited, the list still matches the reference, and its file reads back as the same.
    Reference ref = read;
    Script script{data + 1, scriptLen};
    edit(entries, ref, script);
    const QByteArray rewritten = cadrell::FormatPlaylist(entries);
    Reference expected;
    for (const QByteArray& e : ref) {
        // An entry holding a terminator cannot survive a file; none can arise from editing.
        check(!e.contains('\r') && !e.contains('\n'));
        expected.push_back(e);
    }
    check(splitToReference(rewritten) == expected);

    // Commands and as many undos give back the loaded bytes; as many redos, the edited ones.
    cadrell::PlaylistDocument doc;
    doc.edit([&](EntryList& e) { e.adopt(file, lines); });
    doc.markClean();
    const QByteArray loaded = cadrell::FormatPlaylist(doc.Entries());
    Script again{data + 1, scriptLen};
    commands(doc, again);
    const QByteArray edited = cadrell::FormatPlaylist(doc.Entries());
    const int steps = doc.history().index();
    while (doc.history().canUndo())
        doc.undo();
    check(cadrell::FormatPlaylist(doc.Entries()) == loaded);
    check(!doc.Modified());
    for (int i = 0; i < steps; ++i)
        doc.redo();
    check(cadrell::FormatPlaylist(doc.Entries()) == edited);
    check(doc.Modified() == (steps > 0));
    return 0;
}
