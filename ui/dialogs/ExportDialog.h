#pragma once

#include <QDialog>

#include "core/playlist/Export.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace cadrell {

// File > Export with Files: where the copies go and how they are named. Only asks; the window
// runs the export.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // `playlistName`: the exported playlist's name offered; `documentEncoding`: the playlist's
    // own encoding, offered beside UTF-8.
    ExportDialog(QWidget* parent, const QString& startFolder, const QString& playlistName,
                 TextEncoding documentEncoding);

    QLineEdit* targetFolder = nullptr;
    QCheckBox* numberFiles = nullptr;
    QRadioButton* keepFolders = nullptr;
    QRadioButton* oneFolder = nullptr;
    QLineEdit* playlistName = nullptr;
    QComboBox* encoding = nullptr;

    // The choices as the export takes them; the line ends and folder are the caller's to check.
    ExportOptions options() const;

private:
    void browse();
    void accept() override;

    TextEncoding documentEncoding_;
};

}  // namespace cadrell
