#include "engine/transcoder/FFmpegSettings.h"

void TPendingSettings::ResetAfterInputOpen() {
    const TPendingSettings fresh;
    FormatName = fresh.FormatName;
    TopFieldFirst = fresh.TopFieldFirst;
    VideoChannel = fresh.VideoChannel;
    TvStandard = fresh.TvStandard;
    FrameRate = fresh.FrameRate;
    PixelFormat = fresh.PixelFormat;
    FrameWidth = fresh.FrameWidth;
    FrameHeight = fresh.FrameHeight;
    AudioSampleRate = fresh.AudioSampleRate;
    AudioChannels = fresh.AudioChannels;
    for (TKindSettings& kind : Kinds)
        kind.CodecName.clear();
    StartTime = fresh.StartTime;
    ProgramId = fresh.ProgramId;
    InputTimestampScales = fresh.InputTimestampScales;
    InputTimeOffset = fresh.InputTimeOffset;
    LoopInput = fresh.LoopInput;
    NoAutoRotate = fresh.NoAutoRotate;
    VideoDiscard = fresh.VideoDiscard;
}

void TPendingSettings::ResetAfterOutputOpen() {
    const TPendingSettings fresh;
    FormatName = fresh.FormatName;
    FrameRate = fresh.FrameRate;
    FrameWidth = fresh.FrameWidth;
    FrameHeight = fresh.FrameHeight;
    AudioSampleRate = fresh.AudioSampleRate;
    AudioChannels = fresh.AudioChannels;
    ForcedKeyFrames = fresh.ForcedKeyFrames;
    OutputMetadata = fresh.OutputMetadata;
    RecordingTimestamp = fresh.RecordingTimestamp;
    LoopOutput = fresh.LoopOutput;
    MuxPreload = fresh.MuxPreload;
    MuxMaxDelay = fresh.MuxMaxDelay;
    for (TKindSettings& kind : Kinds)
        kind.Disabled = false;
}

void TPendingSettings::ResetAfterStream(TStreamKind kind) {
    const TPendingSettings fresh;
    TKindSettings& settings = Kind(kind);
    settings.Disabled = false;
    settings.CodecName.clear();
    settings.Copy = false;
    settings.Language.clear();
    settings.BitstreamFilters.clear();
    settings.Tag = 0;
    if (kind == TStreamKind::Video) {
        BitsPerRawSample = fresh.BitsPerRawSample;
        FrameAspectRatio = fresh.FrameAspectRatio;
        VideoFilters = fresh.VideoFilters;
        ForcedKeyFrames = fresh.ForcedKeyFrames;
        PixelFormat = fresh.PixelFormat;
    }
}

bool TPendingSettings::operator==(const TPendingSettings& other) const {
    return FormatName == other.FormatName && FrameRate.num == other.FrameRate.num &&
           FrameRate.den == other.FrameRate.den && FrameWidth == other.FrameWidth &&
           FrameHeight == other.FrameHeight && FrameAspectRatio == other.FrameAspectRatio &&
           PixelFormat == other.PixelFormat && BitsPerRawSample == other.BitsPerRawSample &&
           AudioSampleRate == other.AudioSampleRate && AudioChannels == other.AudioChannels &&
           SampleFormat == other.SampleFormat && ChannelLayout == other.ChannelLayout &&
           Kinds == other.Kinds && VideoFilters == other.VideoFilters &&
           ForcedKeyFrames == other.ForcedKeyFrames && TopFieldFirst == other.TopFieldFirst &&
           VideoDiscard == other.VideoDiscard && VideoChannel == other.VideoChannel &&
           TvStandard == other.TvStandard && StartTime == other.StartTime &&
           InputTimeOffset == other.InputTimeOffset &&
           InputTimestampScales == other.InputTimestampScales && ProgramId == other.ProgramId &&
           LoopInput == other.LoopInput && NoAutoRotate == other.NoAutoRotate &&
           LoopOutput == other.LoopOutput && MuxPreload == other.MuxPreload &&
           MuxMaxDelay == other.MuxMaxDelay && OutputMetadata == other.OutputMetadata &&
           RecordingTimestamp == other.RecordingTimestamp;
}
