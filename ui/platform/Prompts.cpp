#include "ui/platform/Prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <new>

#include "core/platform/Error.h"
#include "core/platform/EventLog.h"

namespace cadrell {

namespace {

Prompts* installed = nullptr;

// .m3u8 is the same format in UTF-8: one filter shows both.
QString filter() {
    return QStringLiteral("Playlists (*.m3u *.m3u8);;All files (*)");
}

// PLS and XSPF files open as new playlists too.
QString openFilter() {
    return QStringLiteral(
        "Playlists (*.m3u *.m3u8 *.pls *.xspf);;M3U playlists (*.m3u *.m3u8);;"
        "PLS playlists (*.pls);;XSPF playlists (*.xspf);;All files (*)");
}

}  // namespace

Prompts& Prompts::current() {
    static QtPrompts qt;
    return installed ? *installed : qt;
}

void Prompts::install(Prompts* prompts) {
    installed = prompts;
}

Prompts::Answer QtPrompts::askYesNoCancel(QWidget* parent, const QString& caption,
                                          const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("CloseQuestion"));
    // Names are shown exactly as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

bool QtPrompts::askYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName(QStringLiteral("Question"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtPrompts::showError(QWidget* parent, const QString& text) {
    if (EventLogEnabled()) {
        LogEvent("error", text.toLocal8Bit());
        return;
    }
    if (!parent)
        parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    if (!parent) {
        // At start-up or during a hand-off no window is active yet: stay with the frame, the one
        // main window.
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->inherits("QMainWindow") && top->isVisible())
                parent = top;
        }
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Cadrell"), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<QString> QtPrompts::openFileName(QWidget* parent, const QString& startFolder) {
    QFileDialog dialog(parent, QString(), startFolder, openFilter());
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist may be typed and confirmed; opening it then reports the error.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPrompts::chooseFolder(QWidget* parent, const QString& startFolder) {
    QFileDialog dialog(parent, QString(), startFolder);
    dialog.setObjectName(QStringLiteral("FolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPrompts::saveFileName(QWidget* parent, const QString& startFolder,
                                               const QString& initialName, const QString& filters) {
    QFileDialog dialog(parent, QString(), startFolder, filters.isEmpty() ? filter() : filters);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!filters.isEmpty()) {
        // A name typed without an extension takes the one of the kind chosen in the dialog.
        auto suffixOf = [](const QString& chosenFilter) {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(chosenFilter);
            return m.hasMatch() ? m.captured(1) : QString();
        };
        dialog.setDefaultSuffix(suffixOf(filters.section(QStringLiteral(";;"), 0, 0)));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, suffixOf](const QString& chosen) {
                             dialog.setDefaultSuffix(suffixOf(chosen));
                         });
    }
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<FontChoice> QtPrompts::chooseFont(QWidget* parent, const QFont& font,
                                                const QColor& color) {
    QFontDialog dialog(font, parent);
    dialog.setObjectName(QStringLiteral("FontDialog1"));
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    QColor chosen = color;
    AddColourChoice(dialog, chosen);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return FontChoice{dialog.selectedFont(), chosen};
}

void AddColourChoice(QFontDialog& dialog, QColor& chosen) {
    // The toolkit's font dialog has no colour among its effects; it gets a button there, beside
    // the other font choices, and its sample shows the colour.
    QGroupBox* effects = nullptr;
    QLineEdit* sample = nullptr;
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        if (group->findChild<QCheckBox*>())
            effects = group;
        else if (auto* edit = group->findChild<QLineEdit*>())
            sample = edit;
    }
    auto* colourButton = new QPushButton(QStringLiteral("&Color..."), &dialog);
    colourButton->setObjectName(QStringLiteral("FontColor"));
    colourButton->setAutoDefault(false);
    if (effects && effects->layout())
        effects->layout()->addWidget(colourButton);
    else if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        buttons->addButton(colourButton, QDialogButtonBox::ActionRole);
    auto showColour = [&chosen, colourButton, sample] {
        QPixmap swatch(16, 16);
        swatch.fill(chosen);
        colourButton->setIcon(QIcon(swatch));
        if (sample) {
            QPalette palette = sample->palette();
            palette.setColor(QPalette::Text, chosen);
            sample->setPalette(palette);
        }
    };
    showColour();
    QObject::connect(colourButton, &QPushButton::clicked, &dialog, [&dialog, &chosen, showColour] {
        const QColor picked = QColorDialog::getColor(chosen, &dialog, QStringLiteral("Color"));
        if (picked.isValid()) {
            chosen = picked;
            showColour();
        }
    });
}

int QtPrompts::exec(QDialog& dialog) {
    return dialog.exec();
}

bool QtPrompts::openUrl(const QUrl& url) {
    if (EventLogEnabled()) {
        LogEvent("openurl", url.toEncoded());
        return true;
    }
    return QDesktopServices::openUrl(url);
}

void ShowErrorBox(const QString& text) {
    Prompts::current().showError(nullptr, errorBoxText(text));
}

void Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& e) {
        ShowErrorBox(e.text());
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    }
}

}  // namespace cadrell
