// Times the large-playlist paths against what the machine can do at best, and prints a table.
//
//   bench_playlist [--runs N] [--markdown] [--raw] <playlist>...
//
// --raw also prints every run's figures (on stderr), to see how much a busy machine scatters them.
//
// Every figure is the median of N runs; the runs interleave all measurements, so a burst of
// load on a shared machine touches floors and commands alike rather than one row of the table.
// The floors:
//   read   one read() of the whole file into a fresh buffer, then memchr for every line end;
//   write  the file's bytes written to a new file in one write(), fsync'd, renamed over another;
//   copy   a deep copy of every entry's bytes into one new buffer sized in advance, plus a new
//          16-byte (offset, length) record per entry: the least any command that touches every
//          entry could cost.

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMdiSubWindow>
#include <QStringEncoder>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/PlaylistListView.h"

using namespace cadrell;
using namespace cadrell::editing;

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_playlist: %s\n", what.c_str());
    std::exit(1);
}

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Freed memory goes back to the system first, so every step starts alike: a step that found a
// freed hole in the heap would skip the page faults the others pay.
double timed(const std::function<void()>& f) {
    malloc_trim(0);
    QElapsedTimer t;
    t.start();
    f();
    return msSince(t);
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Resident bytes, with freed heap handed back first so only what is still held counts.
qint64 residentBytes() {
    malloc_trim(0);
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long long size = 0, resident = 0;
    if (!f || std::fscanf(f, "%lld %lld", &size, &resident) != 2)
        fail("cannot read /proc/self/statm");
    std::fclose(f);
    return resident * sysconf(_SC_PAGESIZE);
}

// --- Floors --------------------------------------------------------------------------------

qsizetype readFloor(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        fail("cannot open " + path.toStdString());
    const size_t size = static_cast<size_t>(st.st_size);
    std::unique_ptr<char[]> buf(new char[size]);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf.get() + done, size - done);
        if (n <= 0)
            fail("cannot read " + path.toStdString());
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    qsizetype lines = 0;
    const char* p = buf.get();
    const char* const end = p + size;
    while (const char* lf =
               static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) {
        ++lines;
        p = lf + 1;
    }
    return lines;
}

void writeFloor(const QByteArray& bytes, const QByteArray& temp, const QByteArray& target) {
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create " + temp.toStdString());
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            fail("cannot write " + temp.toStdString());
        done += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0)
        fail("cannot finish " + target.toStdString());
}

struct DeepCopy {
    QByteArray text;
    std::vector<std::pair<uint64_t, uint64_t>> spans;
};

DeepCopy copyFloor(const EntryList& entries) {
    DeepCopy c;
    c.text.resize(entries.liveBytes());
    c.spans.resize(static_cast<size_t>(entries.size()));
    char* const out = c.text.data();
    uint64_t at = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QByteArrayView e = entries.at(i);
        std::memcpy(out + at, e.data(), static_cast<size_t>(e.size()));
        c.spans[static_cast<size_t>(i)] = {at, static_cast<uint64_t>(e.size())};
        at += static_cast<uint64_t>(e.size());
    }
    return c;
}

// --- Selections ----------------------------------------------------------------------------

Selection everyOther(qsizetype n) {
    Selection s;
    for (int i = 0; i < n; i += 2)
        s.push_back(i);
    return s;
}

Selection allRows(qsizetype n) {
    Selection s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<size_t>(i)] = i;
    return s;
}

// `count` rows spread over the list, not evenly: a step that wanders, so no pattern is special.
Selection scattered(qsizetype n, qsizetype count) {
    count = std::min(count, n);
    Selection s;
    s.reserve(static_cast<size_t>(count));
    const double step = static_cast<double>(n) / static_cast<double>(count);
    uint32_t r = 12345;
    for (qsizetype k = 0; k < count; ++k) {
        r = r * 1103515245u + 12345u;
        const double jitter =
            step > 2 ? static_cast<double>((r >> 16) % 1000) / 1000.0 * (step - 1) : 0;
        s.push_back(static_cast<int>(static_cast<double>(k) * step + jitter));
    }
    s.erase(std::unique(s.begin(), s.end()), s.end());
    return s;
}

