#include "ui/playlist/FindBar.h"

#include "ui/playlist/PlaylistListView.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "core/platform/Strings.h"
#include "core/playlist/PlaylistDocument.h"
#include "ui/platform/Buttons.h"
#include "ui/playlist/DocumentHost.h"

namespace cadrell {

namespace {

using strings::FormatCount;

QString changedMessage(size_t n) {
    if (n == 0)
        return FindBar::tr("No entries changed");
    return n == 1 ? FindBar::tr("1 entry changed")
                  : FindBar::tr("%1 entries changed").arg(FormatCount(static_cast<qsizetype>(n)));
}

QCheckBox* checkBox(const QString& caption, const QString& name, QWidget* parent) {
    auto* c = new QCheckBox(caption, parent);
    c->setAccessibleName(name);
    return c;
}

// One row of the bar, in `owner` when given; `wide` takes the room left, else the end does.
QHBoxLayout* rowOf(std::initializer_list<QWidget*> widgets, QWidget* wide,
                   QWidget* owner = nullptr) {
    auto* row = owner ? new QHBoxLayout(owner) : new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets)
        row->addWidget(w, w == wide ? 1 : 0);
    if (!wide)
        row->addStretch();
    return row;
}

}  // namespace

FindBar::FindBar(const PlaylistDocument* doc, PlaylistListView* view, QWidget* parent)
    : QWidget(parent), doc_(doc), view_(view) {
    setAccessibleName(tr("Find"));

    auto* findLabel = new QLabel(tr("Fi&nd:"), this);
    findField_ = new QLineEdit(this);
    findField_->setAccessibleName(tr("Find"));
    findField_->setClearButtonEnabled(true);
    findLabel->setBuddy(findField_);
    matchCase_ = checkBox(tr("Match &case"), tr("Match case"), this);
    regex_ = checkBox(tr("Regular e&xpression"), tr("Regular expression"), this);
    next_ = BarButton(tr("Next"), tr("Next"), tr("Next match (Enter, F3)"), this);
    previous_ = BarButton(tr("Previous"), tr("Previous"),
                          tr("Previous match (Shift+Enter, Shift+F3)"), this);
    selectAll_ =
        BarButton(tr("Select &All"), tr("Select All"), tr("Select every match (Alt+Enter)"), this);
    lookInLabel_ = new QLabel(tr("L&ook in:"), this);
    lookIn_ = new QComboBox(this);
    lookIn_->setAccessibleName(tr("Look in"));
    lookInLabel_->setBuddy(lookIn_);
    count_ = new QLabel(this);
    count_->setMinimumWidth(
        count_->fontMetrics().horizontalAdvance(QStringLiteral("888 of 8,888,888")));
    close_ = new QToolButton(this);
    close_->setText(tr("Close"));
    close_->setAccessibleName(tr("Close"));
    close_->setToolTip(tr("Close the find bar (Esc)"));
    close_->setAutoRaise(true);
    close_->setFocusPolicy(Qt::NoFocus);  // Esc is its key

    // Three short rows rather than one long one, so the bar fits a tiled window: the search
    // with its buttons, the replacement (when asked for), then the options and the count.
    // Room for a folder path, the usual thing to look for in a playlist.
    findField_->setMinimumWidth(findField_->fontMetrics().averageCharWidth() * 20);
    QHBoxLayout* findRow =
        rowOf({findLabel, findField_, next_, previous_, selectAll_, close_}, findField_);
    QHBoxLayout* optionsRow = rowOf({matchCase_, regex_, lookInLabel_, lookIn_, count_}, nullptr);

    replaceRow_ = new QWidget(this);
    auto* replaceLabel = new QLabel(tr("Replace w&ith:"), replaceRow_);
    replaceField_ = new QLineEdit(replaceRow_);
    replaceField_->setAccessibleName(tr("Replace with"));
    replaceLabel->setBuddy(replaceField_);
    replace_ = BarButton(tr("&Replace"), tr("Replace"),
                         tr("Replace in the current match and go to the next"), replaceRow_);
    replaceAll_ = BarButton(tr("Replace A&ll"), tr("Replace All"),
                            tr("Replace in the selected rows, or in every row"), replaceRow_);
    rowOf({replaceLabel, replaceField_, replace_, replaceAll_}, replaceField_, replaceRow_);
    replaceRow_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addLayout(findRow);
    layout->addWidget(replaceRow_);
    layout->addLayout(optionsRow);

    // The two texts first, then the buttons and options as they are read: row by row, left to
    // right. A hidden replace row drops out of the chain by itself.
    QWidget* const chain[] = {findField_, replaceField_, next_,      previous_, selectAll_,
                              replace_,   replaceAll_,   matchCase_, regex_,    lookIn_};
    for (size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);

    auto shortcut = [this](QKeySequence keys, void (FindBar::*slot)()) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::Key_F3), &FindBar::findNext);
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), &FindBar::findPrevious);
    shortcut(QKeySequence(Qt::Key_Escape), &FindBar::closeBar);

    connect(findField_, &QLineEdit::textChanged, this, &FindBar::restart);
    connect(matchCase_, &QCheckBox::toggled, this, &FindBar::restart);
    connect(regex_, &QCheckBox::toggled, this, &FindBar::restart);
    connect(lookIn_, &QComboBox::currentIndexChanged, this, &FindBar::restart);
    connect(next_, &QPushButton::clicked, this, &FindBar::findNext);
    connect(previous_, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(selectAll_, &QPushButton::clicked, this, &FindBar::selectAll);
    connect(replace_, &QPushButton::clicked, this, &FindBar::replaceCurrent);
    connect(replaceAll_, &QPushButton::clicked, this, &FindBar::replaceAll);
    connect(close_, &QToolButton::clicked, this, &FindBar::closeBar);
    connect(doc_, &PlaylistDocument::changed, this, &FindBar::documentChanged);
    connect(&session_, &FindSession::countProgress, this, &FindBar::countProgress);
    connect(&session_, &FindSession::replaceFinished, this, &FindBar::replaceFinished);
    connect(&session_, &FindSession::replaceProgress, this, [this](qint64 done, qint64 total) {
        if (progressShown_)
            host_->setProgress(done, total);
    });
    followView();
    hide();
    setLookInChoices({}, false);
}

