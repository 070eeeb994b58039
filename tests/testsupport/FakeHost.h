#pragma once

#include <QStringList>

#include "ui/playlist/DocumentHost.h"

namespace testsupport {

// The frame as a document window sees it, recording what the window asks of it.
struct FakeHost : cadrell::DocumentHost {
    cadrell::EntryList clipboard;
    cadrell::TextEncoding clipboardEncoding = cadrell::TextEncoding::Utf8;
    cadrell::FileDialogState saveDialog;
    QByteArray clipboardFolder;
    int statusRefreshes = 0;
    int progressDepth = 0;
    std::function<void()> cancelProgress;  // the status bar's Cancel while progress shows
    int commandRefreshes = 0;
    QStringList commands;  // "new", "open", "exit"

    cadrell::EntryList& entryClipboard() override { return clipboard; }
    cadrell::TextEncoding& entryClipboardEncoding() override { return clipboardEncoding; }
    QByteArray& entryClipboardFolder() override { return clipboardFolder; }
    cadrell::FileDialogState& saveDialogState() override { return saveDialog; }
    cadrell::TSystemImageList* imageList() const override { return nullptr; }
    QFont documentFont() const override { return QFont(); }
    QColor documentFontColor() const override { return Qt::black; }
    bool progressShown() const override { return progressDepth > 0; }
    void beginProgress(const QString&, std::function<void()> cancel) override {
        ++progressDepth;
        cancelProgress = std::move(cancel);
    }
    void setProgress(qint64, qint64) override {}
    void endProgress() override {
        progressDepth = 0;
        cancelProgress = nullptr;
    }
    void refreshCommandStates() override { ++commandRefreshes; }
    void refreshStatus(const QWidget*) override { ++statusRefreshes; }
    void newDocument() override { commands << QStringLiteral("new"); }
    void openDocument() override { commands << QStringLiteral("open"); }
    void exitProgram() override { commands << QStringLiteral("exit"); }
};

}  // namespace testsupport
