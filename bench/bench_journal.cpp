// What a recovery journal costs the commands on a large playlist, and how large it grows.
//
//   bench_journal [--runs N] [--markdown] <playlist>
//
// Each command and its undo are timed on the interface's side (what the user waits for) with no
// journal and with one whose writer is running, median of N runs; the writer's own work runs on
// its thread and is waited for between steps, so it never falls into the next command's time.
// Then the journal's size after the whole editing sequence, against the file's, and the copy of
// the entries a snapshot takes on the interface's thread.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "core/playlist/SortOrder.h"
#include "core/recovery/DocumentJournal.h"
#include "core/recovery/JournalWriter.h"

using namespace cadrell;

namespace {

double timed(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::vector<int> every(qsizetype size, int step) {
    std::vector<int> rows;
    for (qsizetype i = 0; i < size; i += step)
        rows.push_back(static_cast<int>(i));
    return rows;
}

struct Command {
    const char* name;
    std::function<void(PlaylistDocument&)> run;
};

std::vector<Command> sequence() {
    return {
        {"Delete every 10th entry",
         [](PlaylistDocument& d) { editing::DeleteEntries(d, every(d.Entries().size(), 10)); }},
        {"Sort by path",
         [](PlaylistDocument& d) {
             d.perform(Change::permute(SortOrder(d.Entries(), {}, SortKey::Path)),
                       QStringLiteral("Sort"));
         }},
        {"Replace every 100th entry",
         [](PlaylistDocument& d) {
             const std::vector<int> rows = every(d.Entries().size(), 100);
             EntryList texts;
             for (int r : rows)
                 texts.append(QByteArray("/replaced/") + QByteArray::number(r) + ".mp3");
             d.perform(Change::replace(rows, texts), QStringLiteral("Replace"));
         }},
        {"Paste 10,000 entries",
         [](PlaylistDocument& d) {
             EntryList clip;
             for (int i = 0; i < 10000; ++i)
                 clip.append(QByteArray("/pasted/") + QByteArray::number(i) + ".mp3");
             editing::PasteEntries(d, {static_cast<int>(d.Entries().size() / 2)}, clip);
         }},
        {"Remove Path from all",
         [](PlaylistDocument& d) { editing::RemovePaths(d, every(d.Entries().size(), 1)); }},
    };
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 5;
    bool markdown = false;
    QByteArray file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--markdown") == 0)
            markdown = true;
        else if (std::strncmp(argv[i], "--", 2) != 0)  // run.sh passes the others' options too
            file = argv[i];
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: bench_journal [--runs N] [--markdown] <playlist>\n");
        return 2;
    }
    QTemporaryDir state;
    const std::vector<Command> commands = sequence();
    // [command][0 plain, 1 journaled][do, undo] -> runs
    std::vector<std::vector<std::vector<double>>> ms(commands.size() * 2,
                                                     std::vector<std::vector<double>>(2));
    qint64 journalBytes = 0;
    double snapshotCopy = 0;
    for (int run = 0; run < runs; ++run) {
        for (int journaled = 0; journaled < 2; ++journaled) {
            PlaylistDocument doc;
            doc.FileName = file;
            LoadPlaylist(doc);
            std::unique_ptr<DocumentJournal> journal;
            if (journaled)
                journal = std::make_unique<DocumentJournal>(doc, state.path());
            auto settle = [] {
                JournalWriter::instance().waitIdle(600000);
                QCoreApplication::processEvents();
            };
            for (size_t c = 0; c < commands.size(); ++c) {
                ms[2 * c][size_t(journaled)].push_back(timed([&] { commands[c].run(doc); }));
                settle();
                ms[2 * c + 1][size_t(journaled)].push_back(timed([&] { doc.undo(); }));
                settle();
                doc.redo();
                settle();
            }
            if (journaled) {
                journalBytes = QFileInfo(journal->path()).size();
                snapshotCopy = std::max(snapshotCopy, timed([&] {
                                            EntryList copy = doc.Entries();
                                            (void)copy;
                                        }));
            }
        }
    }
    const qint64 fileBytes = QFileInfo(QString::fromLocal8Bit(file)).size();
    const char* row =
        markdown ? "| %-32s | %9.1f | %9.1f | %+6.1f %% |\n" : "%-32s %9.1f %9.1f %+7.1f %%\n";
    if (markdown)
        std::printf(
            "| journaling, %s | no journal (ms) | journal (ms) | added |\n|---|---:|---:|---:|\n",
            QFileInfo(QString::fromLocal8Bit(file)).fileName().toLocal8Bit().constData());
    for (size_t c = 0; c < commands.size(); ++c) {
        for (int undo = 0; undo < 2; ++undo) {
            const double plain = median(ms[2 * c + size_t(undo)][0]);
            const double withJournal = median(ms[2 * c + size_t(undo)][1]);
            const std::string name = std::string(undo ? "  undo " : "") + commands[c].name;
            std::printf(row, name.c_str(), plain, withJournal,
                        plain > 0 ? 100.0 * (withJournal - plain) / plain : 0.0);
        }
    }
    std::printf(markdown
                    ? "\n| journal after the sequence | %lld bytes | file %lld bytes | %.2f x |\n"
                    : "journal after the sequence: %lld bytes, file %lld bytes, %.2f x\n",
                static_cast<long long>(journalBytes), static_cast<long long>(fileBytes),
                fileBytes ? double(journalBytes) / double(fileBytes) : 0.0);
    std::printf(markdown ? "| snapshot's copy on the interface thread | %.1f ms |\n"
                         : "snapshot's copy on the interface thread: %.1f ms\n",
                snapshotCopy);
    return 0;
}
