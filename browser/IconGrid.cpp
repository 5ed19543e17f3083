#include "browser/IconGrid.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <set>

namespace glyptor {

QColor ToQColor(int color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int FromQColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

int ValidGridIconSize(int size) {
    return std::find(kGridIconSizes.begin(), kGridIconSizes.end(), size) != kGridIconSizes.end()
               ? size
               : kGridIconSizes.front();
}

TIconBox::TIconBox(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    filterLine_ = new QLineEdit(this);
    filterLine_->setObjectName(QStringLiteral("GridFilter"));
    filterLine_->setPlaceholderText(QStringLiteral("Имя файла"));
    filterLine_->setClearButtonEnabled(true);
    filterLine_->hide();
    filterLine_->installEventFilter(this);
    connect(filterLine_, &QLineEdit::textChanged, this, &TIconBox::SetNameFilter);
    UpdateScrollBar();
}

TIconBox::~TIconBox() = default;

void TIconBox::Append(TIconRes record) {
    items_.push_back(std::move(record));
    if (view_.Active() && !view_.Add(RecordCount() - 1, items_.back(), HashRecord))
        return;
    // While hidden (during a scan) the scroll range is brought up to date when shown again;
    // a visible grid (files dropped on the window) shows the new cells and range at once.
    if (isVisible()) {
        UpdateScrollBar();
        viewport()->update();
    }
}

void TIconBox::Clear() {
    // The pictures go with their records; whoever clears the grid resets the cache's count.
    items_.clear();
    view_.Reset();
    topIndex_ = 0;
    wantedTop_ = 0;
    itemIndex_ = -1;
    UpdateScrollBar();
    viewport()->update();
}

void TIconBox::SetColumns(int columns) {
    columns_ = std::max(0, columns);
    UpdateScrollBar();
    viewport()->update();
}

void TIconBox::SetIconSize(int size) {
    size = ValidGridIconSize(size);
    if (size == iconSize_)
        return;
    iconSize_ = size;
    UpdateScrollBar();
    viewport()->update();
}

void TIconBox::ZoomBy(int steps) {
    const auto at = std::find(kGridIconSizes.begin(), kGridIconSizes.end(), iconSize_);
    const int position = std::clamp(static_cast<int>(at - kGridIconSizes.begin()) + steps, 0,
                                    static_cast<int>(kGridIconSizes.size()) - 1);
    const int size = kGridIconSizes[static_cast<std::size_t>(position)];
    if (size == iconSize_)
        return;
    SetIconSize(size);
    emit IconSizeChanged(size);
    // The selected icon stays in sight while the cells grow and shrink around it.
    if (itemIndex_ >= 0)
        MakeVisible(itemIndex_);
}

void TIconBox::SetFoldDuplicates(bool fold) {
    if (fold == view_.Folding())
        return;
    const auto place = Place();
    view_.SetFolding(fold);
    RefreshView(place);
}

void TIconBox::SetNameFilter(const QString& text) {
    if (text == view_.Filter())
        return;
    const auto place = Place();
    view_.SetFilter(text);
    if (filterLine_->text() != text)
        filterLine_->setText(text);
    RefreshView(place);
}

std::pair<int, int> TIconBox::Place() const {
    const int selected = itemIndex_ >= 0 && itemIndex_ < Count() ? RecordIndex(itemIndex_) : -1;
    const int top = Count() > 0 ? RecordIndex(std::min(topIndex_, Count() - 1)) : 0;
    return {selected, top};
}

void TIconBox::RefreshView(std::pair<int, int> place) {
    const auto [selected, top] = place;
    view_.Rebuild(items_, HashRecord);
    const auto cellOf = [this](int record) {
        return view_.Active() ? view_.CellOf(record) : record;
    };
    // The first visible record, or the first record after it that still has a cell.
    int newTop = 0;
    if (view_.Active()) {
        for (int cell = 0; cell < Count(); ++cell)
            if (view_.RecordIndex(cell) >= top) {
                newTop = cell;
                break;
            }
    } else {
        newTop = top;
    }
    wantedTop_ = Count() > 0 ? std::min(newTop, Count() - 1) : 0;
    itemIndex_ = selected >= 0 ? cellOf(selected) : -1;
    UpdateScrollBar();
    if (itemIndex_ >= 0)
        MakeVisible(itemIndex_);
    viewport()->update();
    emit ViewChanged();
}

std::vector<std::pair<QString, int>> TIconBox::Occurrences(int index) const {
    std::vector<std::pair<QString, int>> places;
    if (index < 0 || index >= Count())
        return places;
    const TIconRes& record = items_[static_cast<std::size_t>(RecordIndex(index))];
    for (const TIconRes* same : SameImageRecords(items_, record))
        places.emplace_back(same->FullPath(), same->IconIndex);
    return places;
}

int TIconBox::OtherFilesWithSameImage(int index) const {
    if (!view_.Folding() || index < 0 || index >= Count())
        return 0;
    const TIconRes& record = items_[static_cast<std::size_t>(RecordIndex(index))];
    const QString own = record.FullPath();
    std::set<QString> files;
    for (const TIconRes* same : SameImageRecords(items_, record))
        if (QString path = same->FullPath(); path != own)
            files.insert(std::move(path));
    return static_cast<int>(files.size());
}

void TIconBox::ShowFilter(const QString& text) {
    if (filterLine_->isHidden()) {
        filterLine_->show();
        PlaceFilterLine();
    }
    filterLine_->setText(text);
    filterLine_->setFocus();
}

void TIconBox::HideFilter() {
    filterLine_->clear();
    if (!filterLine_->isHidden()) {
        filterLine_->hide();
        PlaceFilterLine();
    }
    setFocus();
}

void TIconBox::PlaceFilterLine() {
    const int height = filterLine_->isHidden() ? 0 : filterLine_->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    filterLine_->setGeometry(0, 0, width(), height);
}

bool TIconBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filterLine_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            HideFilter();
            return true;
        }
        // Down, Return and Enter leave the text for the cells it found.
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            setFocus();
            if (itemIndex_ < 0 && Count() > 0)
                SelectByUser(0);
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

int TIconBox::ColumnWidth() const {
    if (columns_ <= 0)
        return std::max(1, viewport()->width());
    return std::max(1, (width() + columns_ - 3) / columns_);
}

int TIconBox::RowsPerColumn() const {
    return std::max(1, viewport()->height() / RowHeight());
}

void TIconBox::SetTopIndex(int index) {
    wantedTop_ = Count() == 0 ? 0 : std::clamp(index, 0, Count() - 1);
    UpdateScrollBar();
    viewport()->update();
}

void TIconBox::SetItemIndex(int index) {
    itemIndex_ = (index >= 0 && index < Count()) ? index : -1;
    if (itemIndex_ >= 0)
        MakeVisible(itemIndex_);
    viewport()->update();
}

void TIconBox::SetColor(int color) {
    color_ = color;
    viewport()->update();
}

QRect TIconBox::ItemRect(int index) const {
    if (columns_ > 0) {
        const int rows = RowsPerColumn();
        const int column = index / rows - topIndex_ / rows;
        return QRect(column * ColumnWidth(), (index % rows) * RowHeight(), ColumnWidth(),
                     RowHeight());
    }
    return QRect(0, (index - topIndex_) * RowHeight(), viewport()->width(), RowHeight());
}

int TIconBox::IndexAt(const QPoint& point) const {
    if (point.x() < 0 || point.y() < 0)
        return -1;
    int index;
    if (columns_ > 0) {
        const int rows = RowsPerColumn();
        const int row = point.y() / RowHeight();
        if (row >= rows)
            return -1;
        index = topIndex_ + (point.x() / ColumnWidth()) * rows + row;
    } else {
        index = topIndex_ + point.y() / RowHeight();
    }
    return index < Count() ? index : -1;
}

void TIconBox::UpdateScrollBar() {
    syncing_ = true;
    topIndex_ = wantedTop_;
    if (columns_ > 0) {
        const int rows = RowsPerColumn();
        const int totalColumns = (Count() + rows - 1) / rows;
        const int visibleColumns = std::max(1, viewport()->width() / ColumnWidth());
        horizontalScrollBar()->setRange(0, std::max(0, totalColumns - visibleColumns));
        horizontalScrollBar()->setPageStep(visibleColumns);
        verticalScrollBar()->setRange(0, 0);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        topIndex_ = std::min(topIndex_, horizontalScrollBar()->maximum() * rows);
        topIndex_ = topIndex_ / rows * rows;
    } else {
        const int rows = RowsPerColumn();
        verticalScrollBar()->setRange(0, std::max(0, Count() - rows));
        verticalScrollBar()->setPageStep(rows);
        horizontalScrollBar()->setRange(0, 0);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        topIndex_ = std::min(topIndex_, verticalScrollBar()->maximum());
    }
    topIndex_ = std::max(0, topIndex_);
    // The bar shows where the view is: after a change of rows or columns the same first cell
    // sits at another scroll position.
    if (columns_ > 0)
        horizontalScrollBar()->setValue(topIndex_ / RowsPerColumn());
    else
        verticalScrollBar()->setValue(topIndex_);
    syncing_ = false;
}

void TIconBox::scrollContentsBy(int, int) {
    if (syncing_)
        return;
    topIndex_ = columns_ > 0 ? horizontalScrollBar()->value() * RowsPerColumn()
                             : verticalScrollBar()->value();
    wantedTop_ = topIndex_;
    viewport()->update();
}

void TIconBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (!filterLine_->isHidden())
        filterLine_->setGeometry(0, 0, width(), filterLine_->height());
    UpdateScrollBar();
    emit Resized();
}

