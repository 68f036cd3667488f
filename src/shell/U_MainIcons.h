#pragma once

// The main window's pictures: SVG resources (resources/icons/main) drawn at the size asked,
// crisp at every screen density.

#include <QIcon>

enum class TMainIcon {
    Logo,
    Add,
    Formats,
    Options,
    Help,
    Edit,
    Clip,
    Merge,
    Start,
    Play,
    Pause,
    Stop,
    Snapshot,
    OpenFolder,
    RowFile,
    RowMerge,
    RowClip,
    Minimize,
    Maximize,
    Restore,
    Close,
};

// The picture at `size` logical pixels, with a double-density version.
QIcon MainIcon(TMainIcon kind, int size = 32, const QColor& color = QColor(0xe6, 0xe9, 0xef));
