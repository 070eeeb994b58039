#include "ui/dialogs/About.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include "core/platform/Strings.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

namespace {

QFont dialogFont(int points, bool bold) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, std::function<void()> visitHomePage)
    : QDialog(parent), visitHomePage_(std::move(visitHomePage)) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(298, 218);
    setFont(dialogFont(8, false));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 281, 161);
    Panel1->setFont(dialogFont(10, true));

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(48, 20, 32, 32);
    ProgramIcon->setAlignment(Qt::AlignCenter);

    ProductName = new QLabel(Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setGeometry(120, 16, 140, 18);

    Version = new QLabel(Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(120, 40, 140, 18);

    Copyright = new QLabel(QString::fromUtf8(strings::MakerNotice), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setGeometry(8, 80, 265, 18);
    Copyright->setAlignment(Qt::AlignCenter);

    Comments = new QLabel(QString::fromLatin1(strings::HomePage), Panel1);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setGeometry(8, 116, 265, 18);
    Comments->setAlignment(Qt::AlignCenter);
    Comments->setWordWrap(true);
    Comments->setFont(dialogFont(10, true));
    Comments->setStyleSheet(QStringLiteral("color: blue;"));
    Comments->setCursor(Qt::PointingHandCursor);
    Comments->setAccessibleName(QStringLiteral("Home page"));
    Comments->installEventFilter(this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(120, 178, 65, 33);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TAboutBox::FormCreate() {
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    setWindowTitle(QStringLiteral("About ") + QLatin1String(strings::ProductName));
    ProductName->setText(QLatin1String(strings::ProductName));
    Version->setText(QStringLiteral("Version ") + QLatin1String(strings::VersionText));
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen())
        move(s->geometry().center() - rect().center());
    OKButton->setFocus();
}

void TAboutBox::CommentsClick() {
    if (visitHomePage_)
        visitHomePage_();
    else
        Prompts::current().openUrl(QUrl(QString::fromLatin1(strings::HomePage)));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Comments && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Guarded([this] { CommentsClick(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace cadrell
