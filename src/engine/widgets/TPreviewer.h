#pragma once

// The floating preview window of one running task: stay-on-top, a close box only, the client
// area the picture's size, the picture's time in the caption. Dragging the picture moves it.

#include "engine/encoder/Previewer.h"

#include <QWidget>

class TPreviewer : public QWidget, public ITaskPreviewer {
    Q_OBJECT

public:
    explicit TPreviewer(QWidget* parent = nullptr);

    void ShowPicture(const QImage& picture, int64_t pts) override;
    bool Closed() const override { return FClosed; }

    const QImage& Picture() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage FPicture;
    bool FClosed = false;
    bool FPlaced = false;
};
