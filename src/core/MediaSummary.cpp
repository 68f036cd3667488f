#include "core/MediaSummary.h"

#include "engine/probe/FFDecode.h"

namespace {

const QString kIndent(23, QLatin1Char(' '));
const QString kLineBreak = QStringLiteral("\r\n");

// The last stream of a kind, or -1.
int LastStreamIndex(TCustomDecoder& decoder, bool video) {
    int last = -1;
    for (int i = 0; i < decoder.StreamCount(); ++i) {
        if (video ? decoder.IsVideoStream(i) : decoder.IsAudioStream(i))
            last = i;
    }
    return last;
}

// Whole seconds of a stream, or of the file when the container gives no stream length.
qint64 WholeSeconds(TCustomDecoder& decoder, int64_t streamDuration) {
    if (streamDuration < 0) {
        TFileStreamInfo file;
        decoder.GetFileStreamInfo(file);
        streamDuration = file.Duration;
    }
    return streamDuration > 0 ? streamDuration / 1000000 : 0;
}

QString VideoPart(TCustomDecoder& decoder) {
    const int index = LastStreamIndex(decoder, true);
    TVideoStreamInfo video;
    if (index < 0 || !decoder.GetVideoStreamInfo(index, video))
        return {};
    const double fps =
        video.FrameRateDen != 0 ? double(video.FrameRateNum) / video.FrameRateDen : 0.0;
    return kIndent + QStringLiteral("Video Encoder: [%1]").arg(video.CodecName) + kLineBreak +
           kIndent +
           QString::asprintf("[%dx%d] %.2f fps %lld s", video.Width, video.Height, fps,
                             static_cast<long long>(WholeSeconds(decoder, video.Duration)));
}

QString AudioPart(TCustomDecoder& decoder) {
    const int index = LastStreamIndex(decoder, false);
    TAudioStreamInfo audio;
    if (index < 0 || !decoder.GetAudioStreamInfo(index, audio))
        return {};
    return kIndent + QStringLiteral("Audio Encoder: [%1]").arg(audio.CodecName) + kLineBreak +
           kIndent +
           QString::asprintf("[%d Hz, %d Channels] %lld s", audio.SampleRate, audio.Channels,
                             static_cast<long long>(WholeSeconds(decoder, audio.Duration)));
}

} // namespace

QString MediaSummary(TCustomDecoder& decoder) {
    return VideoPart(decoder) + kLineBreak + AudioPart(decoder);
}
