#pragma once

// The frame every tool window shares: no system frame, rounded corners (radius 15), a title
// bar of skin pictures with logo, title and the minimise and close buttons, borders of skin
// pictures, and the window's own content in the middle. The skin is loaded when the window is
// first shown.

#include "shell/uLoadUI.h"

#include <QDialog>

class QBoxLayout;
class QLabel;

class TSkinnedDialog : public QDialog {
    Q_OBJECT

public:
    enum TSkinSet { FrameSet = 1, ButtonSet = 2, CaptionButtonSet = 4 };

    // `sets` says which skin sets the window loads; `movable` lets the title bar drag it.
    TSkinnedDialog(QWidget* parent, const QString& title, int sets, bool movable = true);

    // The area inside the frame that the window fills with its controls.
    QWidget* Content() const { return FContent; }
    QLabel* TitleLabel() const { return FTitle; }

    static constexpr int kCornerRadius = 15;

    // The desktop session ends: the window leaves at once, asking nothing, keeping nothing it
    // had not kept (what its Cancel does without the question).
    virtual void EndSession() { done(Rejected); }

protected:
    // A row at the end of `column` with OK and Cancel picture buttons at its right end.
    void AddOkCancelRow(QBoxLayout* column, TPictureButton*& ok, TPictureButton*& cancel);
    void showEvent(QShowEvent* event) override;
    // Once, when the window is first shown (after its skin is loaded); a restore from
    // minimised does not call it again.
    virtual void FirstShow() {}
    void resizeEvent(QResizeEvent* event) override;

private:
    int FSets;
    bool FMovable;
    bool FShown = false;
    QWidget* FContent = nullptr;
    QLabel* FTitle = nullptr;
};

// Gives `window` a rounded outline of `radius`, or none while it fills the screen.
void ApplyRoundedCorners(QWidget* window, int radius);

// Places `window` in the middle of the primary screen's work area.
void CentreOnDesktop(QWidget* window);
