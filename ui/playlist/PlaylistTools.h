#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/playlist/Encoding.h"
#include "core/playlist/SortOrder.h"

namespace cadrell {

class TMDIChild;

// The Playlist menu's tools for one document window. Each that changes entries is one undoable
// step; one that finds nothing to change says so and leaves the document alone.
//
// Work that takes long on a large playlist (sorting through the collator, duplicates, paths,
// the disk check) runs on a thread of its own over a copy of the entries, with progress and
// Cancel in the status bar. Its result is applied only if the document did not change meanwhile.
class PlaylistTools : public QObject {
    Q_OBJECT
public:
    explicit PlaylistTools(TMDIChild* window);
    ~PlaylistTools() override;

    void sort(SortKey key);
    // The item view's header: all items in the order of one column, one step called `name`;
    // `sorted` runs when the order is applied (or already was the order).
    void sortByColumn(ItemColumn column, const QByteArray& attribute, bool descending,
                      const QString& name, const std::function<void()>& sorted);
    void reverse();
    void shuffle();
    void removeDuplicates();
    void selectMissingFiles();
    void makeRelative();
    void makeAbsolute();
    void useForwardSlashes();
    void useBackslashes();
    void decodeFileAddresses();
    void fixLetterCase();
    // Asks where to look, shows what was found and applies the rows the user keeps, as one step.
    void locateMissingFiles();

    // A tool is working on its thread.
    bool busy() const { return worker_.joinable(); }
    void cancel();

    // How a document in this encoding shows its entries and takes typed text. A text the
    // encoding cannot hold becomes empty and sets `unheld`, so the caller can refuse the edit.
    static TextForm textForm(TextEncoding encoding,
                             std::shared_ptr<std::atomic<bool>> unheld = nullptr);
    // The folder relative names are read against; empty for an untitled playlist.
    QByteArray folder() const;
    static QByteArray folderOf(const QByteArray& fileName);

private:
    using PathConversion = std::function<EntryEdits(const EntryList&, const std::vector<int>&,
                                                    QByteArrayView, const std::atomic<bool>&)>;
    // Make Paths Relative and Absolute: the same work but for the conversion.
    void convertPaths(const QString& name, const QString& busy, PathConversion convert);
    // What the thread hands back: the step to take on the interface thread.
    using Finish = std::function<void()>;
    using Progress = std::function<void(qint64, qint64)>;
    using Work = std::function<Finish(const std::atomic<bool>& cancel, const Progress& progress)>;

    void run(const QString& busyText, const QString& name, Work work);
    void done(const Finish& finish, const QString& error, const QString& name, quint64 changes,
              const std::shared_ptr<std::atomic<bool>>& cancel);
    void report(const QString& text);
    // On the worker: the step that puts the rows in that order, worked out ahead against the
    // entries the order was found for, so that taking it on the window's thread is only a swap.
    // The rows selected when the tool started stay selected where the order puts them; `before`
    // runs first when the step is taken.
    Finish orderFinish(const EntryList& entries, const RowOrder& order,
                       const std::vector<int>& selected, const QString& name, const QString& done,
                       std::function<void()> before = {});
    void selectRows(const std::vector<int>& rows);
    std::vector<int> selectedRows() const;

    TMDIChild* window_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 changes_ = 0;  // changes of the document, to see whether a result still fits
};

}  // namespace cadrell