// --- The window ----------------------------------------------------------------------------

// Paints through the list's own delegate and notes that rows were painted. Installed when a
// list is first polished or shown (a window is shown before anything is loaded into it), so
// timing a window touches neither the window's code nor the order of its layouts.
class PaintCounter : public QAbstractItemDelegate {
public:
    PaintCounter(QAbstractItemDelegate* inner, QObject* parent)
        : QAbstractItemDelegate(parent), inner_(inner) {
        setObjectName(QLatin1String(kName));
    }
    static constexpr char kName[] = "bench-paint-counter";
    // Without a meta-object of its own it is found by name.
    static PaintCounter* of(QObject* view) {
        return static_cast<PaintCounter*>(view->findChild<QAbstractItemDelegate*>(
            QLatin1String(kName), Qt::FindDirectChildrenOnly));
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        inner_->paint(painter, option, index);
        ++rows;
        if (loop)
            loop->quit();  // exec() returns once this paint event has been handled
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return inner_->sizeHint(option, index);
    }
    mutable qint64 rows = 0;
    QEventLoop* loop = nullptr;

private:
    QAbstractItemDelegate* inner_;
};

class CounterInstaller : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish || event->type() == QEvent::Show) {
            auto* view = qobject_cast<PlaylistListView*>(watched);
            if (view && !PaintCounter::of(view))
                view->setItemDelegate(new PaintCounter(view->itemDelegate(), view));
        }
        return false;
    }
};

// Runs the event loop until the list has painted rows: before its delayed layout has run it
// paints an empty list, and the user still sees nothing.
void waitForRows(PlaylistListView* view) {
    PaintCounter* const counter = PaintCounter::of(view);
    if (!counter)
        fail("the list was never polished");
    const qint64 before = counter->rows;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(30000);
    while (counter->rows == before && timeout.isActive()) {
        counter->loop = &loop;
        loop.exec();
        counter->loop = nullptr;
    }
    if (counter->rows == before)
        fail("the list never painted its rows");
}

void closeWindow(TMDIChild* child) {
    child->Document.markClean();
    if (QMdiSubWindow* sub = child->subWindow())
        sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// --- The table -----------------------------------------------------------------------------

struct Row {
    std::string name;
    double value;  // ms, or bytes for memory
    std::string floorName;
    double floor = 0;
    double target = 0;  // 0: no target
    std::string note;
};

std::string fmt(const char* f, double v) {
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

std::string withCommas(long long n) {
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<size_t>(i), ",");
    return s;
}

// Pads to a width in characters, not bytes: the table uses the multiplication sign.
std::string pad(const std::string& text, size_t width, bool right) {
    size_t chars = 0;
    for (unsigned char c : text)
        chars += (c & 0xC0) != 0x80;
    const std::string fill(width > chars ? width - chars : 0, ' ');
    return right ? fill + text : text + fill;
}

void printTable(const std::vector<Row>& rows, bool markdown, bool judge) {
    if (markdown)
        std::printf(
            "| measure | median | vs | ratio | target | result |\n|---|--:|---|--:|--:|---|\n");
    else
        std::printf("  %s %s  %s %s %s\n", pad("measure", 52, false).c_str(),
                    pad("median", 10, true).c_str(), pad("vs", 5, false).c_str(),
                    pad("ratio", 7, true).c_str(), pad("target", 8, true).c_str());
    for (const Row& r : rows) {
        const std::string value = r.floorName == "file"
                                      ? fmt("%.1f MB", r.value / 1e6)
                                      : fmt(r.value < 10 ? "%.2f ms" : "%.1f ms", r.value);
        const std::string ratio = r.floor > 0 ? fmt("%.2f\u00d7", r.value / r.floor) : "";
        const std::string target = r.target > 0 ? fmt("%.1f\u00d7", r.target) : "";
        std::string verdict;
        if (judge && r.target > 0)
            verdict = r.value <= r.target * r.floor ? "met" : "MISSED";
        if (!r.note.empty())
            verdict += (verdict.empty() ? "" : ", ") + r.note;
        if (markdown)
            std::printf("| %s | %s | %s | %s | %s | %s |\n", r.name.c_str(), value.c_str(),
                        r.floorName.c_str(), ratio.c_str(),
                        target.empty() ? "" : ("\u2264 " + target).c_str(), verdict.c_str());
        else
            std::printf("  %s %s  %s %s %s  %s\n", pad(r.name, 52, false).c_str(),
                        pad(value, 10, true).c_str(), pad(r.floorName, 5, false).c_str(),
                        pad(ratio, 7, true).c_str(),
                        pad(target.empty() ? "" : "\u2264" + target, 8, true).c_str(),
                        verdict.c_str());
    }
}

std::string cpuName() {
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return line.mid(line.indexOf(':') + 1).trimmed().toStdString();
        }
    }
    return "unknown CPU";
}

