#pragma once

#include <QDialog>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace cadrell {

// The about box: name, version, the maker's notice and the home page link.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // `visitHomePage` opens the home page as the frame's own command does; without it the link
    // goes straight to the desktop.
    explicit TAboutBox(QWidget* parent = nullptr, std::function<void()> visitHomePage = {});

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;

    void CommentsClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();

    std::function<void()> visitHomePage_;
};

}  // namespace cadrell
