#include "ui/playlist/EntryEditor.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QLineEdit>
#include <climits>

#include "core/platform/Error.h"
#include "core/playlist/Editing.h"
#include "core/playlist/PlaylistDocument.h"
#include "ui/platform/Prompts.h"
#include "ui/playlist/PlaylistModel.h"

namespace cadrell {

EntryEditor::EntryEditor(PlaylistDocument* doc, QAbstractItemView* view, PlaylistModel* model,
                         QObject* parent)
    : QObject(parent), doc_(doc), view_(view), model_(model) {
    // The list's own delegate makes the field; the model takes nothing from it (its setData
    // refuses), the text is read here once the typing ends. After the view's own handling,
    // which puts the field away.
    delegate_ = view_->itemDelegate();
    connect(delegate_, &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
                finish(editor, hint != QAbstractItemDelegate::RevertModelCache);
            });
    // Another command changed the entries under the typing (the model has dropped the row and
    // the view its editor): what was typed no longer has a place.
    connect(doc_, &PlaylistDocument::aboutToChange, this, [this] {
        row_ = -1;
        editor_ = nullptr;
    });
}

QLineEdit* EntryEditor::field() const {
    return qobject_cast<QLineEdit*>(editor_.data());
}

void EntryEditor::editCurrent() {
    const QModelIndex current = view_->currentIndex();
    if (current.isValid())
        start(current.row(), false);
}

void EntryEditor::insertEntry() {
    const QModelIndex current = view_->currentIndex();
    start(current.isValid() ? current.row() : model_->rowCount(), true);
}

void EntryEditor::start(int row, bool inserted) {
    if (isEditing())
        commit();
    model_->setEditRow(row, inserted);
    const QModelIndex index = model_->index(row);
    row_ = row;
    inserted_ = inserted;
    original_ = index.data(Qt::EditRole).toString();
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
    view_->edit(index);
    editor_ = view_->indexWidget(index);
    if (editor_)
        editor_->setAccessibleName(QStringLiteral("Entry"));
    // A line edit holds 32,767 characters unless told otherwise, and would cut a long entry
    // (a stream address with its logo inline) before the user touched it.
    if (auto* line = qobject_cast<QLineEdit*>(editor_.data())) {
        // The delegate's field has no frame and passes for the row itself. A line in the
        // selection colour round a field of the list's own background shows where the typing
        // goes, on a plain row by its line and on a selected one by the field inside it.
        line->setStyleSheet(QStringLiteral(
            "QLineEdit { border: 1px solid palette(highlight); background: palette(base); "
            "color: palette(text); }"));
        line->setMaxLength(INT_MAX);
        line->setText(original_);
        line->selectAll();  // typing replaces the entry, as when the editor opened
    }
    if (!editor_) {  // the view would not edit (it is busy with an editor of its own)
        row_ = -1;
        model_->setEditRow(-1, false);
    }
}

void EntryEditor::commit() {
    if (QWidget* editor = editor_) {
        emit delegate_->commitData(editor);
        emit delegate_->closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    }
}

void EntryEditor::cancel() {
    if (QWidget* editor = editor_)
        emit delegate_->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void EntryEditor::finish(QWidget* editor, bool keep) {
    if (!isEditing() || editor != editor_)
        return;
    const int row = row_;
    const bool inserted = inserted_;
    const QLineEdit* line = qobject_cast<QLineEdit*>(editor);
    const QString text = line ? line->text() : QString();
    row_ = -1;
    editor_ = nullptr;
    model_->setEditRow(-1, false);
    view_->setFocus(Qt::OtherFocusReason);
    if (inserted && row < model_->rowCount())
        view_->setCurrentIndex(model_->index(row));
    if (keep)
        Guarded([&] { apply(row, inserted, text); });
}

void EntryEditor::apply(int row, bool inserted, QString text) {
    // A line break would end the entry in the file: what was pasted stays on one line.
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    if (inserted ? text.isEmpty() : text == original_)
        return;
    std::optional<QByteArray> bytes = EncodeEntry(text, doc_->Encoding);
    if (!bytes && doc_->Encoding == TextEncoding::Windows1252) {
        const int steps = doc_->history().index();
        const qsizetype rows = doc_->Entries().size();
        if (!Prompts::current().askYesNo(
                view_, QStringLiteral("Encoding"),
                QStringLiteral("This playlist is written in Windows-1252, which cannot hold some "
                               "of these characters. Convert it to UTF-8?")))
            return;
        // A tool that finished behind the question may have moved the row typed in.
        if (doc_->history().index() != steps || doc_->Entries().size() != rows)
            throw Error(
                QStringLiteral("The playlist changed meanwhile; the entry was not changed"));
        editing::ConvertEncoding(*doc_, TextEncoding::Utf8);
        bytes = EncodeEntry(text, doc_->Encoding);
    }
    if (!bytes)
        throw Error(QStringLiteral("The entry holds a character that cannot be written"));
    EntryList texts;
    texts.append(*bytes);
    if (inserted)
        doc_->perform(Change::insert({row}, texts), QStringLiteral("Insert Entry"));
    else
        doc_->perform(Change::replace({row}, texts), QStringLiteral("Edit Entry"));
    const QModelIndex index = model_->index(row);
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
}

}  // namespace cadrell
