#include "ui/dialogs/options.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "core/settings/ShellRegistration.h"
#include "ui/platform/Prompts.h"

namespace cadrell {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 2, 8, 4);
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QRadioButton(items[i], this);
        buttons_->addButton(item, i);
        grid->addWidget(item, i / columns, i % columns);
    }
    for (int c = 0; c < columns; ++c)
        grid->setColumnStretch(c, 1);
}

int RadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* item = buttons_->button(index)) {
        item->setChecked(true);
        return;
    }
    // An exclusive group will not uncheck its last checked button.
    buttons_->setExclusive(false);
    for (QAbstractButton* b : buttons_->buttons())
        b->setChecked(false);
    buttons_->setExclusive(true);
}

QAbstractButton* RadioGroup::Item(int index) const {
    return buttons_->button(index);
}

namespace {

template <typename W>
W* named(W* widget, const QString& name) {
    // The accessible name stays the visible caption, which is what a screen reader should say.
    widget->setObjectName(name);
    return widget;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* b = named(new QPushButton(text, parent), name);
    b->setGeometry(geometry);
    return b;
}

RadioGroup* radioGroup(QWidget* parent, const QString& name, const QString& caption,
                       const QStringList& items, const QString& hint, QRect geometry) {
    auto* g = named(new RadioGroup(caption, items, 2, parent), name);
    g->setGeometry(geometry);
    g->setToolTip(hint);
    for (int i = 0; i < items.size(); ++i)
        g->Item(i)->setObjectName(name + QStringLiteral("Item") + QString::number(i));
    return g;
}

}  // namespace

TOptionsBox::TOptionsBox(QWidget* parent, bool& rememberFont, std::function<void()> runHelp)
    : QDialog(parent), rememberFont_(rememberFont), runHelp_(std::move(runHelp)) {
    setObjectName(QStringLiteral("OptionsBox"));
    setWindowTitle(QStringLiteral("Cadrell Options"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(298, 218);
    setSizeGripEnabled(false);

    RadioGroup1 = radioGroup(
        this, QStringLiteral("RadioGroup1"), QStringLiteral("Cadrell in m3u file context menu"),
        {QStringLiteral("&Include"), QStringLiteral("Do &Not Include")},
        QStringLiteral(
            "If Include, you can edit any *.m3u file by right-clicking and choosing Cadrell."),
        {8, 8, 281, 49});
    RadioGroup2 = radioGroup(
        this, QStringLiteral("RadioGroup2"),
        QStringLiteral("m3u file in the file manager's New menu"),
        {QStringLiteral("Incl&ude"), QStringLiteral("D&o Not Include")},
        QStringLiteral("If Include, you can create a new *.m3u file from the file manager's New "
                       "menu."),
        {8, 64, 281, 49});
    RadioGroup3 = radioGroup(
        this, QStringLiteral("RadioGroup3"), QStringLiteral("Remember font between sessions"),
        {QStringLiteral("&Remember"), QStringLiteral("&Do Not Remember")},
        QStringLiteral("If Remember, font will be the same as last time."), {8, 120, 281, 49});
    // Created after the groups, so that Tab starts at the first group.
    ButtonOK = button(this, QStringLiteral("ButtonOK"), QStringLiteral("OK"), {32, 178, 65, 33});
    ButtonCancel =
        button(this, QStringLiteral("ButtonCancel"), QStringLiteral("&Cancel"), {120, 177, 65, 33});
    ButtonHelp =
        button(this, QStringLiteral("ButtonHelp"), QStringLiteral("&Help"), {208, 177, 65, 33});
    ButtonOK->setDefault(true);

    for (QPushButton* b : {ButtonOK, ButtonCancel, ButtonHelp})
        connect(b, &QPushButton::clicked, this, [this, b] { buttonClicked(b); });
}

void TOptionsBox::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        filledThisShowing_ = false;
        refillOnActivate_ = false;
        if (QScreen* s = screen())
            move(s->geometry().center() - rect().center());
        // Without a window manager the dialog may never be told it is active; it is filled
        // then as soon as it is up.
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && !filledThisShowing_)
                fill();
        });
    }
    QDialog::showEvent(event);
}

void TOptionsBox::fill() {
    filledThisShowing_ = true;
    refillOnActivate_ = false;
    // An error box shown from here takes the focus and gives it back; that return must not
    // fill the groups (and show the error) again.
    activating_ = true;
    Guarded([this] { FormActivate(); });
    activating_ = false;
}

bool TOptionsBox::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        if (!filledThisShowing_ || refillOnActivate_)
            fill();
    } else if (event->type() == QEvent::WindowDeactivate) {
        // Only coming back from another of the program's windows fills the groups again.
        const QWidget* next = QApplication::activeWindow();
        if (!activating_ && next && next != this)
            refillOnActivate_ = true;
    }
    return QDialog::event(event);
}

void TOptionsBox::FormActivate() {
    RadioGroup3->SetItemIndex(rememberFont_ ? 0 : 1);
    const QByteArray fileType = ReadFileTypeName();
    // An installed entry offers the program before any choice was made here, and an entry of
    // the user's may take that back: what the desktop does wins over the classes root.
    const std::optional<bool> offered = DesktopOffersPlaylists();
    RadioGroup1->SetItemIndex(offered.value_or(ContextMenuCommandExists(fileType)) ? 0 : 1);
    RadioGroup2->SetItemIndex(NewMenuEntryExists() ? 0 : 1);
}

void TOptionsBox::buttonClicked(QPushButton* button) {
    Guarded([&] { ButtonClick(button); });
    // OK closes with its result even when applying failed; the error box has shown why.
    if (button == ButtonOK)
        done(QDialog::Accepted);
    else if (button == ButtonCancel)
        done(QDialog::Rejected);
}

void TOptionsBox::ButtonClick(QObject* Sender) {
    if (Sender == ButtonOK) {
        ApplyOptions();
    } else if (Sender == ButtonHelp) {
        if (runHelp_)
            runHelp_();
    }
}

void TOptionsBox::ApplyOptions() {
    rememberFont_ = RadioGroup3->ItemIndex() == 0;
    ApplyShellOptions(RadioGroup1->ItemIndex() == 0, RadioGroup2->ItemIndex() == 0,
                      QCoreApplication::applicationFilePath());
}

}  // namespace cadrell
