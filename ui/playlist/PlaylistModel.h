#pragma once

#include "core/playlist/Encoding.h"

#include <QAbstractListModel>
#include <QByteArrayView>
#include <QHash>
#include <optional>

namespace cadrell {

class MissingWatch;
class PlaylistDocument;
class TSystemImageList;

// Reads a document's entries directly: row i is entry i. Every change of the entries is one
// reset, and text and icons are produced only for the rows the view asks for.
class PlaylistModel : public QAbstractListModel {
    Q_OBJECT
public:
    PlaylistModel(PlaylistDocument* document, TSystemImageList* icons, QObject* parent = nullptr);

    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // A row whose entry names a local file that is not there (a bool; both views draw a mark).
    static constexpr int MissingRole = Qt::UserRole + 20;
    void setMissingWatch(const MissingWatch* watch) { missing_ = watch; }
    // What the roles of a missing entry's row say: a dimmed text, the tooltip, the description.
    static QVariant missingData(int role, const QString& text);

    // The text a row shows for an entry: decoded for display only, zero bytes made visible.
    static QString displayText(QByteArrayView entry, TextEncoding encoding = TextEncoding::Utf8);

    // The row being typed into: editable, and with `inserted` a blank row of its own standing
    // before the entry at `row` (or after the last) until the typing ends. -1: none. A change of
    // the document ends it.
    void setEditRow(int row, bool inserted);
    int editRow() const { return editRow_; }
    bool editRowInserted() const { return inserted_; }

private:
    // After a change of the entries: the texts of the same rows, or a reset when the rows changed.
    // (Called once the entries changed: nothing reads them between the two halves of a reset.)
    void announceChange();
    // The entry a row shows; none for the blank row being typed and for rows past the end.
    std::optional<QByteArrayView> entryAt(int row) const;
    // The disk has answered about some object: rows whose icon was waiting for it and now has
    // another picture are told, each on its own.
    void iconAnswersArrived();

    PlaylistDocument* document_;
    TSystemImageList* icons_;
    const MissingWatch* missing_ = nullptr;
    int editRow_ = -1;
    bool inserted_ = false;
    int rowsBefore_ = -1;
    // Rows painted with an icon from the name alone while the disk is asked, and that icon.
    mutable QHash<int, int> iconWaiting_;
};

}  // namespace cadrell
