// A one-column list whose rows the operator reorders by dragging them with the left or the right
// mouse button. The dragged row lands at the index of the last row the pointer passed over
// (RowMove.h); an image of the row follows the pointer meanwhile.
#pragma once

#include <QPoint>
#include <QTreeWidget>
#include <memory>
#include <optional>

class QLabel;

class ReorderListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit ReorderListView(QWidget* parent = nullptr);
    ~ReorderListView() override;

    // What a drag does when it ends: the row at dragRow moves to the index that dropRow held
    // (RowMove.h). Answers whether a row moved.
    bool MoveRow(int dragRow, std::optional<int> dropRow);

    bool IsDragging() const { return dragging; }
    // The floating image of the dragged row, while a drag runs.
    const QWidget* DragImage() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Press {
        int row;
        QPoint position;  // viewport coordinates
    };

    void BeginDrag(const Press& press);
    void MoveDragImage(const QPoint& globalPosition);
    void FinishDrag();

    std::optional<Press> press;  // a left or right press on a row that may become a drag
    bool dragging = false;
    int dragRow = -1;
    std::optional<int> dropRow;
    std::unique_ptr<QLabel> dragImage;
    QPoint pointerOffset;  // from the image's upper-left corner, fixed when the drag starts
};
