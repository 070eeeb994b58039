#include "ui/dialogs/RecoverDialog.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace cadrell {

namespace {

enum Column { Playlist, LastChange, Steps, Note };

QString whenText(int64_t ms) {
    if (ms <= 0)
        return QStringLiteral("unknown");
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms), QLocale::ShortFormat);
}

QString noteText(const FoundJournal& j) {
    switch (j.way) {
        case FoundJournal::Way::AsFile:
            return QStringLiteral("Reopened with its changes, not yet saved.");
        case FoundJournal::Way::AsUntitled:
            return j.why.isEmpty() ? QStringLiteral("Reopened as an untitled playlist.") : j.why;
        case FoundJournal::Way::Impossible:
            break;
    }
    return j.why;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text,
                    const QString& description) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    QString caption = text;
    b->setAccessibleName(caption.remove(QLatin1Char('&')));
    b->setAccessibleDescription(description);
    b->setToolTip(description);
    return b;
}

}  // namespace

RecoverDialog::RecoverDialog(const std::vector<FoundJournal>& journals, const QString& folder,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RecoverDialog"));
    setWindowTitle(QStringLiteral("Recover Unsaved Changes"));
    setAccessibleName(windowTitle());

    auto* intro = new QLabel(
        QStringLiteral("Cadrell ended without saving these playlists. Their changes were kept and "
                       "can be brought back as they were on screen. Uncheck a playlist to keep "
                       "its changes for the next start.\n\nUnsaved &playlists:"),
        this);
    intro->setWordWrap(true);

    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("RecoverList"));
    List->setAccessibleName(QStringLiteral("Unsaved playlists"));
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true);
    List->setHeaderLabels({QStringLiteral("Playlist"), QStringLiteral("Last change"),
                           QStringLiteral("Steps"), QStringLiteral("What happens")});
    List->header()->setStretchLastSection(true);
    intro->setBuddy(List);
    for (const FoundJournal& j : journals) {
        auto* item = new QTreeWidgetItem(List);
        item->setText(Playlist, j.displayName());
        item->setText(LastChange, whenText(j.lastChangeMs));
        item->setText(Steps, QString::number(j.steps));
        item->setText(Note, noteText(j));
        item->setToolTip(Note, noteText(j));
        item->setToolTip(Playlist, j.displayName());
        const bool open = j.way != FoundJournal::Way::Impossible;
        // A journal of a newer version is not even this version's to delete.
        const bool ours = j.state != JournalContents::State::NewerVersion;
        item->setFlags(ours ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                            : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Playlist, open ? Qt::Checked : Qt::Unchecked);
    }
    for (int c = Playlist; c < Note; ++c)
        List->resizeColumnToContents(c);
    if (List->topLevelItemCount() > 0)
        List->setCurrentItem(List->topLevelItem(0));

    auto* folderLabel = new QLabel(QStringLiteral("Changes are &kept in:"), this);
    Folder = new QLineEdit(folder, this);
    Folder->setObjectName(QStringLiteral("RecoverFolder"));
    Folder->setReadOnly(true);
    Folder->setAccessibleName(QStringLiteral("Changes are kept in"));
    folderLabel->setBuddy(Folder);

    ButtonRecover = button(this, QStringLiteral("ButtonRecover"), QStringLiteral("&Recover"),
                           QStringLiteral("Open the checked playlists as they were"));
    ButtonDiscard = button(this, QStringLiteral("ButtonDiscard"), QStringLiteral("&Discard"),
                           QStringLiteral("Delete the changes kept for the checked playlists"));
    ButtonLater = button(this, QStringLiteral("ButtonLater"), QStringLiteral("&Later"),
                         QStringLiteral("Keep every playlist's changes for the next start"));
    ButtonRecover->setDefault(true);
    connect(ButtonRecover, &QPushButton::clicked, this, [this] { finish(Choice::Recover); });
    connect(ButtonDiscard, &QPushButton::clicked, this, [this] { finish(Choice::Discard); });
    connect(ButtonLater, &QPushButton::clicked, this, [this] { finish(Choice::Later); });

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(Folder, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonRecover);
    buttons->addWidget(ButtonDiscard);
    buttons->addWidget(ButtonLater);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(List, 1);
    layout->addLayout(folderRow);
    layout->addLayout(buttons);
    resize(680, 300);
    List->setFocus();
}

std::vector<int> RecoverDialog::chosen() const {
    std::vector<int> rows;
    for (int i = 0; i < List->topLevelItemCount(); ++i) {
        if (List->topLevelItem(i)->checkState(Playlist) == Qt::Checked)
            rows.push_back(i);
    }
    return rows;
}

void RecoverDialog::setChecked(int row, bool checked) {
    if (QTreeWidgetItem* item = List->topLevelItem(row))
        item->setCheckState(Playlist, checked ? Qt::Checked : Qt::Unchecked);
}

void RecoverDialog::finish(Choice choice) {
    choice_ = choice;
    // Escape (closing the dialog) is Later: nothing is lost by it.
    done(choice == Choice::Later ? QDialog::Rejected : QDialog::Accepted);
}

}  // namespace cadrell
