#include "ui/frame/StatusBar.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

namespace cadrell {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar"));
    setAccessibleName(QStringLiteral("Status"));

    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    progress_->setMaximumWidth(200);
    progress_->hide();
    addPermanentWidget(progress_);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setAccessibleName(QStringLiteral("Cancel"));
    cancelButton_->setToolTip(QStringLiteral("Cancel (Esc)"));
    cancelButton_->hide();
    connect(cancelButton_, &QPushButton::clicked, this, &StatusBar::cancelProgress);
    addPermanentWidget(cancelButton_);

    counts_ = new QLabel(this);
    counts_->setAccessibleName(QStringLiteral("Entries"));
    addPermanentWidget(counts_);

    encoding_ = new QToolButton(this);
    encoding_->setAutoRaise(true);
    encoding_->setPopupMode(QToolButton::InstantPopup);
    encoding_->setToolTip(QStringLiteral("Encoding of the playlist file"));
    encoding_->hide();
    addPermanentWidget(encoding_);

    lineEnds_ = new QToolButton(this);
    lineEnds_->setAutoRaise(true);
    lineEnds_->setPopupMode(QToolButton::InstantPopup);
    lineEnds_->setToolTip(QStringLiteral("Line ends of the playlist file"));
    lineEnds_->hide();
    addPermanentWidget(lineEnds_);
}

void StatusBar::setCounts(qsizetype entries, qsizetype selected) {
    if (entries < 0) {
        counts_->clear();
        counts_->setAccessibleName(QStringLiteral("Entries"));
        return;
    }
    const QLocale locale;
    QString text = entries == 1 ? QStringLiteral("1 entry")
                                : QStringLiteral("%1 entries").arg(locale.toString(entries));
    if (selected > 0)
        text += QStringLiteral(", %1 selected").arg(locale.toString(selected));
    counts_->setText(text);
    counts_->setAccessibleName(text);
}

void StatusBar::setCountsText(const QString& text) {
    counts_->setText(text);
    counts_->setAccessibleName(text);
}

void StatusBar::setEncoding(const QString& name, QMenu* menu) {
    encoding_->setVisible(!name.isEmpty());
    encoding_->setText(name);
    encoding_->setAccessibleName(QStringLiteral("Encoding: %1").arg(name));
    encoding_->setMenu(menu);
}

void StatusBar::setLineEnds(const QString& name, QMenu* menu) {
    lineEnds_->setVisible(!name.isEmpty());
    lineEnds_->setText(name);
    lineEnds_->setAccessibleName(QStringLiteral("Line ends: %1").arg(name));
    lineEnds_->setMenu(menu);
}

void StatusBar::showResult(const QString& text) {
    showMessage(text);
}

void StatusBar::beginProgress(const QString& text, std::function<void()> cancel) {
    cancel_ = std::move(cancel);
    showMessage(text);
    progress_->setRange(0, 0);
    progress_->show();
    cancelButton_->show();
}

void StatusBar::setProgress(qint64 done, qint64 total) {
    // QProgressBar counts in int; a million entries fit, but keep it to per mille anyway.
    progress_->setRange(0, 1000);
    progress_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void StatusBar::endProgress() {
    cancel_ = nullptr;
    progress_->hide();
    cancelButton_->hide();
}

void StatusBar::cancelProgress() {
    if (auto cancel = std::move(cancel_)) {
        cancel_ = nullptr;
        cancel();
    }
}

}  // namespace cadrell
