// Times Locate Missing Files: the index of a tree against a plain readdir walk of it, and the
// search for missing entries in that index.
//
//   bench_relocate <files> <folders> [folder]
//
// Makes <files> empty files spread over <folders> folders (two levels deep) below a new folder
// in `folder` (default: the temporary folder), then times:
//   readdir   a walk that only reads every folder, as find(1) would;
//   index     IndexFolders of the same tree, with its held bytes against the names' bytes;
//   locate    LocateMissing for every file named in a folder that has since moved, and for as
//             many names with no folder in common, which are ranked by name alone.
// The tree was just made, so every walk reads it from memory alike.

#include <dirent.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/playlist/FileIndex.h"
#include "core/playlist/Relocate.h"

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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
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

    std::vector<int> rows(static_cast<size_t>(entries.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    LocateResult result;
    const double locate = seconds([&] {
        result = LocateMissing(entries, rows, {}, TextEncoding::Utf8, index, MountTable{}, never);
    });
    std::printf("locate        %.3f s  (%lld entries: %lld found, %lld several, %lld not found)\n",
                locate, static_cast<long long>(entries.size()),
                static_cast<long long>(result.found), static_cast<long long>(result.several),
                static_cast<long long>(result.notFound));
    return 0;
}
