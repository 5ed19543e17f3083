// The icon grid control: an owner-drawn list of fixed 36-pixel cells that run top to bottom in a
// column, with columns following left to right and scrolling sideways, like a multi-column list
// box. With no columns (a grid narrower than 39 pixels) it is a plain one-column list that
// scrolls down. Painting a cell is left to the owner; the control keeps only the items, the
// first visible item, the selection and the colour.
#pragma once

#include "browser/IconRes.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <functional>
#include <memory>
#include <vector>

namespace glyptor {

class TIconBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int ItemHeight = 36;

    explicit TIconBox(QWidget* parent = nullptr);
    ~TIconBox() override;

    // Items: the grid owns its records.
    int Count() const { return static_cast<int>(items_.size()); }
    TIconRes& Item(int index) { return *items_[static_cast<std::size_t>(index)]; }
    void Append(std::unique_ptr<TIconRes> record);
    // Frees every record with its picture and removes all items.
    void Clear();

    // Number of columns; 0 makes a single-column list.
    int Columns() const { return columns_; }
    void SetColumns(int columns);
    // Width of every column: (width + columns - 3) div columns, at least 1.
    int ColumnWidth() const;
    // Cells in one column (whole cells that fit the height, at least 1).
    int RowsPerColumn() const;

    int TopIndex() const { return topIndex_; }
    void SetTopIndex(int index);

    int ItemIndex() const { return itemIndex_; }
    // Selects a cell (or none with -1) and shows it, without running the click action.
    void SetItemIndex(int index);

    // Background colour as 0x00BBGGRR.
    int Color() const { return color_; }
    void SetColor(int color);

    QRect ItemRect(int index) const;
    int IndexAt(const QPoint& point) const;

    // Paints one cell: index, cell rectangle, selected.
    std::function<void(QPainter&, int, const QRect&, bool)> DrawItem;

signals:
    // The selection was changed by the user (mouse or keyboard).
    void Clicked();
    // The control or its viewport has its new size; the scroll range already matches it.
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void UpdateScrollBar();
    void MakeVisible(int index);
    void SelectByUser(int index);

    std::vector<std::unique_ptr<TIconRes>> items_;
    int columns_ = 9;
    int topIndex_ = 0;
    // The first cell last chosen by scrolling or SetTopIndex. The view shows it rounded to its
    // column and kept within the scroll range; remembering it apart means that a size which
    // pulls the view back (a maximised window) does not lose it for the next size.
    int wantedTop_ = 0;
    int itemIndex_ = -1;
    int color_ = 0xFFFFFF;
    bool syncing_ = false;
    // Wheel movement short of one notch, kept for the next event (fine-grained wheels, touchpads).
    int wheelRemainder_ = 0;
};

// Colour conversion between the 0x00BBGGRR encoding of settings and themes and Qt.
QColor ToQColor(int color);
int FromQColor(const QColor& color);

} // namespace glyptor
