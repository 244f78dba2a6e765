#include "app/log_list_view.h"

#include "app/log_list_accessible.h"
#include "platform/wide_text.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace nomvera::app {
namespace {

// Per insertion or selection change, at most this many lines are announced
// one by one; a select-all of a long log is not read out line by line.
constexpr int kAnnouncedLines = 16;

} // namespace

TLogListModel::TLogListModel(QObject* parent) : QAbstractListModel(parent) {}

int TLogListModel::Append(const QString& line, form::TActivityLevel level) {
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    levels_.push_back(static_cast<std::uint8_t>(level));
    longest_ = std::max(longest_, static_cast<int>(line.size()));
    endInsertRows();
    return row;
}

int TLogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TLogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= Count()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return Line(index.row());
    }
    const form::TActivityLevel level = Level(index.row());
    if (role == Qt::ForegroundRole) {
        switch (level) {
        case form::TActivityLevel::Error:
            return marks_.errorText;
        case form::TActivityLevel::Warning:
            return marks_.warningText;
        case form::TActivityLevel::Info:
            return {};
        }
    }
    if (role == Qt::DecorationRole) {
        switch (level) {
        case form::TActivityLevel::Error:
            return marks_.error;
        case form::TActivityLevel::Warning:
            return marks_.warning;
        case form::TActivityLevel::Info:
            return marks_.none;
        }
    }
    return {};
}

void TLogListModel::SetMarks(const TLogLineMarks& marks) {
    marks_ = marks;
    if (Count() > 0) {
        emit dataChanged(index(0, 0), index(Count() - 1, 0),
                         {Qt::ForegroundRole, Qt::DecorationRole});
    }
}

TLogListView::TLogListView(QWidget* parent) : QAbstractItemView(parent) {
    InstallLogListAccessibility();
    // Shift with the movement keys extends the selection, for Ctrl+C.
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    setTextElideMode(Qt::ElideNone);
    charWidth_ = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
}

void TLogListView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        charWidth_ = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
        measuredWidth_ = 0;
        updateGeometries();
    }
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        UpdateMarks();
    }
    QAbstractItemView::changeEvent(event);
}

void TLogListView::setModel(QAbstractItemModel* model) {
    QAbstractItemView::setModel(model);
    measuredWidth_ = 0;
    UpdateMarks();
    updateGeometries();
}

void TLogListView::SetRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    UpdateMarks();
    updateGeometries();
    viewport()->update();
}

void TLogListView::UpdateMarks() {
    const int side = std::max(1, rowHeight_ - 3);
    setIconSize(QSize(side, side));
    auto* lines = qobject_cast<TLogListModel*>(model());
    if (lines == nullptr) {
        return;
    }
    // The palette has no role for errors and warnings: they are the usual red
    // and amber, dark on a light base and light on a dark one, so that both
    // keep their contrast with the background.
    const bool darkBase = palette().color(QPalette::Base).lightness() < 128;
    TLogLineMarks marks;
    marks.errorText = QColor(darkBase ? QColor(0xFF, 0x6B, 0x6B) : QColor(0xB0, 0x00, 0x00));
    marks.warningText = QColor(darkBase ? QColor(0xFF, 0xC0, 0x4D) : QColor(0x8A, 0x55, 0x00));
    marks.error = style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this);
    marks.warning = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this);
    QPixmap blank(side, side);
    blank.fill(Qt::transparent);
    marks.none = QIcon(blank);
    lines->SetMarks(marks);
}

int TLogListView::MarkWidth() const {
    return iconSize().width() +
           2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this);
}

int TLogListView::Rows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int TLogListView::ContentWidth() const {
    int estimate = 0;
    if (const auto* lines = qobject_cast<const TLogListModel*>(model())) {
        // A fixed-pitch font makes the character count a fair first guess.
        estimate = lines->LongestLine() * charWidth_;
    }
    return std::max(estimate, measuredWidth_) + MarkWidth() + 8;
}

int TLogListView::FirstVisibleRow() const {
    return verticalOffset() / rowHeight_;
}

void TLogListView::SelectRow(int row) {
    if (!model() || row < 0 || row >= Rows()) {
        return;
    }
    const QModelIndex index = model()->index(row, 0, rootIndex());
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

QRect TLogListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex() || index.row() >= Rows()) {
        return {};
    }
    return {-horizontalOffset(), RowTop(index.row()) - verticalOffset(),
            std::max(ContentWidth(), viewport()->width()), rowHeight_};
}

void TLogListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.row() >= Rows()) {
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const int top = RowTop(index.row());
    const int height = viewport()->height();
    int value = bar->value();
    switch (hint) {
    case EnsureVisible:
        if (top < value) {
            value = top;
        } else if (top + rowHeight_ > value + height) {
            value = top + rowHeight_ - height;
        }
        break;
    case PositionAtTop:
        value = top;
        break;
    case PositionAtBottom:
        value = top + rowHeight_ - height;
        break;
    case PositionAtCenter:
        value = top - (height - rowHeight_) / 2;
        break;
    }
    bar->setValue(value);
}

QModelIndex TLogListView::indexAt(const QPoint& point) const {
    if (!model() || point.y() < 0) {
        return {};
    }
    const int row = (point.y() + verticalOffset()) / rowHeight_;
    if (row >= Rows()) {
        return {};
    }
    return model()->index(row, 0, rootIndex());
}

QModelIndex TLogListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
    const int rows = Rows();
    if (rows == 0) {
        return {};
    }
    const QModelIndex current = currentIndex();
    int row = current.isValid() ? current.row() : -1;
    const int page = std::max(1, viewport()->height() / rowHeight_ - 1);
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        row = row < 0 ? rows - 1 : row - 1;
        break;
    case MoveDown:
    case MoveNext:
        row += 1;
        break;
    case MovePageUp:
        row -= page;
        break;
    case MovePageDown:
        row = std::max(row, 0) + page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return current;
    case MoveRight:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return current;
    }
    row = std::clamp(row, 0, rows - 1);
    return model()->index(row, 0, rootIndex());
}

