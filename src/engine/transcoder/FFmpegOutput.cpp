// Opening the job's outputs, creating their streams, and writing packets.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"
#include "engine/transcoder/FFmpegParsers.h"

#include <QDateTime>
#include <QFile>

#include <sys/stat.h>

extern "C" {
#include <libavutil/opt.h>
}

namespace {

constexpr TStreamKind kStreamOrder[] = {TStreamKind::Video, TStreamKind::Audio,
                                        TStreamKind::Subtitle, TStreamKind::Data};

const char* StreamFailurePrefix(TStreamKind kind) {
    switch (kind) {
    case TStreamKind::Video: return "new_video_stream fail: %1";
    case TStreamKind::Audio: return "new_audio_stream fail: %1";
    case TStreamKind::Subtitle: return "new_subtitle_stream fail: %1";
    case TStreamKind::Data: return "new_data_stream fail: %1";
    }
    return "%1";
}

AVCodecID DefaultCodec(const AVOutputFormat* format, TStreamKind kind) {
    switch (kind) {
    case TStreamKind::Video: return format->video_codec;
    case TStreamKind::Audio: return format->audio_codec;
    case TStreamKind::Subtitle: return format->subtitle_codec;
    case TStreamKind::Data: return AV_CODEC_ID_NONE;
    }
    return AV_CODEC_ID_NONE;
}

bool IsKind(const AVCodecParameters* parameters, TStreamKind kind) {
    switch (kind) {
    case TStreamKind::Video: return parameters->codec_type == AVMEDIA_TYPE_VIDEO;
    case TStreamKind::Audio: return parameters->codec_type == AVMEDIA_TYPE_AUDIO;
    case TStreamKind::Subtitle: return parameters->codec_type == AVMEDIA_TYPE_SUBTITLE;
    case TStreamKind::Data:
        return parameters->codec_type == AVMEDIA_TYPE_DATA ||
               parameters->codec_type == AVMEDIA_TYPE_ATTACHMENT ||
               parameters->codec_type == AVMEDIA_TYPE_UNKNOWN;
    }
    return false;
}

} // namespace

int TCustomFFmpeg::EncoderThreads(const AVCodec* encoder) const {
    if (FSettings.ThreadCount != kAutomaticThreads)
        return FSettings.ThreadCount;
    constexpr int kThreaded =
        AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_OTHER_THREADS;
    if (encoder == nullptr || !(encoder->capabilities & kThreaded))
        return 1;
    // A library with threads of its own (x264) knows best how many keep it busy, when this
    // job has the whole machine.
    if ((encoder->capabilities & AV_CODEC_CAP_OTHER_THREADS) &&
        AutomaticThreads >= MachineThreads())
        return 0;
    return AutomaticThreads;
}

bool TCustomFFmpeg::WantsEncoderThread(const TOutputStream& output) const {
    // Only where it changes nothing that is written: its own threads already keep a threaded
    // encoder busy; two-pass logs and video statistics are written per packet as it comes.
    return output.Kind == TStreamKind::Video && FSettings.ThreadCount == kAutomaticThreads &&
           AutomaticThreads > 1 && output.EncoderContext->thread_count <= 1 && !output.PassLog &&
           FSettings.VStatsFile.isEmpty();
}

bool TCustomFFmpeg::InputsHaveKind(TStreamKind kind, bool everyFile) const {
    int filesWithKind = 0;
    for (const TInputFile& file : FInputFiles) {
        bool has = false;
        for (int s = 0; s < file.StreamCount && !has; ++s) {
            const AVStream* stream = FInputStreams[file.FirstStream + s].Stream;
            has = stream->discard != AVDISCARD_ALL && IsKind(stream->codecpar, kind);
        }
        filesWithKind += has ? 1 : 0;
    }
    return everyFile ? filesWithKind == static_cast<int>(FInputFiles.size()) : filesWithKind > 0;
}

