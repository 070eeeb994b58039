#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

namespace cadrell {

// File > Export with Files: a playlist and the local files it names, copied to one folder (a
// phone, a stick, a car stereo's card), with a playlist there that names the copies relative to
// itself.

// What the file system holding a folder has room for.
struct FreeSpace {
    qint64 bytes = -1;     // free for the user; -1 when the system does not say
    qint64 blockSize = 1;  // a file takes whole blocks
    bool readOnly = false;
};
// statvfs of the folder, or of the nearest folder above it that exists.
FreeSpace FreeSpaceOf(const QByteArray& folder);

enum class TargetNameRules { Detect, Posix, Fat };

struct ExportOptions {
    QByteArray targetFolder;   // absolute
    bool numberFiles = false;  // "001 - name.mp3", in playlist order
    bool keepFolders = true;   // the folders below the sources' common folder, or all in one
    QByteArray playlistName;   // the exported playlist's file name, "Road trip.m3u8"
    TextEncoding encoding = TextEncoding::Utf8;  // of the exported playlist
    LineEnd lineEnd = LineEnd::CrLf;
    // Detect asks the target's file system; the others are for tests, which cannot make one.
    TargetNameRules nameRules = TargetNameRules::Detect;
    // Empty: FreeSpaceOf. Tests cannot fill a disk to see the refusal.
    std::function<FreeSpace(const QByteArray& folder)> freeSpace;
};

// One file to copy: each source once, however many items name it.
struct ExportFile {
    QByteArray source;  // absolute, "." and ".." worked out
    QByteArray target;  // below the target folder, "/" between folders, UTF-8
};

struct ExportItem {
    enum class Action {
        Copy,  // a local file: copied, the entry becomes its copy's path
        Keep,  // a web address: written as it is
        Skip   // left out of the exported playlist, for the reason in `why`
    };
    Action action = Action::Skip;
    int row = 0;    // the entry's row in the document
    int file = -1;  // Copy: index into ExportPlan::files
    QString why;
    // The item's lines in ExportPlan::lines: its "#" lines, then its entry.
    qsizetype firstLine = 0;
    qsizetype lineCount = 0;
};

struct ExportPlan {
    std::vector<ExportItem> items;  // in playlist order
    std::vector<ExportFile> files;  // in the order of the items that first name them
    // The exported playlist's lines, already in its encoding: the lines before the first item
    // (the header), then each item's. A copied item's entry is rewritten when it is written.
    EntryList lines;
    qsizetype leadLines = 0;
    bool fatNames = false;
    QByteArray playlistName;  // as it will be named on the target
};

// Works out what goes where; touches the disk only to ask what file system the target is on.
// `rows` are rows of the items to export (any of an item's lines selects it), or empty for
// every item. Fails with an Error when there is no target folder or playlist name.
ExportPlan PlanExport(const EntryList& entries, const std::vector<int>& rows,
                      const QByteArray& playlistFolder, TextEncoding docEncoding,
                      const ExportOptions& options);

struct ExportReport {
    qsizetype copied = 0;
    qsizetype alreadyThere = 0;  // same size and modification time as the source: not copied
    qsizetype skipped = 0;       // files and items left out
    QStringList skippedWhy;      // "<name>: <reason>", one for each
    qint64 bytesCopied = 0;
    bool cancelled = false;
    QString error;  // why the export stopped before its end, for the user; empty when it did not
    QByteArray playlistPath;  // the playlist written; empty when none was
};

// Copies the files and then writes the playlist. Meant for a worker thread: it touches nothing
// but the disk and its arguments. progress, when given, hears (files done, files, bytes done,
// bytes) on this thread after every piece of a file; cancel is looked at as often.
using ExportProgress = std::function<void(qint64, qint64, qint64, qint64)>;
ExportReport RunExport(const ExportPlan& plan, const ExportOptions& options,
                       const ExportProgress& progress, const std::atomic<bool>& cancel);

}  // namespace cadrell
