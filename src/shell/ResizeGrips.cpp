#include "shell/ResizeGrips.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWindow>

namespace {

Qt::CursorShape CursorFor(Qt::Edges edges) {
    if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        return Qt::SizeFDiagCursor;
    if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        return Qt::SizeBDiagCursor;
    return edges & (Qt::LeftEdge | Qt::RightEdge) ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

} // namespace

TResizeGrip::TResizeGrip(QWidget* window, Qt::Edges edges) : QWidget(window), FEdges(edges) {
    setCursor(CursorFor(edges));
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TResizeGrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && handle->startSystemResize(FEdges))
        return;
    FFollowing = true;
    FFrom = event->globalPosition().toPoint();
    FStartGeometry = window()->geometry();
}

void TResizeGrip::mouseMoveEvent(QMouseEvent* event) {
    if (!FFollowing)
        return;
    const QPoint moved = event->globalPosition().toPoint() - FFrom;
    const QSize least = window()->minimumSize().expandedTo(QSize(1, 1));
    QRect target = FStartGeometry;
    if (FEdges & Qt::LeftEdge)
        target.setLeft(std::min(target.left() + moved.x(), target.right() - least.width() + 1));
    if (FEdges & Qt::RightEdge)
        target.setRight(std::max(target.right() + moved.x(), target.left() + least.width() - 1));
    if (FEdges & Qt::TopEdge)
        target.setTop(std::min(target.top() + moved.y(), target.bottom() - least.height() + 1));
    if (FEdges & Qt::BottomEdge)
        target.setBottom(std::max(target.bottom() + moved.y(), target.top() + least.height() - 1));
    window()->setGeometry(target);
}

void TResizeGrip::mouseReleaseEvent(QMouseEvent*) {
    FFollowing = false;
}

TResizeGrips::TResizeGrips(QWidget* window) : QObject(window), FWindow(window) {
    for (const Qt::Edges edges :
         {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
          Qt::Edges(Qt::BottomEdge), Qt::LeftEdge | Qt::TopEdge, Qt::RightEdge | Qt::TopEdge,
          Qt::LeftEdge | Qt::BottomEdge, Qt::RightEdge | Qt::BottomEdge})
        FGrips << new TResizeGrip(window, edges);
    window->installEventFilter(this);
    Place();
}

bool TResizeGrips::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FWindow &&
        (event->type() == QEvent::Resize || event->type() == QEvent::WindowStateChange ||
         event->type() == QEvent::Show || event->type() == QEvent::ChildAdded))
        Place();
    return false;
}

void TResizeGrips::Place() {
    const bool fixed = FWindow->isMaximized() || FWindow->isFullScreen();
    const int w = FWindow->width(), h = FWindow->height();
    for (TResizeGrip* grip : FGrips) {
        const Qt::Edges edges = grip->Edges();
        const bool corner =
            (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
        const int width = corner ? kCorner : (edges & (Qt::LeftEdge | Qt::RightEdge) ? kBorder : w);
        const int height =
            corner ? kCorner : (edges & (Qt::TopEdge | Qt::BottomEdge) ? kBorder : h);
        const int x = edges & Qt::RightEdge ? w - width : 0;
        const int y = edges & Qt::BottomEdge ? h - height : 0;
        grip->setGeometry(x, y, width, height);
        grip->setVisible(!fixed);
        grip->raise(); // above whatever the window laid out under it
    }
}