int TLogListView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int TLogListView::verticalOffset() const {
    return verticalScrollBar()->value();
}

bool TLogListView::isIndexHidden(const QModelIndex&) const {
    return false;
}

void TLogListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    const int rows = Rows();
    if (rows == 0 || !selectionModel()) {
        return;
    }
    const QRect normal = rect.normalized();
    const int first = std::clamp((normal.top() + verticalOffset()) / rowHeight_, 0, rows - 1);
    const int last = std::clamp((normal.bottom() + verticalOffset()) / rowHeight_, 0, rows - 1);
    selectionModel()->select(
        QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex())),
        command);
}

QRegion TLogListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const QRect visible = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex()) {
            continue;
        }
        const QRect band(0, RowTop(range.top()) - verticalOffset(), visible.width(),
                         (range.bottom() - range.top() + 1) * rowHeight_);
        region += band.intersected(visible);
    }
    return region;
}

void TLogListView::updateGeometries() {
    QAbstractItemView::updateGeometries();
    UpdateScrollRanges();
}

void TLogListView::UpdateScrollRanges() {
    const QSize area = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setSingleStep(rowHeight_);
    vertical->setPageStep(std::max(rowHeight_, area.height()));
    vertical->setRange(0, std::max(0, Rows() * rowHeight_ - area.height()));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setSingleStep(charWidth_);
    horizontal->setPageStep(std::max(1, area.width()));
    horizontal->setRange(0, std::max(0, ContentWidth() - area.width()));
}

void TLogListView::scrollContentsBy(int, int) {
    // Repaint instead of moving pixels: a batch scrolls once per line, and
    // the paint that follows covers the whole viewport anyway.
    viewport()->update();
}

void TLogListView::paintEvent(QPaintEvent* event) {
    const int rows = Rows();
    if (rows == 0) {
        return;
    }
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State baseState = option.state;
    const QModelIndex current = currentIndex();
    const QRect dirty = event->rect();
    const int first = std::max(0, (dirty.top() + verticalOffset()) / rowHeight_);
    const int last = std::min(rows - 1, (dirty.bottom() + verticalOffset()) / rowHeight_);
    const int widthBefore = measuredWidth_;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        option.state = baseState;
        if (selectionModel() && selectionModel()->isSelected(index)) {
            option.state |= QStyle::State_Selected;
        }
        if (index == current && hasFocus()) {
            option.state |= QStyle::State_HasFocus;
        }
        itemDelegateForIndex(index)->paint(&painter, option, index);
        measuredWidth_ = std::max(
            measuredWidth_, option.fontMetrics.horizontalAdvance(index.data().toString()) + 8);
    }
    if (measuredWidth_ != widthBefore) {
        QTimer::singleShot(0, this, [this] { updateGeometries(); });
    }
}

QString TLogListView::SelectedLines() const {
    if (!model() || !selectionModel()) {
        return {};
    }
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.parent() != rootIndex()) {
            continue;
        }
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rows.size()));
    for (int row : rows) {
        lines << model()->index(row, 0, rootIndex()).data(Qt::DisplayRole).toString();
    }
    return lines.join(WIDE('\n'));
}

void TLogListView::keyPressEvent(QKeyEvent* event) {
    // The item view's own copy takes the current line only, and not as shown.
    if (event == QKeySequence::Copy) {
        if (selectionModel() && selectionModel()->hasSelection()) {
            QGuiApplication::clipboard()->setText(SelectedLines());
        }
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

void TLogListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    UpdateScrollRanges();
    // Only rows that land inside the viewport need painting now.
    const int top = RowTop(start) - verticalOffset();
    if (top < viewport()->height()) {
        viewport()->update(QRect(0, top, viewport()->width(), (end - start + 1) * rowHeight_));
    }
    if (parent == rootIndex() && QAccessible::isActive()) {
        AnnounceRows(start, end);
    }
}

void TLogListView::selectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    if (QAccessible::isActive()) {
        AnnounceSelection(deselected, false);
        AnnounceSelection(selected, true);
    }
}

void TLogListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(current.row());
        QAccessible::updateAccessibility(&focus);
    }
}

void TLogListView::AnnounceRows(int start, int end) {
    // The item view itself sends the model event, which the bridge to the
    // accessibility bus ignores; it turns these into "children changed:
    // add" for each new line.
    for (int row = std::max(start, end - kAnnouncedLines + 1); row <= end; ++row) {
        QAccessibleEvent created(this, QAccessible::ObjectCreated);
        created.setChild(row);
        QAccessible::updateAccessibility(&created);
    }
}

void TLogListView::AnnounceSelection(const QItemSelection& selection, bool selected) {
    int announced = 0;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex()) {
            continue;
        }
        for (int row = range.top(); row <= range.bottom() && announced < kAnnouncedLines;
             ++row, ++announced) {
            QAccessibleEvent event(this, selected ? QAccessible::SelectionAdd
                                                  : QAccessible::SelectionRemove);
            event.setChild(row);
            QAccessible::updateAccessibility(&event);
        }
    }
}

void TLogListView::resizeEvent(QResizeEvent* event) {
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
    // Lines logged while the page was hidden were scrolled for the old size;
    // the newest line stays in view when it is the selected one.
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == Rows() - 1) {
        scrollTo(current);
    }
}

void TLogListView::reset() {
    QAbstractItemView::reset();
    measuredWidth_ = 0;
    updateGeometries();
}

} // namespace nomvera::app