int TCustomFFmpeg::OpenOutputFile(const QString& fileName, bool join) {
    FLastErrorText.clear();
    if (FJoin) {
        FLastErrorText = QStringLiteral("Cannot join more than one output file.");
        return -1;
    }
    if (static_cast<int>(FOutputFiles.size()) >= FMaxFiles) {
        FLastErrorText = QStringLiteral("Too many output files.");
        return -1;
    }
    if (!FPending.VideoFilters.isEmpty())
        FFiltersVideo = true;

    const QByteArray name = fileName.toUtf8();
    AVFormatContext* raw = nullptr;
    const QByteArray formatName = FPending.FormatName.toUtf8();
    int result = avformat_alloc_output_context2(
        &raw, nullptr, formatName.isEmpty() ? nullptr : formatName.constData(), name.constData());
    ffmpeg::OutputContextPtr context(raw);
    FPending.FormatName.clear();
    if (result < 0 || !context) {
        FLastErrorText = QStringLiteral("%1: %2").arg(
            fileName, engine::ErrorText(result < 0 ? result : AVERROR(EINVAL)));
        return -1;
    }
    raw->interrupt_callback = EngineInterruptCallback();

    const int fileIndex = static_cast<int>(FOutputFiles.size());
    FOutputFiles.push_back(TOutputFile{});
    FOutputFiles.back().Context = std::move(context);
    const size_t streamsBefore = FOutputStreams.size();
    auto fail = [&](const QString& text) {
        FLastErrorText = text;
        FOutputStreams.resize(streamsBefore);
        FOutputFiles.pop_back();
        return -1;
    };

    const bool joining = join && FInputFiles.size() > 1;
    for (TStreamKind kind : kStreamOrder) {
        const TKindSettings& settings = FPending.Kind(kind);
        bool wanted = settings.Copy || !settings.CodecName.isEmpty() ||
                      DefaultCodec(raw->oformat, kind) != AV_CODEC_ID_NONE;
        if (wanted && !FInputFiles.empty())
            wanted = InputsHaveKind(kind, joining);
        if (!wanted || settings.Disabled)
            continue;
        try {
            CreateOutputStream(fileIndex, kind);
        } catch (const FFmpegException& error) {
            return fail(QString::fromLatin1(StreamFailurePrefix(kind)).arg(error.Message()));
        }
    }

    if (FPending.RecordingTimestamp != 0) {
        const QString created = QDateTime::fromSecsSinceEpoch(FPending.RecordingTimestamp, Qt::UTC)
                                    .toString(Qt::ISODate);
        av_dict_set(&raw->metadata, "creation_time", created.toUtf8().constData(), 0);
    }
    for (const auto& [key, value] : FPending.OutputMetadata)
        av_dict_set(&raw->metadata, key.toUtf8().constData(), value.toUtf8().constData(), 0);

    if ((raw->oformat->flags & AVFMT_NEEDNUMBER) && !av_filename_number_test(name.constData()))
        return fail(QStringLiteral("%1: %2").arg(fileName, engine::ErrorText(AVERROR(EINVAL))));

    // The file itself is written only once the run starts (under a temporary name): a job
    // that is built but never run touches nothing.
    if (!(raw->oformat->flags & AVFMT_NOFILE)) {
        if (const std::optional<QString> refused = TPartFile::CheckTarget(fileName))
            return fail(*refused);
        if (IsAnInput(fileName))
            return fail(QStringLiteral("%1 is one of the files being converted").arg(fileName));
    }

    raw->max_delay = static_cast<int>(FPending.MuxMaxDelay * AV_TIME_BASE);
    if (raw->priv_data != nullptr) {
        av_opt_set_int(raw->priv_data, "preload",
                       static_cast<int64_t>(FPending.MuxPreload * AV_TIME_BASE), 0);
        if (FPending.LoopOutput >= 0)
            av_opt_set_int(raw->priv_data, "loop", FPending.LoopOutput, 0);
    }
    FLibraryOptions.ApplyTo(raw, true);

    FPending.ResetAfterOutputOpen();
    FLibraryOptions = TLibraryOptions();
    if (joining)
        FJoin = true;
    return fileIndex;
}

