#pragma once

// A rectangle laid over a picture: a dotted frame with eight square handles that the user drags
// to move it or to resize it by an edge or a corner, always inside a bounding area. It knows
// nothing of video: bounds and area are in the pixels of the parent it lies on, and the picture
// underneath stays visible (the control paints no background). GUI thread only.
//
// The owner positions it with the ordinary geometry; the control does not clamp that. Mouse
// events: OnMouseDown fires before the drag state is recorded; on a move the drag is applied
// first and OnMouseMove fires after, so a handler sees the new bounds; OnMouseUp ends the drag.

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>

class TAreaEditor : public QWidget {
    Q_OBJECT

public:
    using TMouseEvent = std::function<void(TAreaEditor* Sender, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
    using TNotifyEvent = std::function<void(TAreaEditor* Sender)>;

    // The part a press grabs.
    enum TGrabbedPart {
        gpBody,
        gpTopLeft,
        gpBottomLeft,
        gpLeft,
        gpTopRight,
        gpBottomRight,
        gpRight,
        gpTop,
        gpBottom
    };

    explicit TAreaEditor(QWidget* parent = nullptr);

    // The bounding area in the parent's coordinates; setting a value stores it only.
    int AreaLeft = 0;
    int AreaTop = 0;
    int AreaRight = 0;
    int AreaBottom = 0;
    void SetArea(const QRect& area); // QRect's own edges: right/bottom = left/top + size
    // Half the side of a handle square; 6 × this is the smallest width and height.
    int BorderFrameSize = 4;
    int MinimumSide() const { return 6 * BorderFrameSize; }
    // When false only moving is possible: a press on a handle moves the rectangle too.
    bool Resizable = true;

    bool Dragging() const { return FDragging; }

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;

    // The part under (x, y) of a control of `width` × `height`.
    static TGrabbedPart PartAt(int x, int y, int width, int height);
    static Qt::CursorShape CursorOf(TGrabbedPart part);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Drag(const QPoint& screenPosition);
    void DragLeft(int dx, QRect& bounds) const;
    void DragRight(int dx, QRect& bounds) const;
    void DragTop(int dy, QRect& bounds) const;
    void DragBottom(int dy, QRect& bounds) const;

    // Recorded at the press.
    QPoint FPressScreen;
    QRect FPressBounds;
    TGrabbedPart FPart = gpBody;
    bool FDragging = false;
};
