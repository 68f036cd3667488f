#include "cli/MediaInfoFields.h"

#include "engine/probe/FFDecode.h"

namespace {

QJsonValue Number(qint64 value) {
    return QJsonValue(value);
}

} // namespace

TMediaInfoFields CollectMediaInfo(TCustomDecoder& decoder) {
    TMediaInfoFields fields;
    TFileStreamInfo file;
    decoder.GetFileStreamInfo(file);
    fields.File = {
        {"FileName", decoder.FileName()},
        {"FileSize", Number(decoder.FileSize())},
        {"StreamCount", decoder.StreamCount()},
        {"ProgramCount", decoder.ProgramCount()},
        {"AudioStreamCount", decoder.AudioStreamCount()},
        {"VideoStreamCount", decoder.VideoStreamCount()},
        {"SubtitleStreamCount", decoder.SubtitleStreamCount()},
        {"FirstAudioStreamIndex", decoder.FirstAudioStreamIndex()},
        {"FirstVideoStreamIndex", decoder.FirstVideoStreamIndex()},
        {"FirstSubtitleStreamIndex", decoder.FirstSubtitleStreamIndex()},
        {"StartTime", Number(file.StartTime)},
        {"Duration", Number(file.Duration)},
        {"BitRate", file.BitRate},
        {"Timestamp", Number(file.Timestamp)},
        {"Year", file.Year},
        {"Track", file.Track},
        {"Title", file.Title},
        {"Author", file.Author},
        {"Copyright", file.Copyright},
        {"Comment", file.Comment},
        {"Album", file.Album},
        {"Genre", file.Genre},
    };

    for (int index = 0; index < decoder.StreamCount(); ++index) {
        if (decoder.IsVideoStream(index)) {
            TVideoStreamInfo video;
            decoder.GetVideoStreamInfo(index, video);
            fields.Video.append({
                {"index", index},
                {"Language", video.Language},
                {"CodecName", video.CodecName},
                {"RawStartTime", Number(video.RawStartTime)},
                {"StartTime", Number(video.StartTime)},
                {"RawDuration", Number(video.RawDuration)},
                {"Duration", Number(video.Duration)},
                {"BitRate", video.BitRate},
                {"Height", video.Height},
                {"Width", video.Width},
                {"DisplayAspectRatio", double(video.DisplayAspectRatio)},
                {"PixelFormat", video.PixelFormat},
                {"FrameRateNum", video.FrameRateNum},
                {"FrameRateDen", video.FrameRateDen},
                {"Rotation", video.Rotation},
                {"SampleAspectRatio",
                 QStringLiteral("%1:%2").arg(video.SampleAspectNum).arg(video.SampleAspectDen)},
                {"DisplayWidth", video.DisplayWidth},
                {"DisplayHeight", video.DisplayHeight},
            });
        } else if (decoder.IsAudioStream(index)) {
            TAudioStreamInfo audio;
            decoder.GetAudioStreamInfo(index, audio);
            fields.Audio.append({
                {"index", index},
                {"Language", audio.Language},
                {"CodecName", audio.CodecName},
                {"RawStartTime", Number(audio.RawStartTime)},
                {"StartTime", Number(audio.StartTime)},
                {"RawDuration", Number(audio.RawDuration)},
                {"Duration", Number(audio.Duration)},
                {"BitRate", audio.BitRate},
                {"Channels", audio.Channels},
                {"SampleRate", audio.SampleRate},
                {"SampleFormat", audio.SampleFormat},
            });
        }
    }
    return fields;
}

QJsonObject ToJson(const TFieldList& fields) {
    QJsonObject object;
    for (const auto& [name, value] : fields)
        object.insert(name, value);
    return object;
}
