// How long the interface stands still while each Playlist menu command runs from the window:
// the longest gap between two ticks of a 10 ms timer, from choosing the command until its result
// is in the document (or the selection), and that whole time.
//
//   bench_gaps [--markdown] [--only TEXT] <playlist>   (--only: the commands whose name holds TEXT)
//
// Each command runs once on the playlist as loaded and is undone afterwards (not timed).

#include <malloc.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/platform/HeapTuning.h"
#include "ui/frame/Main.h"
#include "ui/playlist/Childwin.h"
#include "ui/playlist/FindBar.h"
#include "ui/playlist/ItemModel.h"
#include "ui/playlist/ItemRows.h"
#include "ui/playlist/MissingWatch.h"
#include "ui/playlist/PlaylistListView.h"
#include "ui/playlist/PlaylistTools.h"

using namespace cadrell;

namespace {

// Freed memory handed back first, as the load benchmark does: what is left is what is held.
double residentBytes() {
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * static_cast<double>(sysconf(_SC_PAGESIZE))
                             : 0;
}

struct Gaps {
    double longest = 0;
    double total = 0;
};

// Runs `start` from the event loop and ticks a 10 ms timer until `done` holds.
Gaps measure(const std::function<void()>& start, const std::function<bool()>& done) {
    QElapsedTimer clock;
    QTimer ticks;
    ticks.setInterval(10);
    Gaps gaps;
    double last = 0;
    QEventLoop loop;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        gaps.longest = std::max(gaps.longest, now - last);
        last = now;
        if (done()) {
            gaps.total = now;
            loop.quit();
        }
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        ticks.start();
        start();
    });
    loop.exec();
    return gaps;
}

}  // namespace