bool TCustomFFmpeg::IsAnInput(const QString& fileName) const {
    struct stat output {};
    if (::stat(QFile::encodeName(fileName).constData(), &output) != 0)
        return false; // a new file cannot be an input
    for (const TInputFile& file : FInputFiles) {
        struct stat input {};
        if (::stat(file.Context->url, &input) == 0 && input.st_dev == output.st_dev &&
            input.st_ino == output.st_ino)
            return true;
    }
    return false;
}

void TCustomFFmpeg::OpenOutputFiles() {
    for (TOutputFile& file : FOutputFiles) {
        AVFormatContext* context = file.Context.get();
        if (context->oformat->flags & AVFMT_NOFILE)
            continue;
        const QString name = QString::fromUtf8(context->url);
        file.Part = std::make_unique<TPartFile>();
        QString error;
        if (!file.Part->Create(name, &error))
            throw FFmpegException(error);
        TTimedIO timed(*this);
        const int result = avio_open2(&context->pb, file.Part->TemporaryName().constData(),
                                      AVIO_FLAG_WRITE, &context->interrupt_callback, nullptr);
        if (result < 0)
            throw FFmpegException(QStringLiteral("%1: %2").arg(name, engine::ErrorText(result)));
    }
}

void TCustomFFmpeg::PublishOutputs() {
    for (TOutputFile& file : FOutputFiles) {
        if (!file.Part)
            continue;
        AVFormatContext* context = file.Context.get();
        const QString name = QString::fromUtf8(context->url);
        // What the muxer still buffers reaches the file first; a full disk shows here.
        const int closed = avio_closep(&context->pb);
        if (closed < 0)
            throw FFmpegException(QStringLiteral("%1: %2").arg(name, engine::ErrorText(closed)));
        QString error;
        if (!file.Part->Publish(FSettings.OverwriteOutputs, &error))
            throw FFmpegException(error);
    }
}

