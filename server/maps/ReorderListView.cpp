#include "ReorderListView.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>

#include "RowMove.h"
#include "WorldColumn.h"

namespace {
bool IsDragButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::RightButton;
}
}  // namespace

ReorderListView::ReorderListView(QWidget* parent) : QTreeWidget(parent) {
    SetUpWorldColumn(*this);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The drag is this list's own: the view's drag and drop would move items between views.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
}

ReorderListView::~ReorderListView() = default;

const QWidget* ReorderListView::DragImage() const {
    return dragImage.get();
}

void ReorderListView::mousePressEvent(QMouseEvent* event) {
    // A drag holds the mouse until its button comes up: another button changes nothing meanwhile.
    if (dragging) return;
    if (IsDragButton(event->button())) {
        const QPoint position = event->position().toPoint();
        QTreeWidgetItem* item = itemAt(position);
        press.reset();
        if (item) press = Press{indexOfTopLevelItem(item), position};
    }
    QTreeWidget::mousePressEvent(event);
}

void ReorderListView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (!dragging && press && (event->buttons() & (Qt::LeftButton | Qt::RightButton)) &&
        (position - press->position).manhattanLength() >= QApplication::startDragDistance())
        BeginDrag(*press);
    if (!dragging) {
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    MoveDragImage(event->globalPosition().toPoint());
    if (QTreeWidgetItem* item = itemAt(position)) dropRow = indexOfTopLevelItem(item);
    // The view's own move handling is left out while dragging: it would drag the selection along.
}

void ReorderListView::mouseReleaseEvent(QMouseEvent* event) {
    if (!IsDragButton(event->button())) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    press.reset();
    if (!dragging) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    const int from = dragRow;
    const std::optional<int> to = dropRow;
    FinishDrag();
    QTreeWidget::mouseReleaseEvent(event);
    MoveRow(from, to);
}

bool ReorderListView::MoveRow(int dragRow, std::optional<int> dropRow) {
    const std::optional<RowMove> move = PlanRowMove(dragRow, dropRow, topLevelItemCount());
    if (!move) return false;
    insertTopLevelItem(move->to, takeTopLevelItem(move->from));
    clearSelection();
    return true;
}

void ReorderListView::hideEvent(QHideEvent* event) {
    // A list that goes away mid-drag (the dialog closed by key) drops the drag without a move.
    press.reset();
    if (dragging) FinishDrag();
    QTreeWidget::hideEvent(event);
}

void ReorderListView::BeginDrag(const Press& start) {
    QTreeWidgetItem* item = topLevelItem(start.row);
    if (!item) return;
    dragging = true;
    dragRow = start.row;
    dropRow.reset();
    const QRect rowRect = visualItemRect(item);
    pointerOffset = start.position - rowRect.topLeft();
    dragImage = std::make_unique<QLabel>(this, Qt::ToolTip | Qt::FramelessWindowHint);
    dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    dragImage->setWindowOpacity(0.7);
    dragImage->setPixmap(viewport()->grab(rowRect));
    dragImage->resize(rowRect.size());
    MoveDragImage(viewport()->mapToGlobal(start.position));
    dragImage->show();
}

void ReorderListView::MoveDragImage(const QPoint& globalPosition) {
    if (dragImage) dragImage->move(globalPosition - pointerOffset);
}

void ReorderListView::FinishDrag() {
    dragging = false;
    dragRow = -1;
    dropRow.reset();
    dragImage.reset();
}
