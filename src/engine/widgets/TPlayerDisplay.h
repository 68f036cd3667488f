#pragma once

// The widget a player shows its pictures in: black (or a backdrop picture while it has none),
// with the player's latest picture in the area it was made for. It keeps that picture to draw it
// again when exposed or while the player is paused, takes the keyboard focus on a click, and never
// makes the player wait: pictures arrive from the player's thread and are painted on the widget's
// own.

#include "engine/player/PlayerDisplay.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <mutex>

class TPlayerDisplay : public QWidget, public IPlayerDisplay {
    Q_OBJECT

public:
    explicit TPlayerDisplay(QWidget* parent = nullptr);

    QSize DisplaySize() const override;
    void ShowPicture(const QImage& picture, const QRect& area) override;
    void ClearPicture() override;

    // Drawn stretched over the display while it has no picture (before playing, after a stop).
    void SetBackdrop(const QPixmap& backdrop);

    // What is on screen now (the picture as it was last given), for tests and snapshots.
    QImage Picture() const;
    QRect PictureArea() const;

signals:
    void PictureArrived(); // queued to the widget's thread

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    mutable std::mutex FLock; // the picture and the size: the player's thread and the widget's
    QImage FPicture;
    QRect FArea;
    QSize FSize;       // physical pixels
    QPixmap FBackdrop; // GUI thread only
};
