#include "app/log_list_accessible.h"

#include "app/log_list_view.h"

#include <QTimer>

#include <algorithm>

namespace nomvera::app {
namespace {

// One line of the log as an item of the list. It follows its line when rows
// are inserted or removed before it and reads the text from the view each
// time, so it never goes stale; it turns invalid when its line goes.
class TLogLineAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    TLogLineAccessible(TLogListView* view, const QModelIndex& index) : view_(view), index_(index) {}

    bool BelongsTo(const TLogListView* view) const { return view_ == view; }
    int Row() const { return index_.row(); }

    bool isValid() const override { return LiveView() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        QAccessibleInterface* list = table();
        return list != nullptr ? list->window() : nullptr;
    }
    QAccessibleInterface* parent() const override { return table(); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text type) const override {
        const TLogListView* view = LiveView();
        if (type != QAccessible::Name || view == nullptr) {
            return {};
        }
        return Index(*view).data(Qt::DisplayRole).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        const TLogListView* view = LiveView();
        if (view == nullptr) {
            return {};
        }
        const QRect local = view->visualRect(Index(*view));
        return {view->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override {
        QAccessible::State state;
        const TLogListView* view = LiveView();
        if (view == nullptr) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = isSelected();
        state.focused = view->hasFocus() && view->currentIndex() == index_;
        if (!view->isVisible()) {
            state.invisible = true;
        } else if (!view->visualRect(Index(*view)).intersects(view->viewport()->rect())) {
            state.offscreen = true;
        }
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface) {
            return static_cast<QAccessibleTableCellInterface*>(this);
        }
        return nullptr;
    }

    bool isSelected() const override {
        const TLogListView* view = LiveView();
        return view != nullptr && view->selectionModel() != nullptr &&
               view->selectionModel()->isSelected(Index(*view));
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return Row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override {
        return view_.isNull() ? nullptr : QAccessible::queryAccessibleInterface(view_.data());
    }

private:
    // The view while this line is one of its rows, else null.
    const TLogListView* LiveView() const {
        const TLogListView* view = view_.data();
        if (view == nullptr || !index_.isValid() || index_.model() != view->model()) {
            return nullptr;
        }
        return view;
    }
    QModelIndex Index(const TLogListView&) const { return index_; }

    QPointer<TLogListView> view_;
    QPersistentModelIndex index_;
};

QAccessibleInterface* LogListFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(TLogListView::staticMetaObject.className())) {
        if (auto* view = qobject_cast<TLogListView*>(object)) {
            return new TLogListAccessible(view);
        }
    }
    return nullptr;
}

} // namespace

void InstallLogListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&LogListFactory);
        return true;
    }();
    (void)installed;
}

TLogListAccessible::TLogListAccessible(TLogListView* view)
    : QAccessibleWidget(view, QAccessible::List), trim_(std::make_unique<QTimer>()) {
    trim_->setSingleShot(true);
    trim_->setInterval(0);
    QObject::connect(trim_.get(), &QTimer::timeout, [this] { TrimItems(); });
}

TLogListAccessible::~TLogListAccessible() {
    DropItems();
}

TLogListView* TLogListAccessible::View() const {
    return static_cast<TLogListView*>(widget());
}

QAccessible::State TLogListAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    if (View() != nullptr && View()->selectionMode() != QAbstractItemView::SingleSelection) {
        state.multiSelectable = true;
        state.extSelectable = true;
    }
    return state;
}

int TLogListAccessible::childCount() const {
    return rowCount();
}

QAccessibleInterface* TLogListAccessible::child(int index) const {
    return Item(index);
}

int TLogListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* line = dynamic_cast<const TLogLineAccessible*>(child);
    if (line == nullptr || !line->BelongsTo(View()) || !line->isValid()) {
        return -1;
    }
    return line->Row();
}

QAccessibleInterface* TLogListAccessible::childAt(int x, int y) const {
    TLogListView* view = View();
    if (view == nullptr) {
        return nullptr;
    }
    const QPoint local = view->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view->viewport()->rect().contains(local)) {
        return nullptr;
    }
    const QModelIndex index = view->indexAt(local);
    return index.isValid() ? Item(index.row()) : nullptr;
}

QAccessibleInterface* TLogListAccessible::focusChild() const {
    TLogListView* view = View();
    if (view == nullptr || !view->hasFocus()) {
        return nullptr;
    }
    const QModelIndex current = view->currentIndex();
    return current.isValid() ? Item(current.row()) : nullptr;
}

void* TLogListAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface) {
        return static_cast<QAccessibleTableInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* TLogListAccessible::cellAt(int row, int column) const {
    return column == 0 ? Item(row) : nullptr;
}

int TLogListAccessible::selectedCellCount() const {
    return selectedRowCount();
}

QList<QAccessibleInterface*> TLogListAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows()) {
        if (QAccessibleInterface* cell = Item(row)) {
            cells.append(cell);
        }
    }
    return cells;
}

int TLogListAccessible::selectedColumnCount() const {
    return selectedColumns().size();
}

