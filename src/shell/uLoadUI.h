#pragma once

// Window skins: the pictures of the tool windows' frames and buttons come from the "skin"
// folder, so the look can be changed by replacing files. A missing or unreadable picture leaves
// the control with its plain drawn look.

#include <QAbstractButton>
#include <QPixmap>
#include <QWidget>

#include <optional>

// A picture of the skin ("skin/" of the resource folders: the user's own copy first; ".bmp"
// files with olive, 128/128/0, as transparent colour); a "name@2x.ext" beside it is used on
// high-density screens. Null when missing or unreadable.
QPixmap LoadSkinPicture(const QString& fileName);

// A child of `window` by object name, without regard to letter case.
QWidget* FindSkinControl(QWidget* window, const QString& name);

// The three sets a tool window loads before it is first painted.
void LoadFrameSkin(QWidget* window);
void LoadButtonSkin(QWidget* window);
void LoadCaptionButtonSkin(QWidget* window);

// A frame piece: its picture stretched over it, or a plain colour without one.
class TSkinImage : public QWidget {
    Q_OBJECT

public:
    TSkinImage(const QString& name, const QColor& fallback, QWidget* parent = nullptr);
    void SetPicture(const QPixmap& picture);
    const QPixmap& Picture() const { return FPicture; }
    // Moves the window by this picture (a caption bar) from a press: through the window
    // system's own move where it has one, else by following the mouse until release.
    void DragWindow(QMouseEvent* press);

signals:
    void Pressed(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap FPicture;
    QColor FFallback;
    std::optional<QPoint> FDragOffset; // mouse to window corner while following the mouse
};

// A button drawn from pictures for its normal, hot (mouse over) and pressed states, with its
// caption over them; without pictures a rounded plain button.
class TPictureButton : public QAbstractButton {
    Q_OBJECT

public:
    TPictureButton(const QString& name, const QString& caption, QWidget* parent = nullptr);
    void SetPictures(const QPixmap& up, const QPixmap& hot, const QPixmap& down = QPixmap());
    bool HasPictures() const { return !FUp.isNull(); }
    QSize sizeHint() const override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap FUp;
    QPixmap FHot;
    QPixmap FDown;
    bool FHovered = false;
};
