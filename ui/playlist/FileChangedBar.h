#pragma once

#include <QByteArray>
#include <QWidget>
#include <optional>

#include "core/platform/FileStamp.h"

class QLabel;
class QPushButton;

namespace cadrell {

class PlaylistDocument;

// The bar a document window shows when another program has changed its file since it was
// loaded or saved: Reload reads the file again as one undoable step, Dismiss (or Esc) leaves
// the window as it is until the file changes once more.
//
// The look at the file runs on a worker: a file system that hangs must not hold up the window
// that is being activated.
class FileChangedBar : public QWidget {
    Q_OBJECT
public:
    explicit FileChangedBar(PlaylistDocument* doc, QWidget* parent = nullptr);

    // Looks at the file; the bar shows when it changed and the user has not dismissed that
    // version of it. Nothing happens while an earlier look is still under way.
    void check();
    // Reads the file again, asking first when the window holds unsaved changes.
    void reload();
    void dismiss();
    // The document now matches its file again (it was saved): nothing to tell any more.
    void documentSaved();

    QString text() const;
    // A look at the file or a reload is under way.
    bool busy() const { return checking_ || reloading_; }
    QPushButton* reloadButton() const { return reload_; }
    QPushButton* dismissButton() const { return dismiss_; }

signals:
    // The document was read again.
    void reloaded();
    // The bar went away by the user's choice; the window takes the focus back.
    void closed();

private:
    void checked(const QByteArray& name, const std::optional<FileStamp>& asked,
                 const std::optional<FileStamp>& now);
    void showFor(const FileStamp& now);

    PlaylistDocument* doc_;
    QLabel* text_;
    QPushButton* reload_;
    QPushButton* dismiss_;
    bool checking_ = false;
    bool reloading_ = false;
    quint64 changes_ = 0;                 // counts the document's changes
    std::optional<FileStamp> shown_;      // the version of the file the bar tells of
    std::optional<FileStamp> dismissed_;  // the version the user chose to leave be
};

}  // namespace cadrell
