#include "conversion/U_shutDown.h"

#include "conversion/U_shutDownRequest.h"
#include "core/MrvLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TShutDownFrm::TShutDownFrm(QWidget* parent, ISystemShutdown& shutdown)
    : TSkinnedDialog(parent, QStringLiteral("Information"),
                     FrameSet | ButtonSet | CaptionButtonSet),
      FShutdown(shutdown) {
    setObjectName(QStringLiteral("ShutDownfrm"));
    auto* layout = new QVBoxLayout(Content());
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(18);
    lblShow = new QLabel(Content());
    lblShow->setObjectName(QStringLiteral("lblShow"));
    lblShow->setText(QStringLiteral("Your computer will shut down after X seconds."));
    layout->addWidget(lblShow);
    auto* buttons = new QHBoxLayout;
    btnOK = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("Shut Down Now"), Content());
    btnCancel =
        new TPictureButton(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), Content());
    btnOK->setMinimumWidth(110);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    setFixedSize(380, 150);

    tmr1 = new QTimer(this);
    tmr1->setObjectName(QStringLiteral("tmr1"));
    tmr1->setInterval(1000);
    connect(tmr1, &QTimer::timeout, this, &TShutDownFrm::tmr1Timer);
    connect(btnOK, &QAbstractButton::clicked, this, &TShutDownFrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &QDialog::reject);

    CentreOnDesktop(this);
}

void TShutDownFrm::FirstShow() {
    FTicks = 0;
    ShowSecondsLeft();
    btnOK->setFocus();
    tmr1->start();
}

void TShutDownFrm::ShowSecondsLeft() {
    lblShow->setText(
        QStringLiteral("Your computer will shut down after %1 seconds.").arg(kSeconds - FTicks));
}

void TShutDownFrm::tmr1Timer() {
    ++FTicks;
    ShowSecondsLeft();
    if (FTicks >= kSeconds) {
        tmr1->stop();
        btnOKClick();
    }
}

void TShutDownFrm::btnOKClick() {
    // A refused request leaves the window open until the user cancels; the reason is logged.
    QString error;
    if (!FShutdown.PowerOff(&error))
        ActivityLog().WriteError(QStringLiteral("Shut down refused: ") + error);
}
