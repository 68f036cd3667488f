#pragma once

// Edges and corners that resize a frameless window as a framed one's do: thin invisible strips
// laid over the window's own edges (so its layout keeps every pixel), with the sizing cursors.
// A press starts the window system's own resize (QWindow::startSystemResize); where it has
// none, the window follows the pointer. Hidden while the window is maximised or full screen.

#include <QObject>
#include <QWidget>

class TResizeGrip : public QWidget {
    Q_OBJECT

public:
    TResizeGrip(QWidget* window, Qt::Edges edges);
    Qt::Edges Edges() const { return FEdges; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const Qt::Edges FEdges;
    bool FFollowing = false; // resizing by itself, without the window system
    QPoint FFrom;
    QRect FStartGeometry;
};

class TResizeGrips : public QObject {
    Q_OBJECT

public:
    static constexpr int kBorder = 4;  // how far into the window the edges reach
    static constexpr int kCorner = 14; // how far along the edges the corners reach

    explicit TResizeGrips(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    QWidget* const FWindow;
    QList<TResizeGrip*> FGrips;
};