void TIconBox::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    UpdateScrollBar();
    viewport()->update();
}

void TIconBox::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), ToQColor(color_));
    if (Count() == 0)
        return;
    const int rows = RowsPerColumn();
    const int visibleColumns = columns_ > 0 ? viewport()->width() / ColumnWidth() + 1 : 1;
    const int last = std::min(Count(), topIndex_ + rows * visibleColumns + (columns_ > 0 ? 0 : 1));
    for (int index = topIndex_; index < last; ++index) {
        // Records may vanish while a cell paints (a paint can reach the pump); stop then.
        if (index >= Count())
            break;
        const QRect rect = ItemRect(index);
        if (!rect.intersects(viewport()->rect()))
            continue;
        if (DrawItem)
            DrawItem(painter, index, rect, index == itemIndex_);
        if (index == itemIndex_ && hasFocus()) {
            QPen pen(Qt::white, 1, Qt::DotLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }
    }
}

void TIconBox::MakeVisible(int index) {
    const int rows = RowsPerColumn();
    if (columns_ > 0) {
        const int column = index / rows;
        const int first = topIndex_ / rows;
        const int visible = std::max(1, viewport()->width() / ColumnWidth());
        if (column < first)
            SetTopIndex(column * rows);
        else if (column >= first + visible)
            SetTopIndex((column - visible + 1) * rows);
    } else {
        if (index < topIndex_)
            SetTopIndex(index);
        else if (index >= topIndex_ + rows)
            SetTopIndex(index - rows + 1);
    }
}

