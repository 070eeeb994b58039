#include "core/playlist/Tools.h"

#include <numeric>

#include "core/playlist/Encoding.h"
#include "core/playlist/Items.h"

namespace cadrell {

QString decoded(QByteArrayView entry, const TextForm& form) {
    return form.decode ? form.decode(entry) : QString::fromUtf8(entry);
}

QByteArray encoded(const QString& text, const TextForm& form) {
    return form.encode ? form.encode(text) : text.toUtf8();
}

QString ShownText(QByteArrayView entry, const TextForm& form) {
    QString text = decoded(entry, form);
    ShowZeroBytes(text);
    return text;
}

EntryEdits EditItemEntries(const EntryList& entries, const std::vector<int>& selectedRows,
                           const std::function<bool(QByteArrayView, QByteArray&)>& change) {
    const ItemLayout layout = FindItems(entries);
    std::vector<int> items;
    if (selectedRows.size() <= 1) {
        items.resize(layout.items.size());
        std::iota(items.begin(), items.end(), 0);
    } else {
        items = ItemsOfRows(layout, selectedRows);
    }
    EntryEdits edits;
    QByteArray text;
    for (int i : items) {
        const int row = layout.items[static_cast<size_t>(i)].entry;
        const QByteArrayView entry = entries.at(row);
        text.clear();
        if (change(entry, text) && text != entry) {
            edits.rows.push_back(row);
            edits.texts.append(text);
        }
    }
    return edits;
}

}  // namespace cadrell
