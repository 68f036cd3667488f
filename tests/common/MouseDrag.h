#pragma once

// Mouse input with exact screen positions, for controls that move under the pointer while they
// are dragged (QTest maps each position through the widget's current place).

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

inline void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& local, const QPoint& global,
                      Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(local), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Presses the left button at `at` (the widget's pixels), moves the pointer by `by` in one step
// and releases it there.
inline void DragBy(QWidget* widget, const QPoint& at, const QPoint& by) {
    const QPoint start = widget->mapToGlobal(at);
    SendMouse(widget, QEvent::MouseButtonPress, at, start, Qt::LeftButton);
    const QPoint end = start + by;
    SendMouse(widget, QEvent::MouseMove, widget->mapFromGlobal(end), end, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, widget->mapFromGlobal(end), end, Qt::NoButton);
}
