#pragma once

#include <QDialog>
#include <vector>

#include "core/recovery/Recovery.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace cadrell {

// "Recover Unsaved Changes": the journals a program that ended without saving left behind, one
// row each (playlist, time of its last change, steps, what recovering it does). Recover and
// Discard act on the checked rows; Later, and any row left unchecked, keeps the journal for the
// next start. A journal that cannot be recovered is shown with why, and is never checked.
class RecoverDialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice { Later, Recover, Discard };

    RecoverDialog(const std::vector<FoundJournal>& journals, const QString& folder,
                  QWidget* parent = nullptr);

    Choice choice() const { return choice_; }
    // The rows checked when a button was pressed, as indexes into the journals given.
    std::vector<int> chosen() const;
    void setChecked(int row, bool checked);

    QTreeWidget* List = nullptr;
    QLineEdit* Folder = nullptr;
    QPushButton* ButtonRecover = nullptr;
    QPushButton* ButtonDiscard = nullptr;
    QPushButton* ButtonLater = nullptr;

private:
    void finish(Choice choice);

    Choice choice_ = Choice::Later;
};

}  // namespace cadrell
