#pragma once

// The shutdown countdown shown at the end of a batch: 30 seconds, then the computer is powered
// off. "Shut Down Now" asks at once; Cancel (or the close box) ends the window, which is the
// only way it ends.

#include "shell/SkinnedDialog.h"

class ISystemShutdown;
class QLabel;
class QTimer;

class TShutDownFrm : public TSkinnedDialog {
    Q_OBJECT

public:
    TShutDownFrm(QWidget* parent, ISystemShutdown& shutdown);

    static constexpr int kSeconds = 30;

    QLabel* lblShow = nullptr;
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;
    QTimer* tmr1 = nullptr;

    void btnOKClick();

protected:
    void FirstShow() override;

private:
    void tmr1Timer();
    void ShowSecondsLeft();

    ISystemShutdown& FShutdown;
    int FTicks = 0;
};
