// Times Locate Missing Files: the index of a tree against a plain readdir walk of it, and the
// search for missing entries in that index.
//
//   bench_relocate <files> <folders> [folder]
//
// Makes <files> empty files spread over <folders> folders (two levels deep) below a new folder
// in `folder` (default: the temporary folder), then times:
//   readdir   a walk that only reads every folder, as find(1) would;
//   index     IndexFolders of the same tree, with its held bytes against the names' bytes;
//   locate    LocateMissing for every file named in a folder that has since moved, as the
//             missing tenth of a playlist ten times that long, against the copy floor of that
//             playlist; and for as many names with no folder in common, ranked by name alone;
//   dialog    the longest the window stands still while the Locate Missing Files dialog shows
//             a result of at most 100,000 rows, ticks and unticks them all, takes Space on all
//             of them selected, works out the edits for Apply and closes.
// The tree was just made, so every walk reads it from memory alike.

#include <dirent.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "core/playlist/FileIndex.h"
#include "core/playlist/Relocate.h"
#include "ui/dialogs/LocateDialog.h"
#include "ui/dialogs/LocateModel.h"

using namespace cadrell;

namespace {

double seconds(const std::function<void()>& f) {
    QElapsedTimer t;
    t.start();
    f();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

qint64 plainWalk(const QByteArray& root) {
    qint64 files = 0;
    std::vector<QByteArray> stack{root};
    while (!stack.empty()) {
        const QByteArray folder = stack.back();
        stack.pop_back();
        DIR* dir = ::opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent* e = ::readdir(dir)) {
            const QByteArrayView name(e->d_name);
            if (name == "." || name == "..")
                continue;
            if (e->d_type == DT_DIR)
                stack.push_back(folder + '/' + name.toByteArray());
            else
                ++files;
        }
        ::closedir(dir);
    }
    return files;
}

// The copy floor: every entry's bytes into one buffer sized in advance, and a 16-byte record each.
double copyFloor(const EntryList& entries) {
    return seconds([&] {
        qsizetype bytes = 0;
        for (qsizetype i = 0; i < entries.size(); ++i)
            bytes += entries.at(i).size();
        std::vector<char> buffer(static_cast<size_t>(bytes));
        std::vector<std::pair<qint64, qint64>> records(static_cast<size_t>(entries.size()));
        qsizetype at = 0;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QByteArrayView e = entries.at(i);
            std::memcpy(buffer.data() + at, e.data(), static_cast<size_t>(e.size()));
            records[static_cast<size_t>(i)] = {at, e.size()};
            at += e.size();
        }
        if (records.back().second < 0)
            std::abort();
    });
}

// The longest the event loop stood still, in ms, while `step` ran from it and the window
// painted what it changed: the gap between two ticks of a 5 ms timer around it.
double longestGap(const std::function<void()>& step) {
    QElapsedTimer clock;
    QTimer ticks;
    ticks.setInterval(5);
    double longest = 0, last = 0;
    int after = 0;
    QEventLoop loop;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        longest = std::max(longest, now - last);
        last = now;
        if (++after == 8)
            loop.quit();
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        ticks.start();
        QTimer::singleShot(0, step);
    });
    loop.exec();
    return longest;
}

void dialogRows(const EntryList& entries, LocateResult result) {
    if (result.rows.size() > 100000)
        result.rows.resize(100000);
    const qsizetype rows = static_cast<qsizetype>(result.rows.size());
    auto* dialog = new LocateDialog(nullptr, entries, {}, "/lists", TextEncoding::Utf8, {});
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog))
        std::fprintf(stderr, "the dialog was not shown\n");
    auto row = [rows](const char* what, double ms) {
        std::printf("dialog        %-40s longest gap %6.1f ms  (%lld rows)\n", what, ms,
                    static_cast<long long>(rows));
    };
    row("shows the result", longestGap([&] { dialog->showResult(std::move(result)); }));
    row("Untick All", longestGap([&] { dialog->untickAllButton->click(); }));
    row("Tick All", longestGap([&] { dialog->tickAllButton->click(); }));
    row("Ctrl+A, Space (untick all selected)", longestGap([&] {
            dialog->table->setFocus();
            dialog->table->selectAll();
            QTest::keyClick(dialog->table, Qt::Key_Space);
        }));
    row("Space again (tick all selected)",
        longestGap([&] { QTest::keyClick(dialog->table, Qt::Key_Space); }));
    qsizetype edits = 0;
    row("Apply: the edits of every ticked row",
        longestGap([&] { edits = static_cast<qsizetype>(dialog->edits().rows.size()); }));
    row("closed and freed", longestGap([&] { delete dialog; }));
    std::printf("              (%lld edits)\n", static_cast<long long>(edits));
}

}  // namespace

