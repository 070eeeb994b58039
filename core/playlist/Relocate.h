#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"
#include "core/playlist/FileIndex.h"
#include "core/playlist/Tools.h"

namespace cadrell {

// Where drives are mounted now, and the folders below which removable drives are mounted
// (/media/<user>/<drive>, /media/<drive>, /run/media/<user>/<drive>, /mnt/<drive>).
struct MountTable {
    struct Root {
        QByteArray folder;
        int levels;  // how deep below it a drive may be mounted: 2 allows <user>/<drive>
    };
    std::vector<QByteArray> points;
    std::vector<Root> roots = {{"/media", 2}, {"/run/media", 2}, {"/mnt", 1}};

    // The mount points listed in /proc/self/mounts.
    static MountTable current();
    // The mount points of a mounts file's text ("\040" and the like decoded).
    static std::vector<QByteArray> parse(const QByteArray& mountsText);
    // Whether a path lies on a drive that is not mounted now: below a root, no mount point on
    // the way, and the folder the drive would be mounted on missing or empty.
    bool unmounted(const QByteArray& path) const;
    // The folder a drive would be mounted on, when the path lies below a root and no mount
    // point is on its way; else an empty text.
    QByteArray driveFolder(QByteArrayView path) const;
    static bool emptyOrMissing(const QByteArray& folder);
};

enum class LocateReason { MovedFolder, SameName, SeveralFound, NotFound, NotMounted, CannotWrite };
QString LocateReasonText(LocateReason reason);

struct LocateRow {
    int row = 0;       // in the entries
    QByteArray entry;  // as the playlist holds it
    LocateReason reason = LocateReason::NotFound;
    QByteArray proposal;  // the file on disk (its path's bytes); empty when none is proposed
    // The entry that names the proposal, in the entry's form (LocatedEntry), worked out with the
    // search so that applying many rows costs no more than copying them.
    QByteArray replacement;
    std::vector<QByteArray> candidates;  // best first, at most kMaxCandidates
    qsizetype candidateCount = 0;        // all that were found
    int mapping = -1;                    // into LocateResult::mappings for a moved folder
    bool ticked = false;
    QString note;  // the reason as the dialog shows it
};

struct LocateResult {
    static constexpr size_t kMaxCandidates = 20;
    struct Mapping {
        QByteArray from, to;  // "/old/Music/" and "/home/me/Music/"
        qsizetype count = 0;
    };
    std::vector<LocateRow> rows;  // one per missing row, in their order
    std::vector<Mapping> mappings;
    qsizetype found = 0, several = 0, notFound = 0, notMounted = 0, cannotWrite = 0;
    bool cancelled = false;
};

// Looks for the missing rows' files in the index. Works on a snapshot of the entries, so it may
// run on a worker; the document is not touched. playlistFolder is empty for an untitled playlist.
// progress, when given, hears (rows matched, missing rows) now and then on the calling thread.
LocateResult LocateMissing(const EntryList& entries, const std::vector<int>& missingRows,
                           const QByteArray& playlistFolder, TextEncoding encoding,
                           const FileIndex& index, const MountTable& mounts,
                           const std::atomic<bool>& cancel,
                           const std::function<void(qint64, qint64)>& progress = {});

// The entry that names `file` (a path on disk) in place of `entry`: relative to the playlist's
// folder when the entry was, a file address when it was one, else an absolute path; in the
// document's encoding. Nothing when the encoding cannot hold the name or it has a line break.
std::optional<QByteArray> LocatedEntry(QByteArrayView entry, const QByteArray& file,
                                       const QByteArray& playlistFolder, TextEncoding encoding);

// New texts for the chosen rows (indices into result.rows) that have a proposal, for the caller
// to apply as one step.
EntryEdits ApplyLocations(const EntryList& entries, const LocateResult& result,
                          const std::vector<int>& chosenRows, const QByteArray& playlistFolder,
                          TextEncoding encoding);

}  // namespace cadrell
