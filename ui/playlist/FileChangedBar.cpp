#include "ui/playlist/FileChangedBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include "core/platform/Background.h"
#include "core/platform/Error.h"
#include "core/platform/PathParts.h"
#include "core/playlist/PlaylistDocument.h"
#include "core/playlist/PlaylistFile.h"
#include "ui/platform/Buttons.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

// What a worker hands back from reading the file again.
struct ReadResult {
    std::optional<PlaylistText> text;
    QString error;
};

}  // namespace

FileChangedBar::FileChangedBar(PlaylistDocument* doc, QWidget* parent)
    : QWidget(parent), doc_(doc) {
    setAccessibleName(tr("File changed"));
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    reload_ = BarButton(tr("Rel&oad"), tr("Reload"),
                        tr("Read the file again; Undo brings back what is shown now"), this);
    dismiss_ = BarButton(tr("&Dismiss"), tr("Dismiss"), tr("Keep what is shown (Esc)"), this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(text_, 1);
    layout->addWidget(reload_);
    layout->addWidget(dismiss_);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &FileChangedBar::dismiss);
    connect(reload_, &QPushButton::clicked, this, &FileChangedBar::reload);
    connect(dismiss_, &QPushButton::clicked, this, &FileChangedBar::dismiss);
    connect(doc_, &PlaylistDocument::historyChanged, this, [this] { ++changes_; });
    hide();
}

QString FileChangedBar::text() const {
    return text_->text();
}

void FileChangedBar::check() {
    if (checking_ || reloading_ || doc_->untitled() || !doc_->DiskStamp)
        return;
    checking_ = true;
    const QByteArray name = doc_->FileName;
    const std::optional<FileStamp> asked = doc_->DiskStamp;
    RunDetached(
        this, [name] { return StampOfFile(name); },
        [this, name, asked](std::optional<FileStamp> now) {
            checking_ = false;
            checked(name, asked, now);
        });
}

void FileChangedBar::checked(const QByteArray& name, const std::optional<FileStamp>& asked,
                             const std::optional<FileStamp>& now) {
    // Saved, loaded or renamed meanwhile: the answer is about a file the window no longer has.
    if (name != doc_->FileName || asked != doc_->DiskStamp)
        return;
    // A file that is gone has nothing to reload.
    if (!now || *now == *doc_->DiskStamp) {
        hide();
        return;
    }
    if (*now != dismissed_)
        showFor(*now);
}

void FileChangedBar::showFor(const FileStamp& now) {
    shown_ = now;
    text_->setText(tr("%1 has been changed by another program.")
                       .arg(QString::fromLocal8Bit(FileNamePart(doc_->FileName))));
    show();
}

void FileChangedBar::dismiss() {
    dismissed_ = shown_;
    hide();
    emit closed();
}

void FileChangedBar::documentSaved() {
    shown_.reset();
    dismissed_.reset();
    hide();
}

void FileChangedBar::reload() {
    if (reloading_)
        return;
    if (doc_->Modified() &&
        !Prompts::current().askYesNo(
            window(), QStringLiteral("Reload"),
            formatText("Reload %s and lose the changes made here?", DisplayPath(doc_->FileName))))
        return;
    reloading_ = true;
    hide();
    const QByteArray name = doc_->FileName;
    const quint64 changes = changes_;
    RunDetached(
        this,
        [name] {
            ReadResult result;
            try {
                result.text = ReadPlaylist(name);
            } catch (const std::exception& e) {
                result.error = QString::fromUtf8(e.what());
            }
            return result;
        },
        [this, name, changes](ReadResult result) {
            reloading_ = false;
            if (!result.error.isEmpty()) {
                Guarded([&] { throw Error(result.error); });
                return;
            }
            // Edited while the file was read: what the user agreed to lose is not what would
            // be lost now, so the bar comes back to be asked again.
            if (name != doc_->FileName || changes != changes_) {
                if (shown_)
                    showFor(*shown_);
                return;
            }
            Guarded([&] { ReloadPlaylist(*doc_, std::move(*result.text)); });
            shown_.reset();
            dismissed_.reset();
            emit reloaded();
            emit closed();
        });
}

}  // namespace cadrell
