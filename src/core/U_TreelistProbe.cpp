#include "core/U_TreelistProbe.h"

#include "core/MediaSummary.h"
#include "core/MrvLog.h"
#include "engine/probe/FFDecode.h"

std::optional<TSourceFacts> ProbeSourceFile(const QString& path, TCustomDecoder& decoder,
                                            QString* reason) {
    struct Closer {
        TCustomDecoder& Decoder;
        ~Closer() { Decoder.CloseFile(); }
    } closer{decoder};
    if (!decoder.LoadFile(path)) {
        ActivityLog().WriteError(decoder.LastErrMsg());
        ActivityLog().WriteError(QStringLiteral("Failed to load File  ") + path);
        if (reason != nullptr) {
            const QString prefix = path + QStringLiteral(": ");
            const QString& text = decoder.LastErrMsg();
            *reason = text.startsWith(prefix) ? text.mid(prefix.size()) : text;
        }
        return std::nullopt;
    }
    ActivityLog().WriteInfo(QStringLiteral("Success to Load File ") + path +
                            QStringLiteral("\r\n") + MediaSummary(decoder));

    TSourceFacts facts;
    facts.FileName = decoder.FileName();
    TFileStreamInfo info;
    decoder.GetFileStreamInfo(info);
    facts.Duration = info.Duration;
    facts.FileSize = decoder.FileSize();
    for (int i = 0; i < decoder.StreamCount(); ++i) {
        TVideoStreamInfo video;
        if (decoder.IsVideoStream(i) && decoder.GetVideoStreamInfo(i, video))
            facts.FrameSize =
                QStringLiteral("%1x%2").arg(video.DisplayWidth).arg(video.DisplayHeight);
    }
    return facts;
}
