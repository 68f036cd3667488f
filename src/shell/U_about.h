#pragma once

// The about window, also shown as the splash while the application starts: a borderless
// 450 × 250 picture with the program version and the home page link.

#include <QDialog>

class QLabel;

class Taboutfrm : public QDialog {
    Q_OBJECT

public:
    explicit Taboutfrm(QWidget* parent = nullptr);

    // Stay-on-top, ignoring input, painted at once.
    void ShowAsSplash();

    QLabel* lblVersion = nullptr;
    QLabel* lblHomePageCaption = nullptr;
    QLabel* lblHomePage = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString FHomePage;
};
