#pragma once

// What every built-in player window (the main window's preview, the clip and the edit window)
// does the same way with the player and its buttons: opening a file with its log lines, the
// play/pause toggle and pausing while a seek bar's thumb is dragged. GUI thread only.

#include "shell/U_MainIcons.h"

#include <QString>

#include <cstdint>

class QToolButton;
class QWidget;
class TCustomPlayer;
class TMrvTrackbar;
class TPlayerDisplay;

// The seek bar runs over [start, start + length] (µs of the source); the file opens paused
// into `display`. A failure is logged and shown with the player's text; false then.
bool PreviewOpen(const QString& fileName, TCustomPlayer& player, TPlayerDisplay* display,
                 TMrvTrackbar* seekBar, int64_t length, int64_t start, QWidget* parent);
// The same without a seek bar, opening the file playing.
bool PlayerOpen(const QString& fileName, TCustomPlayer& player, TPlayerDisplay* display,
                QWidget* parent);

// The play/pause toggle: 0 while the play button shows (stopped or paused), 1 while the pause
// button shows. Flips it, swaps the buttons and resumes or pauses the player.
void SetPlayToggle(int& toggle, QWidget* playButton, QWidget* pauseButton, TCustomPlayer& player);

// Phase 0 when a drag begins: a playing player pauses and `wasPlaying` remembers it. Phase 1
// when it ends: what was paused for the drag plays again.
void PauseForDrag(int phase, bool& wasPlaying, int& toggle, QWidget* playButton,
                  TCustomPlayer& player, QWidget* pauseButton);

// A play, pause or stop button of a player window: `icon` on a flat 34 × 30 button with `hint`.
QToolButton* MakeTransportButton(QWidget* parent, const char* name, TMainIcon icon,
                                 const QString& hint);
