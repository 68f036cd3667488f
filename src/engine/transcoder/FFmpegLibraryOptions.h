#pragma once

// Options the job does not know itself go to the media libraries' own option system: one
// generic codec option set per media kind, one container option set and one scaler option set
// check and hold the values; private options of particular codecs and formats are kept by
// name. Every accepted pair is remembered and applied to each codec or container context the
// job opens afterwards.

#include "engine/FFmpegPtr.h"

#include <QList>
#include <QString>

#include <optional>

class TLibraryOptions {
public:
    TLibraryOptions();

    // Fresh option sets at their defaults, nothing remembered.
    void Reset();

    // Sets one option. Returns the failure text, or nothing on success. `kind` limits a
    // generic codec option to the option set of one media kind. A blank name fails with an
    // empty text.
    std::optional<QString> Set(const QString& name, const QString& value,
                               std::optional<AVMediaType> kind = std::nullopt);

    // The generic option sets (video, audio and subtitle codec; container; scaler).
    AVCodecContext* CodecOptions(AVMediaType kind) const;
    AVFormatContext* FormatOptions() const { return FFormat.get(); }
    SwsContext* ScalerOptions() const { return FScaler.get(); }
    int ScalerFlags() const;
    // True when the video codec or the container options have debugging switched on.
    bool DebugRequested() const;

    // Applies the remembered pairs that exist for this codec context (opened for encoding or
    // decoding) or container context; rejected values are logged and skipped.
    void ApplyTo(AVCodecContext* context, bool encoding) const;
    void ApplyTo(AVFormatContext* context, bool output) const;
    // The remembered pairs a demuxer may take, for avformat_open_input.
    ffmpeg::DictionaryPtr DemuxerDictionary() const;

    struct TPair {
        QString Name;
        QString Value;
        std::optional<AVMediaType> Kind; // only for this media kind
        bool Private = false;            // in some codec's or format's own options: kept for them
    };
    const QList<TPair>& Pairs() const { return FPairs; }

private:
    // One remembered pair onto a new context (`own`: its private options, or null; `set`: the
    // generic option set holding the checked value, or null).
    static void ApplyPair(const TPair& pair, void* context, void* own, const void* set, int flags);
    std::optional<QString> SetGeneric(const QByteArray& name, const QByteArray& value,
                                      std::optional<AVMediaType> kind, bool* taken);

    ffmpeg::CodecContextPtr FVideo;
    ffmpeg::CodecContextPtr FAudio;
    ffmpeg::CodecContextPtr FSubtitle;
    ffmpeg::FormatContextPtr FFormat;
    ffmpeg::ScalerPtr FScaler;
    QList<TPair> FPairs;
};
