#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <vector>

namespace cadrell {

// The names of the files below some folders, read once so that every missing entry of a playlist
// can be looked for without going back to the disk. A file costs its name, a zero byte and 12
// bytes: names lie back to back in one buffer, a folder is its parent and its own name, the
// files of a folder are one run of numbers, and the lookup by name is one sorted table of hashes.
class FileIndex {
public:
    static constexpr quint32 kNone = 0xffffffffu;

    qsizetype fileCount() const { return static_cast<qsizetype>(fileName_.size()); }
    qsizetype folderCount() const { return static_cast<qsizetype>(folders_.size()); }
    QByteArrayView fileName(quint32 file) const { return nameAt(fileName_[file]); }
    quint32 folderOf(quint32 file) const;
    // The folder's own name ("Music"; a searched folder's path is split into components, so
    // every folder has one) and its parent, kNone above the first component.
    QByteArrayView folderName(quint32 folder) const { return nameAt(folders_[folder].name); }
    quint32 parentOf(quint32 folder) const { return folders_[folder].parent; }
    QByteArray folderPath(quint32 folder) const;
    QByteArray filePath(quint32 file) const;

    // The files whose name is `name` with letter case ignored, in the order they were found.
    std::vector<quint32> find(QByteArrayView name) const;

    // Folders that could not be read (no permission, gone while the walk ran, a path too long).
    qsizetype unreadableFolders = 0;
    bool cancelled = false;  // the index then holds only the folders read before
    qsizetype heldBytes() const;

private:
    friend class IndexBuilder;
    struct Folder {
        quint32 parent;
        quint32 name;
    };
    QByteArrayView nameAt(quint32 at) const;

    QByteArray names_;  // every name followed by a zero byte
    std::vector<Folder> folders_;
    std::vector<quint32> fileName_;
    // (first file, folder) for each run of files in one folder, in the order of the files: a
    // walk reads a folder's files together, so this is a few bytes a folder, not four a file.
    std::vector<std::pair<quint32, quint32>> runs_;
    std::vector<std::pair<quint32, quint32>> byName_;  // (hash of the folded name, file), sorted
};

// Reads the file names below the folders (and below their subfolders when `subfolders`). Links
// to folders are not followed, so a loop of links cannot keep the walk going; a link to a file
// counts as a file. Pipes, devices and sockets are left out. progress, when given, hears
// (folders read, files found) now and then on the calling thread; cancel stops the walk soon
// after it is set.
FileIndex IndexFolders(const std::vector<QByteArray>& folders, bool subfolders,
                       const std::atomic<bool>& cancel,
                       const std::function<void(qint64, qint64)>& progress = {});

// An index of the given absolute file paths, with no disk read: a list kept from an earlier
// walk, or files made up for tests and benchmarks.
FileIndex IndexPaths(const std::vector<QByteArray>& files);

// Names compared the way Locate Missing Files compares them: letter case ignored (ASCII always,
// other letters when the name is valid UTF-8). The hash is the same for names that compare equal.
quint64 FoldedHash(QByteArrayView name);
bool SameFolded(QByteArrayView a, QByteArrayView b);

}  // namespace cadrell
