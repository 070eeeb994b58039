#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <vector>

#include "core/playlist/ItemTable.h"

namespace cadrell {

class MissingWatch;
class PlaylistDocument;
class TSystemImageList;

// The item view's rows over a document: one row per item, and a row for each line that belongs
// to no item (the header, lines after the last entry). The view draws the columns itself from
// cellText(); display text is the row as a screen reader reads it. The table is rebuilt once per
// change of the entries, and text is made only for the rows painted.
class ItemModel : public QAbstractListModel {
    Q_OBJECT
public:
    // The fixed columns, then one for each #EXTINF attribute the playlist uses.
    enum Column { Number, Title, Duration, File, Folder, Group, FirstAttribute };
    enum Role { LooseLineRole = Qt::UserRole + 1, DimTitleRole };

    ItemModel(PlaylistDocument* document, TSystemImageList* icons, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Only a shown model follows the document; a hidden one is rebuilt when it is shown again.
    void setActive(bool active);
    bool active() const { return active_; }

    void setMissingWatch(const MissingWatch* watch) { missing_ = watch; }

    const ItemTable& table() const { return table_; }
    // Column captions, fixed ones first.
    QStringList columnNames() const;
    int columns() const { return FirstAttribute + static_cast<int>(attributes_.size()); }
    QString cellText(int row, int column) const;
    // What a column is in the core's terms (the attribute's name for an attribute column).
    ItemColumn columnKind(int column) const;
    QByteArray attributeOf(int column) const;
    // The attribute names found in the entries, when a look at them on a worker is back.
    void setAttributes(std::vector<QByteArray> names);
    const std::vector<QByteArray>& attributes() const { return attributes_; }

signals:
    // The attribute columns changed (the header follows).
    void columnsChanged();

private:
    void rebuild();

    PlaylistDocument* document_;
    TSystemImageList* icons_;
    const MissingWatch* missing_ = nullptr;
    ItemTable table_;
    std::vector<QByteArray> attributes_;
    bool active_ = false;
    bool stale_ = true;
};

}  // namespace cadrell
