#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QPushButton;

namespace cadrell {

// A captioned group of radio buttons laid out in columns, of which at most one is selected;
// it may also have none selected, as every group of the options dialog does until it is filled.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent);

    // The selected item, or -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int index);
    QAbstractButton* Item(int index) const;

private:
    QButtonGroup* buttons_;
};

// The options dialog: the context-menu verb and New-menu entry for .m3u files, and whether the
// frame font is remembered. `rememberFont` is the frame's flag, read when the dialog fills its
// groups and set on OK; `runHelp` runs the frame's Help command.
class TOptionsBox : public QDialog {
    Q_OBJECT
public:
    TOptionsBox(QWidget* parent, bool& rememberFont, std::function<void()> runHelp);

    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
    QPushButton* ButtonHelp;
    RadioGroup* RadioGroup1;
    RadioGroup* RadioGroup2;
    RadioGroup* RadioGroup3;

    // Fills the groups from the frame's flag and the classes root; runs on activation.
    void FormActivate();
    // The one handler of the three buttons; OK applies the options, Help runs the frame's Help.
    void ButtonClick(QObject* Sender);
    // Sets the frame's flag and writes or removes the shell registration.
    void ApplyOptions();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buttonClicked(QPushButton* button);
    void fill();

    bool& rememberFont_;
    std::function<void()> runHelp_;
    bool filledThisShowing_ = false;
    bool refillOnActivate_ = false;
    bool activating_ = false;
};

}  // namespace cadrell