void TCustomFFmpeg::CreateOutputStream(int fileIndex, TStreamKind kind) {
    AVFormatContext* context = FOutputFiles[fileIndex].Context.get();
    const AVMediaType type = MediaType(kind);
    TKindSettings& settings = FPending.Kind(kind);

    // Everything that can fail comes before the stream is added to the file.
    const AVCodec* encoder = nullptr;
    if (!settings.Copy) {
        if (const std::optional<QString> failure =
                FindCodec(settings.CodecName, type, true, &encoder))
            throw FFmpegException(*failure);
        if (encoder == nullptr && kind != TStreamKind::Data) {
            const AVCodecID id =
                av_guess_codec(context->oformat, nullptr, context->url, nullptr, type);
            encoder = avcodec_find_encoder(id);
        }
        if (kind == TStreamKind::Data) {
            Log(llError, "Data stream encoding not supported yet (only streamcopy)");
            throw FFmpegException(
                QStringLiteral("Data stream encoding not supported yet (only streamcopy)"));
        }
    }
    QList<int64_t> keyFrames;
    if (kind == TStreamKind::Video && !FPending.ForcedKeyFrames.isEmpty())
        keyFrames = options::ForcedKeyFrames(FPending.ForcedKeyFrames);

    ffmpeg::CodecContextPtr codecContext(avcodec_alloc_context3(encoder));
    if (!codecContext)
        throw FFmpegException(QStringLiteral("Could not alloc output stream"));
    AVStream* stream = avformat_new_stream(context, nullptr);
    if (stream == nullptr)
        throw FFmpegException(QStringLiteral("Could not alloc stream"));
    const int streamIndex = static_cast<int>(context->nb_streams) - 1;
    if (FSettings.StreamIds.contains(streamIndex))
        stream->id = FSettings.StreamIds.value(streamIndex);

    TOutputStream output;
    output.Kind = kind;
    output.FileIndex = fileIndex;
    output.Index = streamIndex;
    output.Stream = stream;
    output.ScalerFlags = FLibraryOptions.ScalerFlags();
    output.Copy = settings.Copy;
    output.Encoder = encoder;
    output.BitstreamFilterSpecs = settings.BitstreamFilters;

    AVCodecContext* codec = codecContext.get();
    codec->codec_type = type;
    if (encoder != nullptr)
        codec->codec_id = encoder->id;
    codec->thread_count = EncoderThreads(encoder);
    if (settings.Tag != 0)
        codec->codec_tag = settings.Tag;
    if (context->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (AVCodecContext* set = FLibraryOptions.CodecOptions(type))
            set->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    if (kind == TStreamKind::Video) {
        output.FrameAspectRatio = FPending.FrameAspectRatio;
        output.FilterText = FPending.VideoFilters;
        output.FrameRate = FPending.FrameRate;
    }

    if (settings.Copy) {
        if (kind == TStreamKind::Video && output.FrameAspectRatio > 0) {
            const double width = FPending.FrameWidth > 0 ? FPending.FrameWidth : 4;
            const double height = FPending.FrameHeight > 0 ? FPending.FrameHeight : 3;
            stream->sample_aspect_ratio = av_d2q(output.FrameAspectRatio * height / width, 255);
        }
    } else if (kind == TStreamKind::Video) {
        FLibraryOptions.ApplyTo(codec, true);
        codec->width = FPending.FrameWidth;
        codec->height = FPending.FrameHeight;
        codec->pix_fmt = FPending.PixelFormat;
        codec->bits_per_raw_sample = FPending.BitsPerRawSample;
        stream->sample_aspect_ratio = codec->sample_aspect_ratio;
        if (FSettings.IntraOnly)
            codec->gop_size = 0;
        if (FSettings.VideoQScale > 0 || FSettings.SameQuality) {
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            codec->global_quality = static_cast<int>(
                FF_QP2LAMBDA * (FSettings.VideoQScale > 0 ? FSettings.VideoQScale : 1.0f));
        }
        auto copyMatrix = [](const std::optional<TMatrix>& matrix) -> uint16_t* {
            if (!matrix)
                return nullptr;
            auto* copy = static_cast<uint16_t*>(av_malloc(sizeof(uint16_t) * 64));
            if (copy != nullptr)
                std::copy(matrix->begin(), matrix->end(), copy);
            return copy;
        };
        codec->intra_matrix = copyMatrix(FSettings.IntraMatrix);
        codec->inter_matrix = copyMatrix(FSettings.InterMatrix);
        if (!FSettings.RcOverrides.isEmpty()) {
            codec->rc_override = static_cast<RcOverride*>(
                av_calloc(FSettings.RcOverrides.size(), sizeof(RcOverride)));
            if (codec->rc_override != nullptr) {
                for (int i = 0; i < FSettings.RcOverrides.size(); ++i) {
                    const TRcOverride& item = FSettings.RcOverrides[i];
                    codec->rc_override[i] = {item.StartFrame, item.EndFrame, item.QScale,
                                             item.QualityFactor};
                }
                codec->rc_override_count = static_cast<int>(FSettings.RcOverrides.size());
            }
        }
        codec->rc_initial_buffer_occupancy = codec->rc_buffer_size * 3 / 4;
        codec->intra_dc_precision = FSettings.IntraDcPrecision - 8;
        if (FSettings.Psnr)
            codec->flags |= AV_CODEC_FLAG_PSNR;
        if (FSettings.Pass == 1)
            codec->flags |= AV_CODEC_FLAG_PASS1;
        else if (FSettings.Pass == 2)
            codec->flags |= AV_CODEC_FLAG_PASS2;
        output.ForcedKeyFrames = keyFrames;
    } else if (kind == TStreamKind::Audio) {
        FLibraryOptions.ApplyTo(codec, true);
        if (FSettings.AudioQScale > -99999.0f) {
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            codec->global_quality = static_cast<int>(FF_QP2LAMBDA * FSettings.AudioQScale);
        }
        if (FPending.AudioChannels > 0)
            av_channel_layout_default(&codec->ch_layout, FPending.AudioChannels);
        if (FPending.AudioSampleRate > 0)
            codec->sample_rate = FPending.AudioSampleRate;
        codec->sample_fmt = FPending.SampleFormat;
        if (FPending.ChannelLayout != 0 &&
            (FPending.AudioChannels <= 0 ||
             av_popcount64(FPending.ChannelLayout) == FPending.AudioChannels)) {
            av_channel_layout_uninit(&codec->ch_layout);
            av_channel_layout_from_mask(&codec->ch_layout, FPending.ChannelLayout);
        }
        if (codec->sample_fmt != AV_SAMPLE_FMT_NONE)
            ChooseSampleFormat(codec);
    } else if (kind == TStreamKind::Subtitle) {
        FLibraryOptions.ApplyTo(codec, true);
    }

    if (!settings.Language.isEmpty())
        av_dict_set(&stream->metadata, "language", settings.Language.toUtf8().constData(), 0);

    output.EncoderContext = std::move(codecContext);
    FOutputFiles[fileIndex].Streams.append(static_cast<int>(FOutputStreams.size()));
    FOutputStreams.push_back(std::move(output));
    FPending.ResetAfterStream(kind);
}

// --- Writing packets -----------------------------------------------------------------

void TCustomFFmpeg::WritePacket(TOutputStream& output, AVPacket* packet) {
    packet->stream_index = output.Index;
    if (output.BitstreamFilters.empty()) {
        InterleavePacket(FOutputFiles[output.FileIndex].Context.get(), packet);
        return;
    }
    // The filters were set up before the header was written, in the stream's time base of
    // then; the muxer may have chosen another one since.
    av_packet_rescale_ts(packet, output.Stream->time_base,
                         output.BitstreamFilters.front()->time_base_in);
    FilterAndWrite(output, packet);
}

void TCustomFFmpeg::FlushBitstreamFilters() {
    for (TOutputStream& output : FOutputStreams) {
        if (!output.BitstreamFilters.empty() && FOutputFiles[output.FileIndex].HeaderWritten)
            FilterAndWrite(output, nullptr);
    }
}

void TCustomFFmpeg::FilterAndWrite(TOutputStream& output, AVPacket* packet) {
    const bool atEnd = packet == nullptr;
    // Through each filter in turn; a filter may hold a packet back or give several.
    std::vector<ffmpeg::PacketPtr> pending;
    if (!atEnd) {
        pending.push_back(ffmpeg::MakePacket());
        av_packet_move_ref(pending.back().get(), packet);
    }
    for (ffmpeg::BsfPtr& filter : output.BitstreamFilters) {
        std::vector<ffmpeg::PacketPtr> produced;
        const auto feed = [&](AVPacket* in) {
            int result = av_bsf_send_packet(filter.get(), in);
            while (result >= 0) {
                ffmpeg::PacketPtr out = ffmpeg::MakePacket();
                result = av_bsf_receive_packet(filter.get(), out.get());
                if (result >= 0)
                    produced.push_back(std::move(out));
            }
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            const QString text = QStringLiteral("%1 failed for stream %2, codec %3: %4")
                                     .arg(QString::fromUtf8(filter->filter->name))
                                     .arg(output.Index)
                                     .arg(output.Copy ? QStringLiteral("copy")
                                                      : QString::fromUtf8(output.Encoder->name),
                                          engine::ErrorText(result));
            if (FSettings.ExitOnError)
                throw FFmpegException(text);
            Log(llError, text);
        };
        for (ffmpeg::PacketPtr& in : pending)
            feed(in.get());
        if (atEnd)
            feed(nullptr); // what the filter still holds comes out now
        pending = std::move(produced);
    }
    AVFormatContext* context = FOutputFiles[output.FileIndex].Context.get();
    for (ffmpeg::PacketPtr& out : pending) {
        out->stream_index = output.Index;
        av_packet_rescale_ts(out.get(), output.BitstreamFilters.back()->time_base_out,
                             output.Stream->time_base);
        InterleavePacket(context, out.get());
    }
}

void TCustomFFmpeg::InterleavePacket(AVFormatContext* context, AVPacket* packet) {
    ++FPacketsWritten;
    const int result = av_interleaved_write_frame(context, packet);
    if (result < 0)
        throw FFmpegException(
            QStringLiteral("av_interleaved_write_frame(): %1").arg(engine::ErrorText(result)));
}
