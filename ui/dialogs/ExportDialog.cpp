#include "ui/dialogs/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/platform/PathParts.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

// A field with its caption as the screen reader's name, the caption's letter leading to it.
template <class W>
W* named(W* widget, const QString& caption) {
    widget->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    return widget;
}

}  // namespace

ExportDialog::ExportDialog(QWidget* parent, const QString& startFolder, const QString& offeredName,
                           TextEncoding documentEncoding)
    : QDialog(parent), documentEncoding_(documentEncoding) {
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(QStringLiteral("Export with Files"));

    targetFolder = named(new QLineEdit(startFolder, this), QStringLiteral("&Target folder:"));
    auto* browseButton = new QPushButton(QStringLiteral("&Browse..."), this);
    browseButton->setAccessibleName(QStringLiteral("Browse"));
    connect(browseButton, &QPushButton::clicked, this, [this] { browse(); });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(targetFolder, 1);
    folderRow->addWidget(browseButton);

    numberFiles = named(new QCheckBox(QStringLiteral("&Number files in playlist order"), this),
                        QStringLiteral("Number files in playlist order"));
    keepFolders =
        named(new QRadioButton(QStringLiteral("&Keep the folder structure below the common folder"),
                               this),
              QStringLiteral("Keep the folder structure below the common folder"));
    oneFolder = named(new QRadioButton(QStringLiteral("All in &one folder"), this),
                      QStringLiteral("All in one folder"));
    keepFolders->setChecked(true);

    playlistName = named(new QLineEdit(offeredName, this), QStringLiteral("&Playlist name:"));
    encoding = named(new QComboBox(this), QStringLiteral("&Encoding:"));
    encoding->addItem(QStringLiteral("UTF-8"), static_cast<int>(TextEncoding::Utf8));
    if (documentEncoding != TextEncoding::Utf8)
        encoding->addItem(
            QStringLiteral("As the playlist (%1)").arg(EncodingName(documentEncoding)),
            static_cast<int>(documentEncoding));

    auto* form = new QFormLayout;
    auto* folderLabel = new QLabel(QStringLiteral("&Target folder:"), this);
    folderLabel->setBuddy(targetFolder);
    form->addRow(folderLabel, folderRow);
    auto* nameLabel = new QLabel(QStringLiteral("&Playlist name:"), this);
    nameLabel->setBuddy(playlistName);
    form->addRow(nameLabel, playlistName);
    auto* encodingLabel = new QLabel(QStringLiteral("&Encoding:"), this);
    encodingLabel->setBuddy(encoding);
    form->addRow(encodingLabel, encoding);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* exportButton =
        buttons->addButton(QStringLiteral("E&xport"), QDialogButtonBox::AcceptRole);
    exportButton->setAccessibleName(QStringLiteral("Export"));
    exportButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(numberFiles);
    layout->addWidget(keepFolders);
    layout->addWidget(oneFolder);
    layout->addWidget(buttons);
    setTabOrder(targetFolder, browseButton);
    setTabOrder(browseButton, playlistName);
    setTabOrder(playlistName, encoding);
    setTabOrder(encoding, numberFiles);
    setTabOrder(numberFiles, keepFolders);
    setTabOrder(keepFolders, oneFolder);
    resize(560, sizeHint().height());
}

void ExportDialog::browse() {
    if (const std::optional<QString> folder =
            Prompts::current().chooseFolder(this, targetFolder->text()))
        targetFolder->setText(*folder);
}

void ExportDialog::accept() {
    // What cannot work is said here, while the choices can still be mended.
    const QString folder = targetFolder->text().trimmed();
    QString problem;
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        problem = QStringLiteral("Choose the folder to export to (a full path).");
    else if (playlistName->text().trimmed().isEmpty() ||
             playlistName->text().contains(QLatin1Char('/')))
        problem = QStringLiteral("Give the exported playlist a file name.");
    if (!problem.isEmpty()) {
        Prompts::current().showError(this, problem);
        return;
    }
    QDialog::accept();
}

ExportOptions ExportDialog::options() const {
    ExportOptions o;
    o.targetFolder = QFile::encodeName(QDir::cleanPath(targetFolder->text().trimmed()));
    o.numberFiles = numberFiles->isChecked();
    o.keepFolders = keepFolders->isChecked();
    QByteArray name = QFile::encodeName(playlistName->text().trimmed());
    const QByteArray ext = Extension(name).toLower();
    if (ext != ".m3u" && ext != ".m3u8")
        name += encoding->currentData().toInt() == static_cast<int>(TextEncoding::Utf8) ? ".m3u8"
                                                                                        : ".m3u";
    o.playlistName = name;
    // A .m3u8 playlist is UTF-8 whatever was chosen.
    o.encoding = Extension(name).toLower() == ".m3u8"
                     ? TextEncoding::Utf8
                     : static_cast<TextEncoding>(encoding->currentData().toInt());
    return o;
}

}  // namespace cadrell
