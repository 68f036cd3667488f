#pragma once

// The job item records: one TFileOption per row of the job list, TClipFile per entry of the
// clip list, and the defaults a new item starts with.

#include "core/EdgeRect.h"
#include "engine/encoder/FFEncodeOptions.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

// The font of a text watermark: face, size, style and colour.
struct TTextFont {
    QFont Font;
    QColor Color = Qt::white;
    bool operator==(const TTextFont&) const = default;
};

// What a watermark is: TWaterMark::WaterMarkKind is never wmOff, TFileOption::WaterMarkType
// may be (the item's watermark switched off).
enum TWaterMarkType { wmOff = -1, wmNone = 0, wmPicture = 1, wmText = 2 };

struct TWaterMark {
    TWaterMarkType WaterMarkKind = wmNone;
    std::optional<TTextFont> TextFont;
    QString PictureFile;
    QString WaterMarkText;
    QString ScaledPictureFile; // the picture at the watermark's size in output pixels
    QRect OutputRect;          // output-frame pixels
    QRect PictureViewRect;
    QRect TextViewRect;
    bool operator==(const TWaterMark&) const = default;
};

struct TFileOption {
    int64_t Duration = 0;    // µs; negative: unknown
    int64_t FileSize = 0;    // bytes; 0 for clips and merge items
    QString SourceFrameSize; // "640x480" as the picture is shown (upright, square pixels); "0x0"
                             // without video
    QString OutputFrameSize;
    TInputOptions InputOptions;
    TOutputOptions OutputOptions;
    TWaterMarkType WaterMarkType = wmNone;
    TWaterMark WaterMark;
    bool CropEnabled = false;
    TEdgeRect CropRect;     // pixels of the source picture as it is shown
    TEdgeRect CropViewRect; // where the edit window drew it
    bool IsMerge = false;
    QString DisplayName;
    int FormatIndex = 0;
};

struct TClipFile {
    QString ClipName;
    int64_t StartTime = 0;
    int64_t EndTime = 0;
    int64_t ClipDuration = 0;
    QString SourceFrameSize;
    QString OutputFrameSize;
    int FormatIndex = 0;
    TOutputOptions OutputOptions;
};

// The process-wide exchange area between the job list and the clip window.
QList<TClipFile>& ClipList();

// The starting settings of a new item or clip: FLV video at 30 fps and 512 kbit/s, MP3 at
// 44100 Hz, stereo, 96 kbit/s, both frame sizes `frameSize`, profile 1.
void SetItemDefaults(TFileOption& item, const QString& frameSize);
void SetClipDefaults(TClipFile& clip, const QString& frameSize);

// "640x480" → 640 and 480; false (and 0, 0) for anything else.
bool ParseFrameSize(const QString& text, int* width, int* height);
