// The activity log's list: a flat model of lines and a view with one fixed row
// height. Appending a line, selecting it and scrolling to it cost the same with
// ten lines or a million, which a general list view does not give. Assistive
// technology sees the view as a list of its lines (log_list_accessible.h).
#pragma once

#include "form/activity_line.h"

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QBrush>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <vector>

namespace nomvera::app {

// How warning and error lines stand out: a text colour and a mark painted
// before the line (every line gets the mark's room, so the lines still line
// up). The view sets them from its palette and style.
struct TLogLineMarks {
    QBrush errorText;
    QBrush warningText;
    QIcon error;
    QIcon warning;
    QIcon none;
};

class TLogListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TLogListModel(QObject* parent = nullptr);

    // Adds a line at the end; returns its row.
    int Append(const QString& line, form::TActivityLevel level = form::TActivityLevel::Info);
    int Count() const { return static_cast<int>(lines_.size()); }
    const QString& Line(int row) const { return lines_[static_cast<std::size_t>(row)]; }
    form::TActivityLevel Level(int row) const {
        return static_cast<form::TActivityLevel>(levels_[static_cast<std::size_t>(row)]);
    }
    void SetMarks(const TLogLineMarks& marks);
    // The number of characters of the longest line.
    int LongestLine() const { return longest_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<QString> lines_;
    std::vector<std::uint8_t> levels_;
    TLogLineMarks marks_;
    int longest_ = 0;
};

class TLogListView : public QAbstractItemView {
    Q_OBJECT
public:
    explicit TLogListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    int RowHeight() const { return rowHeight_; }
    void SetRowHeight(int height);
    // Makes row the current and only selected row and scrolls it into view.
    void SelectRow(int row);
    // The first row at least partly inside the viewport.
    int FirstVisibleRow() const;
    // The selected lines as shown, top to bottom, one per line; what Ctrl+C
    // puts on the clipboard.
    QString SelectedLines() const;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reset() override;

private:
    int Rows() const;
    int ContentWidth() const;
    // The room of the mark before each line, in pixels.
    int MarkWidth() const;
    // Gives the model the colours and marks of this palette and style.
    void UpdateMarks();
    int RowTop(int row) const { return row * rowHeight_; }
    // The scroll bars' ranges for the current rows and widths.
    void UpdateScrollRanges();
    // Tells assistive technology about new lines and selection changes;
    // costs nothing while none listens.
    void AnnounceRows(int start, int end);
    void AnnounceSelection(const QItemSelection& selection, bool selected);

    int rowHeight_ = 15;
    int charWidth_ = 1;
    // Widest line seen while painting, in pixels; lines are measured only
    // when they are painted, so appending stays cheap.
    mutable int measuredWidth_ = 0;
};

} // namespace nomvera::app
