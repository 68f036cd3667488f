#include "core/U_Treelist.h"

#include <QRegularExpression>

namespace {

void SetOutputDefaults(TOutputOptions& options) {
    options.FileExt = QStringLiteral(".flv");
    options.VideoCodec = QStringLiteral("flv");
    options.FrameRate = QStringLiteral("30");
    options.VideoBitrate = 512000;
    options.AudioCodec = QStringLiteral("libmp3lame");
    options.AudioVolume = 256;
    options.AudioChannels = 2;
    options.AudioBitrate = 96000;
    options.AudioSampleRate = 44100;
    options.DisableSubtitle = true;
    options.Info.Timestamp = 0; // stamp with the time of conversion
}

} // namespace

QList<TClipFile>& ClipList() {
    static QList<TClipFile> list;
    return list;
}

void SetItemDefaults(TFileOption& item, const QString& frameSize) {
    item.FormatIndex = 1;
    item.SourceFrameSize = frameSize;
    item.OutputFrameSize = frameSize;
    item.IsMerge = false;
    SetOutputDefaults(item.OutputOptions);
}

void SetClipDefaults(TClipFile& clip, const QString& frameSize) {
    clip.FormatIndex = 1;
    clip.SourceFrameSize = frameSize;
    clip.OutputFrameSize = frameSize;
    SetOutputDefaults(clip.OutputOptions);
}

bool ParseFrameSize(const QString& text, int* width, int* height) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)x(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    *width = match.hasMatch() ? match.captured(1).toInt() : 0;
    *height = match.hasMatch() ? match.captured(2).toInt() : 0;
    return match.hasMatch();
}