// The host is not told: a bar goes with its window, whose frame may be going too. Closing the
// window stops the bar first.
FindBar::~FindBar() = default;

void FindBar::setHost(DocumentHost* host) {
    host_ = host;
}

// The position in the count follows the list's current row, however it moved; a list given a new
// model has a new selection model too.
void FindBar::followView() {
    QItemSelectionModel* selection = view_ ? view_->selectionModel() : nullptr;
    if (selection == followed_)
        return;
    if (followed_)
        disconnect(followed_, nullptr, this, nullptr);
    followed_ = selection;
    if (selection)
        connect(selection, &QItemSelectionModel::currentChanged, this, &FindBar::showCount);
}

void FindBar::showFind() {
    showWith(false);
}

void FindBar::showReplace() {
    showWith(true);
}

void FindBar::showWith(bool replaceRow) {
    followView();
    replaceRow_->setVisible(replaceRow);
    show();
    if (stale_)
        restart();
    findField_->setFocus(Qt::ShortcutFocusReason);
    findField_->selectAll();
}

void FindBar::setTextForm(TextForm form) {
    session_.setTextForm(std::move(form));
    restart();
}

// Whatever waited for the old search or the old rows is dropped with them.
void FindBar::restart() {
    session_.restart(options());
    selectAllWhenCounted_ = false;
    steps_.clear();
    // Counting for a hidden bar is wasted; showing it again starts over.
    stale_ = isHidden();
    if (!stale_)
        session_.startCount(doc_->Entries());
    showCount();
}

// Asked from the window's menu, a hidden bar counts too.
void FindBar::countNow() {
    stale_ = false;
    if (!session_.isCounting() && !session_.isCounted())
        session_.startCount(doc_->Entries());
    showCount();
}

void FindBar::documentChanged() {
    if (session_.isReplacing()) {
        stopReplacing();
        emit message(replacingAll_ ? tr("The playlist changed; Replace All stopped")
                                   : tr("The playlist changed; Replace stopped"));
    }
    restart();
}

bool FindBar::isCounting() const {
    return session_.isCounting();
}

bool FindBar::isReplacing() const {
    return session_.isReplacing();
}

bool FindBar::isFinding() const {
    return !steps_.empty() || selectAllWhenCounted_;
}

void FindBar::countProgress() {
    if (selectAllWhenCounted_ && session_.isCounted()) {
        selectAllWhenCounted_ = false;
        selectFound();
    }
    takeSteps();
    showCount();
}

void FindBar::takeSteps() {
    while (!steps_.empty()) {
        const Step step = steps_.front();
        const int from = step.from == kCurrentRow ? currentRow(step.forward) : step.from;
        const int row = step.forward ? session_.nextMatch(from) : session_.previousMatch(from);
        if (row == kNotCountedYet) {
            countNow();
            return;
        }
        steps_.pop_front();
        if (row >= 0)
            moveTo(row);
        else if (step.otherwise >= 0)
            moveTo(step.otherwise);
        else
            emit message(tr("Not found"));
    }
}

