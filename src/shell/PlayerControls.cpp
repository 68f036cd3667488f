#include "shell/PlayerControls.h"

#include "controls/MrvTrackbar.h"
#include "core/MediaSummary.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "engine/player/FFPlay.h"
#include "engine/widgets/TPlayerDisplay.h"

#include <QToolButton>
#include <QWidget>

namespace {

bool OpenLogged(const QString& fileName, TCustomPlayer& player, TPlayerDisplay* display,
                bool paused, QWidget* parent) {
    if (!player.Open(fileName, display, paused)) {
        ActivityLog().WriteError(player.LastError());
        Prompts().Error(parent, player.LastError());
        return false;
    }
    ActivityLog().WriteInfo(QStringLiteral("Success to Load File ") + player.FileName() +
                            QStringLiteral("\r\n") + MediaSummary(player.Decoder()));
    return true;
}

} // namespace

bool PreviewOpen(const QString& fileName, TCustomPlayer& player, TPlayerDisplay* display,
                 TMrvTrackbar* seekBar, int64_t length, int64_t start, QWidget* parent) {
    seekBar->SetMin(start);
    seekBar->SetMax(start + length);
    const bool opened = OpenLogged(fileName, player, display, true, parent);
    ActivityLog().WriteInfo(
        QString::asprintf("StartTime: %.5f s TimeLength: %.5f s", start / 1e6, length / 1e6));
    return opened;
}

bool PlayerOpen(const QString& fileName, TCustomPlayer& player, TPlayerDisplay* display,
                QWidget* parent) {
    return OpenLogged(fileName, player, display, false, parent);
}

void SetPlayToggle(int& toggle, QWidget* playButton, QWidget* pauseButton, TCustomPlayer& player) {
    if (toggle == 0) {
        toggle = 1;
        playButton->hide();
        pauseButton->show();
        player.Resume();
    } else {
        toggle = 0;
        playButton->show();
        pauseButton->hide();
        player.Pause();
    }
}

void PauseForDrag(int phase, bool& wasPlaying, int& toggle, QWidget* playButton,
                  TCustomPlayer& player, QWidget* pauseButton) {
    if (phase == 0) {
        wasPlaying = toggle == 1;
        if (wasPlaying)
            SetPlayToggle(toggle, playButton, pauseButton, player);
    } else if (wasPlaying) {
        SetPlayToggle(toggle, playButton, pauseButton, player);
        wasPlaying = false;
    }
}

QToolButton* MakeTransportButton(QWidget* parent, const char* name, TMainIcon icon,
                                 const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(MainIcon(icon, 20));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setFixedSize(34, 30);
    return button;
}
