#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractItemDelegate;
class QAbstractItemView;
class QLineEdit;
class QWidget;

namespace cadrell {

class PlaylistDocument;
class PlaylistModel;

// Typing an entry in place in the list: Edit Entry changes the current row's text, Insert Entry
// types a new one before it. Nothing reaches the document until the typing ends with Enter (or
// the focus going elsewhere): then it is one undoable step. Esc, an unchanged text and an empty
// new row leave the document as it was, without a step.
class EntryEditor : public QObject {
    Q_OBJECT
public:
    EntryEditor(PlaylistDocument* doc, QAbstractItemView* view, PlaylistModel* model,
                QObject* parent = nullptr);

    void editCurrent();
    // Before the current row, or after the last when there is none.
    void insertEntry();

    bool isEditing() const { return row_ >= 0; }
    // The field being typed in, while there is one.
    QLineEdit* field() const;
    // Ends the typing as Enter does; another command is about to act on the rows.
    void commit();
    // Ends it as Esc does.
    void cancel();

private:
    void start(int row, bool inserted);
    void finish(QWidget* editor, bool keep);
    void apply(int row, bool inserted, QString text);

    PlaylistDocument* doc_;
    QAbstractItemView* view_;
    PlaylistModel* model_;
    QAbstractItemDelegate* delegate_;
    QPointer<QWidget> editor_;
    int row_ = -1;
    bool inserted_ = false;
    QString original_;
};

}  // namespace cadrell