QString FindBar::countText() const {
    return count_->text();
}

void FindBar::showCount() {
    if (!session_.hasSearch()) {
        count_->clear();
        return;
    }
    if (!session_.isValid()) {
        count_->setText(session_.errorString());
        return;
    }
    const bool counting = session_.isCounting() || stale_;
    const std::vector<int>& found = session_.found();
    if (found.empty()) {
        count_->setText(counting ? tr("Searching…") : tr("No matches"));
        return;
    }
    const QString total = FormatCount(static_cast<qsizetype>(found.size())) +
                          (counting ? QStringLiteral("…") : QString());
    if (const qsizetype at = session_.matchNumber(currentMatchLine()); at > 0)
        count_->setText(tr("%1 of %2").arg(FormatCount(at), total));
    else if (found.size() == 1 && !counting)
        count_->setText(tr("1 match"));
    else
        count_->setText(tr("%1 matches").arg(total));
}

bool FindBar::reportInvalid() {
    if (!session_.hasSearch())
        return true;
    if (!session_.isValid()) {
        emit message(session_.errorString());
        return true;
    }
    return false;
}

// Pressed again before the first press has moved, each press still takes one step.
void FindBar::findNext() {
    if (reportInvalid())
        return;
    steps_.push_back(Step{true});
    takeSteps();
}

void FindBar::findPrevious() {
    if (reportInvalid())
        return;
    steps_.push_back(Step{false});
    takeSteps();
}

void FindBar::selectAll() {
    if (reportInvalid())
        return;
    countNow();
    if (!session_.isCounted()) {
        selectAllWhenCounted_ = true;
        return;
    }
    selectFound();
}

void FindBar::replaceCurrent() {
    if (reportInvalid())
        return;
    stopReplacing();
    replacingAll_ = false;
    replacedRow_ = currentMatchLine();
    if (replacedRow_ < 0) {
        findNext();
        return;
    }
    session_.startReplaceAt(doc_->Entries(), replacedRow_, replaceField_->text());
}

void FindBar::replaceAll() {
    if (reportInvalid())
        return;
    stopReplacing();
    replacingAll_ = true;
    session_.startReplaceAll(doc_->Entries(), selectedRows(), replaceField_->text());
    // Another tool's progress stays where it is; this one then goes without.
    if (host_ && !host_->progressShown()) {
        host_->beginProgress(tr("Replacing…"), [bar = QPointer<FindBar>(this)] {
            if (bar)
                bar->cancel();
        });
        progressShown_ = true;
    }
}

void FindBar::replaceFinished() {
    // Taken out first: applying the edits changes the document, which would stop a running job.
    bool matched = false;
    EntryEdits edits = session_.finishReplace(&matched);
    stopReplacing();
    if (replacingAll_) {
        const size_t changed = edits.rows.size();
        if (changed && applyEdits)
            applyEdits(std::move(edits), tr("Replace All"));
        emit message(changedMessage(changed));
        return;
    }
    if (!matched) {
        // Not on a match yet: go to one first, so the user sees what a second press changes.
        findNext();
        return;
    }
    const int current = replacedRow_;
    if (!edits.rows.empty() && applyEdits) {
        applyEdits(std::move(edits), tr("Replace"));
        emit message(changedMessage(1));
    }
    // The change may have reset the list; the next match is looked for from the row replaced,
    // and with no match left the list stays on the row just changed.
    steps_.push_back(Step{true, current, current});
    takeSteps();
}

void FindBar::stopReplacing() {
    session_.stopReplace();
    if (progressShown_) {
        progressShown_ = false;
        host_->endProgress();
    }
}

void FindBar::cancel() {
    const bool asked = isFinding() || session_.isReplacing();
    stop();
    if (asked)
        emit message(tr("Cancelled"));
}

void FindBar::stop() {
    steps_.clear();
    selectAllWhenCounted_ = false;
    stopReplacing();
    if (isHidden()) {
        session_.stopCount();
        stale_ = true;
    }
    showCount();
}

void FindBar::closeBar() {
    hide();
    cancel();
    emit closed();
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::AltModifier) {
        selectAll();
    } else if (mods == Qt::ShiftModifier) {
        findPrevious();
    } else if (mods == Qt::NoModifier) {
        QWidget* focus = focusWidget();
        if (auto* b = qobject_cast<QPushButton*>(focus))
            b->click();
        else if (focus == replaceField_)
            replaceCurrent();
        else
            findNext();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

}  // namespace cadrell
