// What screen readers and GUI automation see of the activity log: a list
// whose items are the log's lines exactly as shown. Items exist only while
// someone asks for them, so a log of a million lines costs nothing here until
// an assistive tool walks it.
#pragma once

#include <QAccessibleWidget>
#include <QPointer>

#include <deque>
#include <memory>
#include <unordered_map>

class QTimer;

namespace nomvera::app {

class TLogListView;

// Registers the factory that gives every TLogListView the interface below.
// Idempotent; the view calls it when it is built.
void InstallLogListAccessibility();

class TLogListAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    // At most this many line items live at once; beyond it the oldest go
    // when control next returns to the event loop, so an item handed out stays
    // valid at least until then.
    static constexpr int kCachedItems = 256;

    explicit TLogListAccessible(TLogListView* view);
    ~TLogListAccessible() override;

    // The number of line items alive now (for tests of the cache's bound).
    int CachedItems() const { return static_cast<int>(items_.size()); }

    // QAccessibleInterface
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTableInterface: one column, one row per line.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override { return 1; }
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

private:
    TLogListView* View() const;
    QAccessibleInterface* Item(int row) const;
    void DropItems();
    void TrimItems();

    // Row -> id of its registered item, and the ids in creation order.
    mutable std::unordered_map<int, QAccessible::Id> items_;
    mutable std::deque<QAccessible::Id> created_;
    std::unique_ptr<QTimer> trim_;
};

} // namespace nomvera::app