int main(int argc, char** argv) {
    // The dialog rows need a window, not a screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok1 = false, ok2 = false;
    const int files = args.value(1).toInt(&ok1);
    const int folders = args.value(2).toInt(&ok2);
    if (!ok1 || !ok2 || files < 1 || folders < 1) {
        std::fprintf(stderr, "usage: bench_relocate <files> <folders> [folder]\n");
        return 2;
    }
    const QString parent = args.size() > 3 ? args[3] : QDir::tempPath();
    QTemporaryDir work(parent + QStringLiteral("/cadrell-bench-relocate-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(parent));
        return 1;
    }
    const QByteArray root = QFile::encodeName(work.path()) + "/Music";
    qint64 nameBytes = 0;
    EntryList entries;
    const double make = seconds([&] {
        for (int i = 0; i < files; ++i) {
            const int f = i % folders;
            const QByteArray folder =
                "Artist " + QByteArray::number(f / 32) + "/Album " + QByteArray::number(f);
            const QByteArray name =
                QByteArray::number(i % 20 + 1) + " Track " + QByteArray::number(i) + ".mp3";
            if (i < folders)
                QDir().mkpath(QFile::decodeName(root + '/' + folder));
            QFile file(QFile::decodeName(root + '/' + folder + '/' + name));
            if (!file.open(QIODevice::WriteOnly)) {
                std::fprintf(stderr, "cannot make %s\n", file.fileName().toLocal8Bit().data());
                std::exit(1);
            }
            nameBytes += name.size();
            entries.append("/old/Music/" + folder + '/' + name);
            entries.append("/elsewhere/" + name);
        }
    });
    std::printf("made %d files in %d folders: %.2f s\n", files, folders, make);

    qint64 walked = 0;
    const double plain = seconds([&] { walked = plainWalk(root); });
    std::printf("readdir walk  %.3f s  (%lld files)\n", plain, static_cast<long long>(walked));

    const std::atomic<bool> never{false};
    FileIndex index;
    const double indexing = seconds([&] { index = IndexFolders({root}, true, never); });
    std::printf("index         %.3f s  (%lld files, %lld bytes held for %lld bytes of names)\n",
                indexing, static_cast<long long>(index.fileCount()),
                static_cast<long long>(index.heldBytes()), static_cast<long long>(nameBytes));

    // The moved entries as the missing tenth of a playlist ten times as long, the rest present.
    EntryList playlist;
    std::vector<int> moved, elsewhere;
    for (qsizetype i = 0; i < entries.size(); i += 2) {
        moved.push_back(static_cast<int>(playlist.size()));
        playlist.append(entries.at(i));
        for (int k = 0; k < 9; ++k)
            playlist.append(root + "/present " + QByteArray::number(k) + '/' +
                            entries.at(i).sliced(11).toByteArray());
    }
    EntryList others;
    for (qsizetype i = 1; i < entries.size(); i += 2) {
        elsewhere.push_back(static_cast<int>(others.size()));
        others.append(entries.at(i));
    }
    const double floor = copyFloor(playlist);
    std::printf("copy floor    %.3f s  (%lld entries)\n", floor,
                static_cast<long long>(playlist.size()));
    LocateResult result;
    const double locate = seconds([&] {
        result = LocateMissing(playlist, moved, {}, TextEncoding::Utf8, index, MountTable{}, never);
    });
    std::printf(
        "locate moved  %.3f s  = %.2f x copy floor  (%lld missing: %lld found, %lld "
        "several, %lld not found)\n",
        locate, locate / floor, static_cast<long long>(moved.size()),
        static_cast<long long>(result.found), static_cast<long long>(result.several),
        static_cast<long long>(result.notFound));
    LocateResult byName;
    const double named = seconds([&] {
        byName =
            LocateMissing(others, elsewhere, {}, TextEncoding::Utf8, index, MountTable{}, never);
    });
    std::printf("locate names  %.3f s  (%lld missing: %lld found, %lld several, %lld not found)\n",
                named, static_cast<long long>(elsewhere.size()),
                static_cast<long long>(byName.found), static_cast<long long>(byName.several),
                static_cast<long long>(byName.notFound));
    std::fflush(stdout);
    dialogRows(playlist, std::move(result));
    return 0;
}
