// The icon grid control: an owner-drawn list of fixed 36-pixel cells that run top to bottom in a
// column, with columns following left to right and scrolling sideways, like a multi-column list
// box. With no columns (a grid narrower than 39 pixels) it is a plain one-column list that
// scrolls down. Painting a cell is left to the owner; the control keeps only the items, the
// first visible item, the selection and the colour.
//
// Zooming scales the cell with the icon size (36 pixels at 32). The cells are a view over the
// records (GridView.h): with repeats folded or a name filter typed, Count and Item speak of the
// cells shown, RecordCount and Record of every record in scan order.
#pragma once

#include "browser/GridView.h"
#include "browser/IconRes.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <array>
#include <functional>
#include <vector>

class QLineEdit;

namespace glyptor {

// The icon sizes the grid zooms through; 32 is the size without zoom.
inline constexpr std::array<int, 6> kGridIconSizes{32, 48, 64, 96, 128, 256};
// `size` when it is one of kGridIconSizes, else 32.
int ValidGridIconSize(int size);

class TIconBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int ItemHeight = 36;

    explicit TIconBox(QWidget* parent = nullptr);
    ~TIconBox() override;

    // Items: the cells shown (every record, unless repeats are folded or a filter is typed).
    int Count() const { return view_.Active() ? view_.Count() : static_cast<int>(items_.size()); }
    TIconRes& Item(int index) { return items_[static_cast<std::size_t>(RecordIndex(index))]; }
    int RecordIndex(int index) const { return view_.Active() ? view_.RecordIndex(index) : index; }
    // Records: the grid owns them, in the order they were appended.
    int RecordCount() const { return static_cast<int>(items_.size()); }
    TIconRes& Record(int recordIndex) { return items_[static_cast<std::size_t>(recordIndex)]; }
    void Append(TIconRes record);
    // Frees every record with its picture and removes all items.
    void Clear();

    // Icon size in logical pixels, one of kGridIconSizes; cells scale with it.
    int IconSize() const { return iconSize_; }
    void SetIconSize(int size);
    // Height of a cell (36 at 32), the grid width per column used to count columns (39 at 32),
    // and the icon's distance from the cell's corner (3 at 32).
    int RowHeight() const { return iconSize_ + iconSize_ / 8; }
    int ColumnPitch() const { return iconSize_ * 39 / 32; }
    int IconOffset() const { return iconSize_ * 3 / 32; }

    // Folding repeated images: one cell per image. Hashes come from HashRecord.
    bool FoldDuplicates() const { return view_.Folding(); }
    void SetFoldDuplicates(bool fold);
    std::function<void(TIconRes&)> HashRecord;
    // Every file and icon index showing the image of cell `index`, in scan order: for the
    // properties window of a folded icon.
    std::vector<std::pair<QString, int>> Occurrences(int index) const;
    // Number of other files holding the image of cell `index` (for the status line).
    int OtherFilesWithSameImage(int index) const;

    // The name filter: the text typed into the filter line at the grid's top.
    QString NameFilter() const { return view_.Filter(); }
    void SetNameFilter(const QString& text);
    // Shows the filter line with `text` and gives it the keyboard; HideFilter clears and hides.
    void ShowFilter(const QString& text = QString());
    void HideFilter();
    QLineEdit* FilterLine() const { return filterLine_; }

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

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The user zoomed (keys, wheel); the columns are to be counted again.
    void IconSizeChanged(int size);
    // Folding or the filter changed which records have cells.
    void ViewChanged();
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
    void ZoomBy(int steps);
    // Rebuilds the cells after a change of folding or filter, keeping the selected record and
    // the first visible one where they still have cells.
    void RefreshView(std::pair<int, int> place);
    // The selected record (or -1) and the first visible one, to find again after a change.
    std::pair<int, int> Place() const;
    void PlaceFilterLine();

    TGridView::Records items_;
    TGridView view_;
    int iconSize_ = 32;
    QLineEdit* filterLine_ = nullptr;
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
    int zoomRemainder_ = 0;
};

// Colour conversion between the 0x00BBGGRR encoding of settings and themes and Qt.
QColor ToQColor(int color);
int FromQColor(const QColor& color);

} // namespace glyptor