int main(int argc, char** argv) {
    // Journals of a run that was stopped would be offered at the next start and hold it up.
    // As the program does.
    KeepOneHeap();
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QApplication app(argc, argv);
    bool markdown = false;
    QByteArray only;
    QString file;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--markdown")
            markdown = true;
        else if (QByteArray(argv[i]) == "--only" && i + 1 < argc)
            only = argv[++i];
        else
            file = QString::fromLocal8Bit(argv[i]);
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: bench_gaps [--markdown] [--only TEXT] <playlist>\n");
        return 2;
    }

    TCadrellMainForm frame(QByteArray(), false);
    frame.show();
    frame.setItemView(false);  // whatever the settings say, the load is timed in lines
    QCoreApplication::processEvents();
    // What the playlist costs, not the frame around it.
    const double startBytes = residentBytes();
    QElapsedTimer opening;
    opening.start();
    frame.OpenPlaylist(QFile::encodeName(file));
    TMDIChild* child = frame.ActiveDocumentWindow();
    child->ListView1->viewport()->repaint();
    const double openMs = static_cast<double>(opening.nsecsElapsed()) / 1e6;
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double linesBytes = residentBytes() - startBytes;
    // The item view against the load: its first paint, and what it holds beside the document.
    QElapsedTimer showing;
    showing.start();
    frame.setItemView(true);
    child->ListView1->viewport()->repaint();
    const double itemsMs = static_cast<double>(showing.nsecsElapsed()) / 1e6;
    settle.start();
    while (settle.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double itemsBytes = residentBytes() - startBytes;
    const double fileBytes = static_cast<double>(QFileInfo(file).size());
    std::printf("open until painted %.0f ms; View > Items until painted %.0f ms (%.2f x)\n", openMs,
                itemsMs, itemsMs / openMs);
    std::printf("memory held: lines %.1f MB (%.2f x the file), items %.1f MB (%.2f x the file)\n",
                linesBytes / 1e6, linesBytes / fileBytes, itemsBytes / 1e6, itemsBytes / fileBytes);
    frame.setItemView(false);
    QElapsedTimer markClock;
    const qsizetype entries = child->Document.Entries().size();
    // The path commands work against the folder the generated names use.
    child->Document.FileName = "/home/bob/lists/big.m3u";

    const auto idle = [child] {
        return !child->tools()->busy() && !child->findBar()->isReplacing() &&
               !child->findBar()->isCounting();
    };
    int stepsBefore = 0;
    int phase = 0;
    struct Command {
        const char* name;
        std::function<void()> run;
        std::function<bool()> done = {};  // when the shared idle test does not say it
    };
    QLineEdit* find = nullptr;
    QLineEdit* with = nullptr;
    for (QLineEdit* f : child->findBar()->findChildren<QLineEdit*>())
        (f->accessibleName() == QLatin1String("Find") ? find : with) = f;
    QCheckBox* regex = nullptr;
    for (QCheckBox* c : child->findBar()->findChildren<QCheckBox*>())
        if (c->accessibleName() == QLatin1String("Regular expression"))
            regex = c;
    const std::vector<Command> commands = {
        {"Sort by Path", [child] { child->MenuSortPath->trigger(); }},
        {"Sort by File Name", [child] { child->MenuSortFileName->trigger(); }},
        {"Sort by Title", [child] { child->MenuSortTitle->trigger(); }},
        {"Reverse Order", [child] { child->MenuReverse->trigger(); }},
        {"Shuffle", [child] { child->MenuShuffle->trigger(); }},
        {"Remove Duplicates", [child] { child->MenuRemoveDuplicates->trigger(); }},
        {"Make Paths Relative", [child] { child->MenuMakeRelative->trigger(); }},
        // The step's own way back: Undo right after a sort of every row, then Redo.
        {"Sort by Title, Undo, Redo",
         [child, &stepsBefore, &phase] {
             stepsBefore = child->Document.history().index();
             phase = 0;
             child->MenuSortTitle->trigger();
         },
         [child, &stepsBefore, &phase, idle] {
             if (!idle() || child->Document.history().index() == stepsBefore + (phase == 1 ? 1 : 0))
                 return false;  // the sort (or the step asked for) has not arrived yet
             if (phase == 2)
                 return true;
             (phase++ == 0 ? child->MenuUndo : child->MenuRedo)->trigger();
             return false;
         }},
        {"Select Missing Files", [child] { child->MenuSelectMissing->trigger(); }},
        {"Find \"shadow\" (typed, counted)",
         [child, find] {
             child->MenuFind->trigger();
             find->setText(QStringLiteral("shadow"));
         }},
        // A pattern that decodes every entry and backtracks over most of them.
        {"Find /\\(19\\d\\d\\).*shadow/ (typed, counted)",
         [child, find, regex] {
             child->MenuFind->trigger();
             regex->setChecked(true);
             find->setText(QStringLiteral("\\(19\\d\\d\\).*shadow"));
         }},
        {"Replace All /home/bob/music",
         [child, find, with, regex] {
             regex->setChecked(false);
             child->ListView1->clearSelection();
             child->MenuReplace->trigger();
             find->setText(QStringLiteral("/home/bob/music"));
             with->setText(QStringLiteral("/mnt/music"));
             child->findBar()->replaceAll();
         }},
        // Half a million single rows: selecting them, then deleting them.
        {"Select 500,000 scattered rows",
         [child, entries] {
             std::vector<int> every;
             for (int r = 0; r < entries; r += 2)
                 every.push_back(r);
             child->selectLines(every, -1);
         }},
        {"Delete 500,000 scattered rows",
         [child, entries] {
             std::vector<int> every;
             for (int r = 0; r < entries; r += 2)
                 every.push_back(r);
             child->selectLines(every, -1);
             child->MenuDelete->trigger();
         }},
        // The item view: switching to it, then its own commands.
        {"View > Items", [&frame] { frame.setItemView(true); }},
        {"Items: header Sort by Title",
         [child] { emit child->itemHeader()->sectionClicked(ItemModel::Title); }},
        {"Items: header Sort by Duration",
         [child] { emit child->itemHeader()->sectionClicked(ItemModel::Duration); }},
        {"Items: Find \"shadow\", Select All",
         [child, find, regex] {
             regex->setChecked(false);
             child->MenuFind->trigger();
             find->setText(QStringLiteral("shadow"));
             child->findBar()->selectAll();
         }},
        {"Items: Select All, Delete",
         [child] {
             child->MenuSelectAll->trigger();
             child->MenuDelete->trigger();
         }},
        {"Items: Select 250,000 scattered items",
         [child] {
             std::vector<int> every;
             for (qsizetype r = 0; r < child->Document.Entries().size(); r += 4)
                 every.push_back(static_cast<int>(r));
             child->selectLines(every, -1);
         }},
        {"Items: Select Missing Files", [child] { child->MenuSelectMissing->trigger(); }},
        {"Items: missing-file marks, every entry looked up",
         [child, &markClock] {
             markClock.start();
             child->missingWatch()->recheckAll();
         },
         [child, &clock = markClock] {
             // The lookup starts once changes have settled; until then it is not busy either.
             return clock.elapsed() > 1000 && !child->missingWatch()->busy();
         }},
        {"Items: Move Down (first item)",
         [child] {
             child->ListView1->setCurrentIndex(child->ListView1->model()->index(1, 0));
             child->MenuMoveDown->trigger();
         }},
        {"View > Lines", [&frame] { frame.setItemView(false); }}};

    if (markdown) {
        std::printf("| command, %lld entries | longest gap | until done |\n",
                    static_cast<long long>(entries));
        std::printf("|---|--:|--:|\n");
    }
    for (const Command& c : commands) {
        if (!only.isEmpty() && !QByteArray(c.name).contains(only))
            continue;
        // Every command on all rows: an Undo leaves the rows it brought back selected.
        child->ListView1->clearSelection();
        const int steps = child->Document.history().index();
        const Gaps g = measure(c.run, c.done ? c.done : std::function<bool()>(idle));
        if (markdown)
            std::printf("| %s | %.0f ms | %.0f ms |\n", c.name, g.longest, g.total);
        else
            std::printf("%-34s longest gap %7.1f ms   done after %8.1f ms\n", c.name, g.longest,
                        g.total);
        std::fflush(stdout);
        while (child->Document.history().index() > steps)
            child->MenuUndo->trigger();
        child->findBar()->hide();
    }
    child->Document.markClean();
    return 0;
}