// --- One playlist --------------------------------------------------------------------------

void benchFile(const QByteArray& path, int runs, bool markdown, bool raw) {
    QTemporaryDir work(QFileInfo(QFile::decodeName(path)).absolutePath() +
                       QStringLiteral("/bench-XXXXXX"));
    if (!work.isValid())
        fail("cannot make a work folder beside " + path.toStdString());
    const QByteArray dir = QFile::encodeName(work.path()) + '/';
    const QByteArray bytes = ReadWholeFile(path);
    const QByteArray saveTarget = dir + "save.m3u";
    const QByteArray floorTarget = dir + "floor.m3u";
    // The same playlist in the other encodings a file may come in: UTF-16 LE with its mark, and
    // Windows-1252 (names it cannot hold get "?", which leaves enough bytes above 0x7F to make the
    // file invalid UTF-8).
    const QString text = QString::fromUtf8(bytes);
    const QByteArray utf16 =
        "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const QByteArray windows1252 = QStringEncoder("windows-1252").encode(text);
    const QByteArray utf16File = dir + "utf16.m3u", utf16SaveTarget = dir + "save-utf16.m3u",
                     windows1252File = dir + "windows1252.m3u";
    for (const auto& [f, content] :
         std::vector<std::pair<QByteArray, QByteArray>>{{saveTarget, bytes},
                                                        {floorTarget, bytes},
                                                        {utf16File, utf16},
                                                        {utf16SaveTarget, utf16},
                                                        {windows1252File, windows1252}}) {
        QFile out(QFile::decodeName(f));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            fail("cannot write " + f.toStdString());
    }

    std::map<std::string, std::vector<double>> t;
    qsizetype entries = 0;
    auto loaded = [&] {
        auto doc = std::make_unique<PlaylistDocument>();
        doc->FileName = path;
        LoadPlaylist(*doc);
        return doc;
    };
    // One command on a freshly loaded document; `prepare` runs untimed. Then the undo of its
    // `steps` steps, and their redo.
    auto command = [&](const std::string& name,
                       const std::function<std::function<void()>(PlaylistDocument&)>& prepare,
                       int steps = 1) {
        auto doc = loaded();
        const std::function<void()> run = prepare(*doc);
        t[name].push_back(timed(run));
        if (steps == 0)
            return;
        if (doc->history().index() != steps)
            fail(name + ": not the expected number of undo steps");
        t[name + " undo"].push_back(timed([&] {
            for (int i = 0; i < steps; ++i)
                doc->undo();
        }));
        t[name + " redo"].push_back(timed([&] {
            for (int i = 0; i < steps; ++i)
                doc->redo();
        }));
    };

    for (int run = 0; run < runs; ++run) {
        t["read floor"].push_back(timed([&] { entries = readFloor(path); }));

        {
            const qint64 before = residentBytes();
            auto doc = std::make_unique<PlaylistDocument>();
            doc->FileName = path;
            t["load"].push_back(timed([&] { LoadPlaylist(*doc); }));
            t["memory"].push_back(static_cast<double>(residentBytes() - before));
            entries = doc->Entries().size();

            t["write floor"].push_back(
                timed([&] { writeFloor(bytes, dir + "floor.tmp", floorTarget); }));
            doc->FileName = saveTarget;
            t["save"].push_back(timed([&] { SavePlaylist(*doc); }));

            DeepCopy copy;
            t["copy floor"].push_back(timed([&] { copy = copyFloor(doc->Entries()); }));
        }
        {
            auto doc = std::make_unique<PlaylistDocument>();
            doc->FileName = utf16File;
            t["load utf16"].push_back(timed([&] { LoadPlaylist(*doc); }));
            if (doc->Encoding != TextEncoding::Utf16LE)
                fail("the UTF-16 playlist was not read as UTF-16 LE");
            // Twice the bytes of the UTF-8 file: the floor of writing them, to see what is the
            // disk's and what the conversion's.
            t["write floor utf16"].push_back(
                timed([&] { writeFloor(utf16, dir + "floor.tmp", floorTarget); }));
            doc->FileName = utf16SaveTarget;
            t["save utf16"].push_back(timed([&] { SavePlaylist(*doc); }));
        }
        {
            auto doc = std::make_unique<PlaylistDocument>();
            doc->FileName = windows1252File;
            t["load windows1252"].push_back(timed([&] { LoadPlaylist(*doc); }));
            if (doc->Encoding != TextEncoding::Windows1252)
                fail("the Windows-1252 playlist was not read as Windows-1252");
        }

        EntryList clipboard;
        TIntList copied;
        command("delete", [&](PlaylistDocument& doc) {
            auto sel = std::make_shared<Selection>(everyOther(doc.Entries().size()));
            return [&doc, sel] { DeleteEntries(doc, *sel); };
        });
        command(
            "cut paste",
            [&](PlaylistDocument& doc) {
                auto sel = std::make_shared<Selection>(scattered(doc.Entries().size(), 10000));
                return [&, sel] {
                    CutEntries(doc, *sel, clipboard, copied);
                    PasteEntries(doc, Selection{0}, clipboard);
                };
            },
            2);
        command("remove path", [&](PlaylistDocument& doc) {
            auto sel = std::make_shared<Selection>(allRows(doc.Entries().size()));
            return [&doc, sel] { RemovePaths(doc, *sel); };
        });
        command("remove drive", [&](PlaylistDocument& doc) {
            auto sel = std::make_shared<Selection>(allRows(doc.Entries().size()));
            return [&doc, sel] { RemoveDrives(doc, *sel); };
        });
        command("drag", [&](PlaylistDocument& doc) {
            auto sel = std::make_shared<Selection>(scattered(doc.Entries().size(), 1000));
            // A drag starts by copying the selected rows, then drops them.
            return [&, sel] {
                CopyEntries(doc, *sel, clipboard, copied);
                DropWithin(doc, copied, 10);
            };
        });
        command(
            "copy",
            [&](PlaylistDocument& doc) {
                auto sel = std::make_shared<Selection>(allRows(doc.Entries().size()));
                return [&, sel] { CopyEntries(doc, *sel, clipboard, copied); };
            },
            0);
        clipboard.clear();

        // The history of one document after the whole sequence.
        {
            auto doc = loaded();
            const qsizetype n = doc->Entries().size();
            DeleteEntries(*doc, everyOther(n));
            CutEntries(*doc, scattered(doc->Entries().size(), 10000), clipboard, copied);
            PasteEntries(*doc, Selection{0}, clipboard);
            RemovePaths(*doc, allRows(doc->Entries().size()));
            RemoveDrives(*doc, allRows(doc->Entries().size()));
            CopyEntries(*doc, scattered(doc->Entries().size(), 1000), clipboard, copied);
            DropWithin(*doc, copied, 10);
            clipboard.clear();
            t["history"].push_back(static_cast<double>(doc->history().memoryBytes()));
        }

        // The window, as the user meets it.
        TMDIChild* child = nullptr;
        {
            t["open"].push_back(timed([&] {
                CadrellMainForm->OpenPlaylist(path);
                child = CadrellMainForm->ActiveDocumentWindow();
                waitForRows(child->ListView1);
            }));
            PlaylistListView* view = child->ListView1;
            QItemSelectionModel* selection = view->selectionModel();
            QAbstractItemModel* model = view->model();
            const int rows = model->rowCount();

            t["ui select"].push_back(timed([&] {
                QItemSelection sel;
                sel.reserve(rows / 2 + 1);
                for (int r = 0; r < rows; r += 2)
                    sel.append(QItemSelectionRange(model->index(r, 0)));
                selection->select(sel, QItemSelectionModel::ClearAndSelect);
            }));
            std::vector<int> positions;
            t["ui read selection"].push_back(timed([&] { positions = view->selectedPositions(); }));
            if (static_cast<int>(positions.size()) != (rows + 1) / 2)
                fail("the view lost part of its selection");
            t["ui delete"].push_back(timed([&] {
                child->MenuClick(child->MenuDelete);
                waitForRows(view);
            }));
            t["ui reset"].push_back(timed([&] {
                child->Document.edit([](EntryList&) {});
                waitForRows(view);
            }));
            closeWindow(child);
        }
    }

    if (raw) {
        for (const auto& [name, values] : t) {
            std::fprintf(stderr, "%-20s", name.c_str());
            for (double v : values)
                std::fprintf(stderr, " %8.1f", name == "memory" || name == "history" ? v / 1e6 : v);
            std::fprintf(stderr, "\n");
        }
    }
    const double read = median(t["read floor"]), write = median(t["write floor"]),
                 copy = median(t["copy floor"]), load = median(t["load"]);
    const double mem = median(t["memory"]);
    const std::string e = withCommas(entries);
    const std::string half = withCommas((entries + 1) / 2);
    std::vector<Row> rows = {
        {"read floor (read + memchr per line)", read, "", 0, 0, ""},
        {"write floor (write + fsync + rename)", write, "", 0, 0, ""},
        {"copy floor (deep copy of all entries)", copy, "", 0, 0, ""},
        {"load", load, "read", read, 4, ""},
        {"save", median(t["save"]), "write", write, 1.5, ""},
        {"load, UTF-16 LE", median(t["load utf16"]), "load", load, 2, ""},
        {"save, UTF-16 LE", median(t["save utf16"]), "save", median(t["save"]), 2, ""},
        {"save, UTF-16 LE, against writing its bytes", median(t["save utf16"]), "write",
         median(t["write floor utf16"]), 0, ""},
        {"load, Windows-1252", median(t["load windows1252"]), "load", load, 0, ""},
        {"open to first paint", median(t["open"]), "load", load, 1.5, ""},
        {"Delete, every other row selected", median(t["delete"]), "copy", copy, 3, ""},
        {"Cut 10,000 rows + Paste at the top", median(t["cut paste"]), "copy", copy, 3, ""},
        {"Remove Path, all rows selected", median(t["remove path"]), "copy", copy, 3, ""},
        {"Remove Drive, all rows selected", median(t["remove drive"]), "copy", copy, 3, ""},
        {"drag 1,000 scattered rows onto row 10", median(t["drag"]), "copy", copy, 3, ""},
        {"Copy, all rows selected", median(t["copy"]), "copy", copy, 3, ""},
    };
    // Undo and redo of each command, against the command's own time.
    for (const auto& [key, label] :
         std::vector<std::pair<std::string, std::string>>{{"delete", "Delete"},
                                                          {"cut paste", "Cut + Paste (two steps)"},
                                                          {"remove path", "Remove Path"},
                                                          {"remove drive", "Remove Drive"},
                                                          {"drag", "drag"}}) {
        const double own = median(t[key]);
        rows.push_back({"Undo " + label, median(t[key + " undo"]), "cmd", own, 1.5, ""});
        rows.push_back({"Redo " + label, median(t[key + " redo"]), "cmd", own, 1.5, ""});
    }
    rows.push_back({"history after the whole sequence", median(t["history"]), "file",
                    static_cast<double>(bytes.size()), 0.5, ""});
    for (Row& r : std::vector<Row>{
             {"memory held by the loaded document", mem, "file", static_cast<double>(bytes.size()),
              2.5,
              fmt("%.1f bytes/entry", mem / static_cast<double>(std::max<qsizetype>(entries, 1)))},
             {"window: select " + half + " single-row ranges", median(t["ui select"]), "", 0, 0,
              ""},
             {"window: read that selection (selectedPositions)", median(t["ui read selection"]),
              "copy", copy, 0, ""},
             {"window: Delete (selection, command, reset, paint)", median(t["ui delete"]), "copy",
              copy, 0, ""},
             {"window: model reset of " + e + " rows + paint", median(t["ui reset"]), "copy", copy,
              0, ""},
         })
        rows.push_back(std::move(r));
    std::printf(
        markdown ? "\n### %s entries, %.1f MB (%.1f bytes a line), median of %d runs\n\n"
                 : "\n%s entries, %.1f MB (%.1f bytes a line), median of %d runs\n",
        e.c_str(), static_cast<double>(bytes.size()) / 1e6,
        static_cast<double>(bytes.size()) / static_cast<double>(std::max<qsizetype>(entries, 1)),
        runs);
    printTable(rows, markdown, entries >= 1000000);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // Every large buffer is fresh memory, as in a program that has just started (and timed()
    // hands freed memory back before each step): otherwise the allocator gives some steps old
    // pages and not others, and a floor that gets them skips the page faults the others pay.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The frame reads and writes its settings; keep the user's own out of reach.
    QTemporaryDir home;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(var, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(var)));
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const QString runtime = home.path() + QStringLiteral("/runtime");
        ::mkdir(QFile::encodeName(runtime).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    // The offscreen platform reports what it cannot do; that is not news here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && !text.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    Q_INIT_RESOURCE(cadrell);
    QApplication app(argc, argv);

    int runs = 5;
    bool markdown = false;
    bool raw = false;
    std::vector<QByteArray> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--markdown")
            markdown = true;
        else if (a == "--raw")
            raw = true;
        else
            files.emplace_back(argv[i]);
    }
    if (files.empty())
        fail("usage: bench_playlist [--runs N] [--markdown] [--raw] <playlist>...");

    CounterInstaller installer;
    app.installEventFilter(&installer);
    TCadrellMainForm frame(QByteArray(), false);
    frame.show();
    QEventLoop settle;
    QObject::connect(&frame, &TCadrellMainForm::firstShown, &settle, &QEventLoop::quit);
    QTimer::singleShot(5000, &settle, &QEventLoop::quit);
    settle.exec();

    std::printf(markdown ? "Machine: %s, %ld cores; %s; Qt %s; g++ %d.%d\n"
                         : "machine: %s, %ld cores; %s; Qt %s; g++ %d.%d\n",
                cpuName().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                QSysInfo::prettyProductName().toStdString().c_str(), qVersion(), __GNUC__,
                __GNUC_MINOR__);
    for (const QByteArray& f : files)
        benchFile(f, runs, markdown, raw);
    return 0;
}