int TLogListAccessible::selectedRowCount() const {
    TLogListView* view = View();
    if (view == nullptr || view->selectionModel() == nullptr) {
        return 0;
    }
    int count = 0;
    for (const QItemSelectionRange& range : view->selectionModel()->selection()) {
        count += range.height();
    }
    return count;
}

int TLogListAccessible::rowCount() const {
    TLogListView* view = View();
    return view != nullptr && view->model() != nullptr ? view->model()->rowCount(view->rootIndex())
                                                       : 0;
}

QList<int> TLogListAccessible::selectedColumns() const {
    // The one column counts as selected when every line is.
    const int rows = rowCount();
    return rows > 0 && selectedRowCount() == rows ? QList<int>{0} : QList<int>{};
}

QList<int> TLogListAccessible::selectedRows() const {
    QList<int> rows;
    TLogListView* view = View();
    if (view == nullptr || view->selectionModel() == nullptr) {
        return rows;
    }
    for (const QItemSelectionRange& range : view->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.append(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool TLogListAccessible::isColumnSelected(int column) const {
    return column == 0 && !selectedColumns().isEmpty();
}

bool TLogListAccessible::isRowSelected(int row) const {
    TLogListView* view = View();
    if (view == nullptr || view->selectionModel() == nullptr || row < 0 || row >= rowCount()) {
        return false;
    }
    return view->selectionModel()->isRowSelected(row, view->rootIndex());
}

bool TLogListAccessible::selectRow(int row) {
    TLogListView* view = View();
    if (view == nullptr || view->selectionModel() == nullptr || row < 0 || row >= rowCount()) {
        return false;
    }
    const auto command = view->selectionMode() == QAbstractItemView::SingleSelection
                             ? QItemSelectionModel::ClearAndSelect
                             : QItemSelectionModel::Select;
    view->selectionModel()->select(view->model()->index(row, 0, view->rootIndex()),
                                   command | QItemSelectionModel::Rows);
    return true;
}

bool TLogListAccessible::unselectRow(int row) {
    TLogListView* view = View();
    if (view == nullptr || view->selectionModel() == nullptr || row < 0 || row >= rowCount()) {
        return false;
    }
    view->selectionModel()->select(view->model()->index(row, 0, view->rootIndex()),
                                   QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

void TLogListAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
    switch (event->modelChangeType()) {
    case QAccessibleTableModelChangeEvent::ModelReset:
        DropItems();
        break;
    case QAccessibleTableModelChangeEvent::RowsInserted:
    case QAccessibleTableModelChangeEvent::RowsRemoved: {
        // Items follow their lines; file them under their rows now, and let
        // those whose line went go. Lines are only ever appended, so in
        // practice every item keeps its row.
        std::unordered_map<int, QAccessible::Id> moved;
        for (const auto& [row, id] : items_) {
            const auto* line =
                dynamic_cast<const TLogLineAccessible*>(QAccessible::accessibleInterface(id));
            if (line != nullptr && line->isValid() && !moved.contains(line->Row())) {
                moved.emplace(line->Row(), id);
            } else {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
        items_ = std::move(moved);
        break;
    }
    case QAccessibleTableModelChangeEvent::DataChanged:
    case QAccessibleTableModelChangeEvent::ColumnsInserted:
    case QAccessibleTableModelChangeEvent::ColumnsRemoved:
        break;
    }
}

QAccessibleInterface* TLogListAccessible::Item(int row) const {
    TLogListView* view = View();
    if (view == nullptr || row < 0 || row >= rowCount()) {
        return nullptr;
    }
    if (const auto found = items_.find(row); found != items_.end()) {
        if (QAccessibleInterface* item = QAccessible::accessibleInterface(found->second)) {
            return item;
        }
        items_.erase(found);
    }
    auto* item = new TLogLineAccessible(view, view->model()->index(row, 0, view->rootIndex()));
    const QAccessible::Id id = QAccessible::registerAccessibleInterface(item);
    items_.emplace(row, id);
    created_.push_back(id);
    if (static_cast<int>(items_.size()) > kCachedItems && !trim_->isActive()) {
        trim_->start();
    }
    return item;
}

void TLogListAccessible::TrimItems() {
    const TLogListView* view = View();
    const int current = view != nullptr ? view->currentIndex().row() : -1;
    std::deque<QAccessible::Id> kept;
    while (static_cast<int>(items_.size()) > kCachedItems && !created_.empty()) {
        const QAccessible::Id id = created_.front();
        created_.pop_front();
        const auto* line =
            dynamic_cast<const TLogLineAccessible*>(QAccessible::accessibleInterface(id));
        const int row = line != nullptr ? line->Row() : -1;
        const auto item = items_.find(row);
        if (item == items_.end() || item->second != id) {
            continue; // already gone
        }
        // The current line keeps its item: an assistive tool is most likely
        // holding on to that one.
        if (row == current) {
            kept.push_back(id);
            continue;
        }
        QAccessible::deleteAccessibleInterface(id);
        items_.erase(item);
    }
    created_.insert(created_.end(), kept.begin(), kept.end());
}

void TLogListAccessible::DropItems() {
    for (const auto& [row, id] : items_) {
        QAccessible::deleteAccessibleInterface(id);
    }
    items_.clear();
    created_.clear();
}

} // namespace nomvera::app
