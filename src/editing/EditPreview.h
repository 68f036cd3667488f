#pragma once

// One preview of the edit window: a fixed-size surface that the player's video thread draws
// into while the source plays, and the GUI thread when it redraws a paused picture. The
// surface is locked while it is drawn and while it is shown; the widget repaints on the GUI
// thread after each drawing. Area editors and overlays lie on it as child widgets.

#include <QImage>
#include <QWidget>

#include <functional>
#include <mutex>

class QPainter;

class TEditPreview : public QWidget {
    Q_OBJECT

public:
    // `box` is the drawing surface in logical pixels; it starts black.
    TEditPreview(const QString& name, const QSize& box, QWidget* parent = nullptr);

    QSize Box() const { return FBox; }
    // Draws on the surface in logical pixels; any thread.
    void Paint(const std::function<void(QPainter&)>& draw);
    // What the surface shows now, at logical size.
    QImage Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QSize FBox;
    mutable std::mutex FLock; // guards FSurface
    QImage FSurface;          // at the screen's density
};
