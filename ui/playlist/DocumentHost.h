#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <functional>

#include "core/playlist/Encoding.h"
#include "core/playlist/EntryList.h"

class QWidget;

namespace cadrell {

class TSystemImageList;

// What the frame keeps of one of its file dialogs between showings.
struct FileDialogState {
    QByteArray InitialDir;  // the start folder; empty leaves the choice to the dialog
    QString FileName;       // the name last accepted in the dialog
    void setInitialDir(const QByteArray& folder);
};

// All a document window may ask of the window that holds it. The frame implements it; a test can
// drive a document window against a stand-in without building the whole program around it.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // Entries cut or copied in one window, waiting to be pasted or dropped into any window, and
    // the encoding of the playlist they were taken from.
    virtual EntryList& entryClipboard() = 0;
    virtual TextEncoding& entryClipboardEncoding() = 0;
    // The folder of the playlist they were taken from (empty for an untitled one), so relative
    // entries can be rewritten to name the same files from another playlist's folder.
    virtual QByteArray& entryClipboardFolder() = 0;
    // Shared by every document window, so Save As remembers the last folder and name.
    virtual FileDialogState& saveDialogState() = 0;
    // The icons of file types; null draws rows without icons.
    virtual TSystemImageList* imageList() const = 0;
    virtual QFont documentFont() const = 0;
    virtual QColor documentFontColor() const = 0;

    // The progress of long work, with a way to cancel it. (A window's own results are read from
    // it when the status line is refreshed.)
    virtual bool progressShown() const = 0;
    virtual void beginProgress(const QString& text, std::function<void()> cancel) = 0;
    virtual void setProgress(qint64 done, qint64 total) = 0;
    virtual void endProgress() = 0;

    // Something a command changed may enable or disable commands, or change the counts shown.
    virtual void refreshCommandStates() = 0;
    virtual void refreshStatus(const QWidget* window) = 0;

    // The program's own commands, which a document window's File menu offers too.
    virtual void newDocument() = 0;
    virtual void openDocument() = 0;
    virtual void exitProgram() = 0;
    // Whether windows show items rather than lines, and the item view's columns (widths, order,
    // the visible ones), shared by every window and remembered across starts.
    virtual bool itemView() const { return false; }
    virtual QByteArray itemColumnState() const { return {}; }
    virtual void setItemColumnState(const QByteArray&) {}
};

}  // namespace cadrell