void TIconBox::SelectByUser(int index) {
    if (index < 0 || index >= Count())
        return;
    const bool changed = index != itemIndex_;
    SetItemIndex(index);
    if (changed)
        emit Clicked();
}

void TIconBox::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const int index = IndexAt(event->position().toPoint());
    if (index >= 0 && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton))
        SelectByUser(index);
    QAbstractScrollArea::mousePressEvent(event);
}

void TIconBox::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal: // the plus key's own place on many layouts
            ZoomBy(1);
            return;
        case Qt::Key_Minus:
            ZoomBy(-1);
            return;
        case Qt::Key_0:
            ZoomBy(-static_cast<int>(kGridIconSizes.size()));
            return;
        default:
            break;
        }
    }
    if (event->matches(QKeySequence::Find)) {
        ShowFilter(NameFilter());
        return;
    }
    // Typing a name starts the filter with what was typed.
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !text.at(0).isSpace() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        ShowFilter(NameFilter() + text);
        return;
    }
    if (event->key() == Qt::Key_Escape && !NameFilter().isEmpty()) {
        HideFilter();
        return;
    }
    if (Count() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int rows = columns_ > 0 ? RowsPerColumn() : 1;
    const int current = itemIndex_ < 0 ? topIndex_ : itemIndex_;
    int target = current;
    switch (event->key()) {
    case Qt::Key_Up:
        target = current - 1;
        break;
    case Qt::Key_Down:
        target = current + 1;
        break;
    case Qt::Key_Left:
        target = columns_ > 0 ? current - rows : current;
        break;
    case Qt::Key_Right:
        target = columns_ > 0 ? current + rows : current;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = Count() - 1;
        break;
    case Qt::Key_PageUp:
        target = current - (columns_ > 0 ? rows * std::max(1, viewport()->width() / ColumnWidth())
                                         : RowsPerColumn());
        break;
    case Qt::Key_PageDown:
        target = current + (columns_ > 0 ? rows * std::max(1, viewport()->width() / ColumnWidth())
                                         : RowsPerColumn());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    SelectByUser(std::clamp(target, 0, Count() - 1));
}

void TIconBox::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        zoomRemainder_ += event->angleDelta().y();
        const int steps = zoomRemainder_ / 120;
        zoomRemainder_ -= steps * 120;
        if (steps != 0)
            ZoomBy(steps);
        event->accept();
        return;
    }
    if (columns_ <= 0) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // The grid scrolls sideways: either wheel moves columns, one per notch.
    const QPoint delta = event->angleDelta();
    wheelRemainder_ += delta.y() != 0 ? delta.y() : delta.x();
    const int steps = wheelRemainder_ / 120;
    wheelRemainder_ -= steps * 120;
    if (steps != 0)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - steps);
    event->accept();
}

} // namespace glyptor
