// The run's set-up: which input stream feeds each output stream, codec parameters, opening
// decoders and encoders, metadata, and the outputs' headers.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <QFile>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}

QString TCustomFFmpeg::KindName(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO: return QStringLiteral("Video");
    case AVMEDIA_TYPE_AUDIO: return QStringLiteral("Audio");
    case AVMEDIA_TYPE_DATA: return QStringLiteral("Data");
    case AVMEDIA_TYPE_SUBTITLE: return QStringLiteral("Subtitle");
    case AVMEDIA_TYPE_ATTACHMENT: return QStringLiteral("Attachment");
    default: return QStringLiteral("Unknown");
    }
}

namespace {

bool KindMatches(const AVStream* stream, TStreamKind kind) {
    const AVMediaType type = stream->codecpar->codec_type;
    switch (kind) {
    case TStreamKind::Video: return type == AVMEDIA_TYPE_VIDEO;
    case TStreamKind::Audio: return type == AVMEDIA_TYPE_AUDIO;
    case TStreamKind::Subtitle: return type == AVMEDIA_TYPE_SUBTITLE;
    case TStreamKind::Data:
        return type == AVMEDIA_TYPE_DATA || type == AVMEDIA_TYPE_ATTACHMENT ||
               type == AVMEDIA_TYPE_UNKNOWN;
    }
    return false;
}

} // namespace

void TCustomFFmpeg::SetUpRun() {
    FRunStartTime = FPending.StartTime;
    // Deinterlacing is a filter in front of each video stream's own graph.
    if (FSettings.Deinterlace)
        FFiltersVideo = true;
    for (TInputStream& input : FInputStreams)
        input.WallStart = av_gettime_relative();

    CheckStreamsAndMaps();
    ChooseSources();
    if (FJoin)
        ExpandJoin();
    // Pictures stored turned or with non-square pixels are encoded as they are meant to be
    // seen: that takes the filter graph.
    for (const TOutputStream& output : FOutputStreams) {
        if (output.Kind != TStreamKind::Video || output.Copy)
            continue;
        QList<int> sources = output.JoinSources;
        sources.append(output.SourceIndex);
        for (int source : sources) {
            if (source >= 0 && !FInputStreams[source].Shown.StoredAsShown())
                FFiltersVideo = true;
        }
    }

    for (TOutputStream& output : FOutputStreams) {
        const TInputStream& input = FInputStreams[output.SourceIndex];
        if (FSettings.CopyStreamMetadata)
            av_dict_copy(&output.Stream->metadata, input.Stream->metadata, AV_DICT_DONT_OVERWRITE);
        // An encoded picture is upright already: an old-style rotation tag would turn it again.
        if (output.Kind == TStreamKind::Video && !output.Copy)
            av_dict_set(&output.Stream->metadata, "rotate", nullptr, 0);
        output.Stream->disposition = input.Stream->disposition;
        AVCodecContext* codec = output.EncoderContext.get();
        codec->bits_per_raw_sample = input.Stream->codecpar->bits_per_raw_sample;
        codec->chroma_sample_location = input.Stream->codecpar->chroma_location;
        if (output.Copy)
            SetCopyParameters(output);
        else
            SetEncoderParameters(output);
    }

    // Decoders first: a subtitle encoder takes its header from its decoder.
    OpenDecoders();
    OpenEncoders();

    for (TInputStream& input : FInputStreams) {
        const AVRational rate = input.Stream->avg_frame_rate;
        input.Pts = rate.num != 0 && rate.den != 0 && input.DecoderContext
                        ? -av_rescale(input.DecoderContext->has_b_frames,
                                      AV_TIME_BASE * int64_t(rate.den), rate.num)
                        : 0;
        input.NextPts = AV_NOPTS_VALUE;
        input.AtStart = true;
    }

    CopyMetadataAndChapters();
    OpenOutputFiles();
    WriteHeaders();
    LogStreamMapping();
}

void TCustomFFmpeg::CheckStreamsAndMaps() {
    int outputStreams = 0;
    for (size_t f = 0; f < FOutputFiles.size(); ++f) {
        const TOutputFile& file = FOutputFiles[f];
        if (file.Streams.isEmpty() && !(file.Context->oformat->flags & AVFMT_NOSTREAMS))
            throw FFmpegException(
                QStringLiteral("Output file #%1 does not contain any stream").arg(f));
        outputStreams += static_cast<int>(file.Streams.size());
    }
    const QList<TStreamMap>& maps = FSettings.StreamMaps;
    if (maps.isEmpty())
        return;
    if (maps.size() != outputStreams)
        throw FFmpegException(QStringLiteral("Number of stream maps must match number of output "
                                             "streams"));
    auto exists = [this](int file, int stream) {
        return file >= 0 && file < InputFileCount() && stream >= 0 &&
               stream < FInputFiles[file].StreamCount;
    };
    for (const TStreamMap& map : maps) {
        if (!exists(map.File, map.Stream))
            throw FFmpegException(
                QStringLiteral("Could not find input stream #%1.%2").arg(map.File).arg(map.Stream));
        if (!exists(map.SyncFile, map.SyncStream))
            throw FFmpegException(QStringLiteral("Could not find sync stream #%1.%2")
                                      .arg(map.SyncFile)
                                      .arg(map.SyncStream));
    }
}

int TCustomFFmpeg::FindSource(TStreamKind kind, int firstFile, int lastFile) const {
    int fallback = -1;
    for (int f = firstFile; f <= lastFile; ++f) {
        const TInputFile& file = FInputFiles[f];
        for (int s = 0; s < file.StreamCount; ++s) {
            const int index = file.FirstStream + s;
            const TInputStream& input = FInputStreams[index];
            if (input.Stream->discard == AVDISCARD_ALL || !KindMatches(input.Stream, kind))
                continue;
            if (!input.Selected)
                return index;
            if (fallback < 0)
                fallback = index;
        }
    }
    return fallback;
}

void TCustomFFmpeg::ChooseSources() {
    const QList<TStreamMap>& maps = FSettings.StreamMaps;
    int mapIndex = 0;
    for (TOutputStream& output : FOutputStreams) {
        if (!maps.isEmpty()) {
            const TStreamMap& map = maps[mapIndex++];
            const int source = FInputFiles[map.File].FirstStream + map.Stream;
            const AVStream* stream = FInputStreams[source].Stream;
            if (!KindMatches(stream, output.Kind)) {
                throw FFmpegException(
                    QStringLiteral("Codec type mismatch for mapping #%1.%2 (%3) -> #%4.%5 (%6)")
                        .arg(map.File)
                        .arg(map.Stream)
                        .arg(KindName(stream->codecpar->codec_type))
                        .arg(output.FileIndex)
                        .arg(output.Index)
                        .arg(KindName(MediaType(output.Kind))));
            }
            output.SourceIndex = source;
            output.SyncIndex = FInputFiles[map.SyncFile].FirstStream + map.SyncStream;
        } else {
            // In join mode each input file is one segment; the first segment's stream is
            // chosen here, the others by ExpandJoin.
            const int last = FJoin ? 0 : InputFileCount() - 1;
            output.SourceIndex = FindSource(output.Kind, 0, last);
            if (output.SourceIndex < 0) {
                throw FFmpegException(
                    QStringLiteral("Could not find input stream matching output stream #%1.%2 (%3)")
                        .arg(output.FileIndex)
                        .arg(output.Index)
                        .arg(KindName(MediaType(output.Kind))));
            }
            output.SyncIndex = output.SourceIndex;
        }
        FInputStreams[output.SourceIndex].Selected = true;
    }
}

void TCustomFFmpeg::ExpandJoin() {
    int64_t total = 0;
    for (const TInputFile& file : FInputFiles) {
        if (file.Context->duration != AV_NOPTS_VALUE && file.Context->duration > 0)
            total += file.Context->duration;
    }
    FExpectedTotalDuration = total > 0 ? total : -1;
    if (FOutputStreams.empty() || FOutputStreams.front().SourceIndex < 0)
        return; // called before the run: the sources are chosen by the set-up
    for (TOutputStream& output : FOutputStreams) {
        output.JoinSources.clear();
        for (int f = 0; f < InputFileCount(); ++f) {
            const int source = f == 0 ? output.SourceIndex : FindSource(output.Kind, f, f);
            output.JoinSources.append(source);
            if (source >= 0)
                FInputStreams[source].Selected = true;
        }
    }
}

void TCustomFFmpeg::SetCopyParameters(TOutputStream& output) {
    const TInputStream& input = FInputStreams[output.SourceIndex];
    const AVCodecParameters* source = input.Stream->codecpar;
    // A copied stream is shown as the source is: its display matrix and the like go along.
    for (int i = 0; i < input.Stream->nb_side_data; ++i) {
        const AVPacketSideData& data = input.Stream->side_data[i];
        uint8_t* copy = av_stream_new_side_data(output.Stream, data.type, data.size);
        if (copy == nullptr)
            throw std::bad_alloc();
        std::memcpy(copy, data.data, data.size);
    }
    if (output.Kind == TStreamKind::Video) {
        const char* refusal = nullptr;
        if (OnVideoInputHook || OnVideoOutputHook)
            refusal = "-vcodec copy and VideoHook are incompatible (frames are not decoded)";
        else if (OnFrameInputHook || OnFrameOutputHook)
            refusal = "-vcodec copy and FrameHook are incompatible (frames are not decoded)";
        else if (!FSettings.VideoHookModules.isEmpty())
            refusal = "-vcodec copy and -vhook are incompatible (frames are not decoded)";
        else if (FPreviewFlags != 0)
            refusal = "-vcodec copy and PostHooks are incompatible (frames are not decoded)";
        if (refusal != nullptr)
            throw FFmpegException(QString::fromLatin1(refusal));
    } else if (output.Kind == TStreamKind::Audio) {
        if (FSettings.AudioVolume != 256)
            throw FFmpegException(
                QStringLiteral("-acodec copy and -vol are incompatible (frames are not decoded)"));
        if (OnAudioHook)
            throw FFmpegException(QStringLiteral(
                "-acodec copy and AudioHook are incompatible (frames are not decoded)"));
    }
    AVStream* stream = output.Stream;
    const AVRational aspect = stream->sample_aspect_ratio;
    if (avcodec_parameters_copy(stream->codecpar, source) < 0)
        throw FFmpegException(QStringLiteral("Could not alloc output stream"));
    // Keep the tag only where the container knows it for this codec.
    const AVOutputFormat* format = FOutputFiles[output.FileIndex].Context->oformat;
    const bool tagFits = format->codec_tag == nullptr ||
                         av_codec_get_id(format->codec_tag, source->codec_tag) == source->codec_id;
    stream->codecpar->codec_tag = tagFits ? source->codec_tag : 0;
    if (output.Kind == TStreamKind::Audio &&
        ((source->codec_id == AV_CODEC_ID_MP3 && source->block_align == 1) ||
         source->codec_id == AV_CODEC_ID_AC3))
        stream->codecpar->block_align = 0;
    stream->time_base = input.Stream->time_base;
    if (output.Kind == TStreamKind::Video) {
        stream->sample_aspect_ratio = aspect.num != 0 ? aspect
                                      : input.Stream->sample_aspect_ratio.num != 0
                                          ? input.Stream->sample_aspect_ratio
                                          : source->sample_aspect_ratio;
        stream->codecpar->sample_aspect_ratio = stream->sample_aspect_ratio;
        stream->avg_frame_rate = input.Stream->avg_frame_rate;
        stream->r_frame_rate = input.Stream->r_frame_rate;
    }
}

void TCustomFFmpeg::SetEncoderParameters(TOutputStream& output) {
    TInputStream& input = FInputStreams[output.SourceIndex];
    input.DecodingNeeded = true;
    for (int source : output.JoinSources) {
        if (source >= 0)
            FInputStreams[source].DecodingNeeded = true;
    }
    output.EncodingNeeded = true;
    AVCodecContext* codec = output.EncoderContext.get();
    const AVCodecParameters* source = input.Stream->codecpar;
    if (output.Kind == TStreamKind::Video) {
        if (codec->pix_fmt == AV_PIX_FMT_NONE)
            codec->pix_fmt = static_cast<AVPixelFormat>(source->format);
        // The picture as it is meant to be seen, unless a size was asked for.
        if (codec->width == 0 || codec->height == 0) {
            codec->width = input.Shown.Width;
            codec->height = input.Shown.Height;
        }
        ChoosePixelFormat(codec);
        if (codec->pix_fmt == AV_PIX_FMT_NONE)
            throw FFmpegException(
                QStringLiteral("Video pixel format is unknown, stream cannot be encoded"));
        AVRational rate = output.FrameRate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = input.Stream->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = AVRational{25, 1};
        if (output.Encoder != nullptr && output.Encoder->supported_framerates != nullptr &&
            !FSettings.ForceFps)
            rate = output.Encoder->supported_framerates[av_find_nearest_q_idx(
                rate, output.Encoder->supported_framerates)];
        // Keep the encoder's ticks in the range every codec accepts.
        av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
        output.FrameRate = rate;
        codec->framerate = rate;
        codec->time_base = av_inv_q(rate);
        const AVOutputFormat* format = FOutputFiles[output.FileIndex].Context->oformat;
        if (av_q2d(codec->time_base) < 0.001 &&
            (FSettings.VideoSync == 1 ||
             (FSettings.VideoSync == -1 && !(format->flags & AVFMT_VARIABLE_FPS))))
            Log(llWarning, "Frame rate very high for a muxer not effciciently supporting it.\n"
                           "Please consider specifiying a lower framerate, a different muxer or "
                           "-vsync 2\n");
        if (FFiltersVideo) {
            ConfigureVideoFilter(output, source->width, source->height, source->format,
                                 input.Stream->sample_aspect_ratio.num != 0
                                     ? input.Stream->sample_aspect_ratio
                                     : source->sample_aspect_ratio);
        }
        if (output.FrameAspectRatio > 0)
            codec->sample_aspect_ratio =
                av_d2q(output.FrameAspectRatio * codec->height / codec->width, 255);
        else if (!FFiltersVideo)
            codec->sample_aspect_ratio = input.Stream->sample_aspect_ratio.num != 0
                                             ? input.Stream->sample_aspect_ratio
                                             : source->sample_aspect_ratio;
        output.Stream->sample_aspect_ratio = codec->sample_aspect_ratio;
        for (int64_t& time : output.ForcedKeyFrames)
            time = av_rescale_q(time, AV_TIME_BASE_Q, codec->time_base);
        OpenPassLog(output);
    } else if (output.Kind == TStreamKind::Audio) {
        if (codec->sample_rate <= 0)
            codec->sample_rate = source->sample_rate;
        ChooseSampleRate(codec);
        codec->time_base = AVRational{1, codec->sample_rate};
        if (codec->ch_layout.nb_channels <= 0)
            av_channel_layout_copy(&codec->ch_layout, &source->ch_layout);
        if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int channels = codec->ch_layout.nb_channels;
            av_channel_layout_uninit(&codec->ch_layout);
            av_channel_layout_default(&codec->ch_layout, channels);
        }
        if (codec->sample_fmt == AV_SAMPLE_FMT_NONE)
            codec->sample_fmt = static_cast<AVSampleFormat>(source->format);
        ChooseSampleFormat(codec);
    }
}

void TCustomFFmpeg::OpenPassLog(TOutputStream& output) {
    AVCodecContext* codec = output.EncoderContext.get();
    if (!(codec->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) ||
        codec->codec_id == AV_CODEC_ID_H264)
        return;
    const QString prefix =
        FSettings.PassLogFile.isEmpty() ? QStringLiteral("ffmpeg2pass") : FSettings.PassLogFile;
    const QString name =
        QStringLiteral("%1-%2.log").arg(prefix).arg(&output - FOutputStreams.data()).left(1023);
    if (codec->flags & AV_CODEC_FLAG_PASS1) {
        output.PassLog.reset(std::fopen(name.toLocal8Bit().constData(), "wb"));
        if (!output.PassLog)
            throw FFmpegException(
                QStringLiteral("Cannot write log file %1 for pass-1 encoding").arg(name));
        return;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw FFmpegException(
            QStringLiteral("Cannot read file: Error reading log file \"%1\" for pass-2 encoding")
                .arg(name));
    output.PassStats = file.readAll();
    output.PassStats.append('\0');
    codec->stats_in = output.PassStats.data();
}

void TCustomFFmpeg::OpenEncoders() {
    for (TOutputStream& output : FOutputStreams) {
        if (!output.EncodingNeeded)
            continue;
        AVCodecContext* codec = output.EncoderContext.get();
        const QString where = QStringLiteral("output stream #%1.%2 (%3)")
                                  .arg(output.FileIndex)
                                  .arg(output.Index)
                                  .arg(KindName(codec->codec_type));
        if (output.Encoder == nullptr)
            throw FFmpegException(QStringLiteral("Encoder (codec id %1) not found for %2")
                                      .arg(codec->codec_id)
                                      .arg(where));
        const TInputStream& input = FInputStreams[output.SourceIndex];
        if (output.Kind == TStreamKind::Subtitle && input.DecoderContext &&
            input.DecoderContext->subtitle_header_size > 0) {
            const int size = input.DecoderContext->subtitle_header_size;
            codec->subtitle_header = static_cast<uint8_t*>(av_mallocz(size + 1));
            if (codec->subtitle_header == nullptr)
                throw FFmpegException(QStringLiteral("av_malloc failed"));
            std::memcpy(codec->subtitle_header, input.DecoderContext->subtitle_header, size);
            codec->subtitle_header_size = size;
        }
        if (avcodec_open2(codec, output.Encoder, nullptr) < 0)
            throw FFmpegException(
                QStringLiteral("Error while opening encoder for %1 - maybe incorrect parameters "
                               "such as bit_rate, rate, width or height. Please check error log "
                               "message to find out more detail information.")
                    .arg(where));
        output.EncoderOpened = true;
        if (WantsEncoderThread(output))
            output.EncoderThread = std::make_unique<TEncoderThread>(codec);
        if (avcodec_parameters_from_context(output.Stream->codecpar, codec) < 0)
            throw FFmpegException(QStringLiteral("Could not alloc output stream"));
        output.Stream->time_base = codec->time_base;
        if (output.Kind == TStreamKind::Video) {
            output.Stream->avg_frame_rate = output.FrameRate;
            output.Stream->r_frame_rate = output.FrameRate;
        }
        FGlobalHeaderBytes += codec->extradata_size;
        if (output.Kind == TStreamKind::Audio)
            output.Fifo.reset(
                av_audio_fifo_alloc(codec->sample_fmt, codec->ch_layout.nb_channels, 1024));
    }
    // Bitstream filters, now that every stream's parameters are final.
    for (TOutputStream& output : FOutputStreams) {
        for (const QString& spec : output.BitstreamFilterSpecs) {
            const QString name = spec.section(QLatin1Char('='), 0, 0);
            const AVBitStreamFilter* filter = av_bsf_get_by_name(name.toUtf8().constData());
            AVBSFContext* raw = nullptr;
            if (filter == nullptr || av_bsf_alloc(filter, &raw) < 0)
                throw FFmpegException(QStringLiteral("Unknown bitstream filter %1").arg(name));
            ffmpeg::BsfPtr context(raw);
            const AVCodecParameters* in = output.BitstreamFilters.empty()
                                              ? output.Stream->codecpar
                                              : output.BitstreamFilters.back()->par_out;
            avcodec_parameters_copy(context->par_in, in);
            context->time_base_in = output.BitstreamFilters.empty()
                                        ? output.Stream->time_base
                                        : output.BitstreamFilters.back()->time_base_out;
            const QString arguments = spec.section(QLatin1Char('='), 1);
            if (!arguments.isEmpty())
                av_set_options_string(context->priv_data, arguments.toUtf8().constData(), "=", ":");
            const int result = av_bsf_init(context.get());
            if (result < 0)
                throw FFmpegException(QStringLiteral("%1 failed for stream %2, codec %3: %4")
                                          .arg(name)
                                          .arg(output.Index)
                                          .arg(output.Copy
                                                   ? QStringLiteral("copy")
                                                   : QString::fromUtf8(output.Encoder->name),
                                               engine::ErrorText(result)));
            output.BitstreamFilters.push_back(std::move(context));
        }
        if (!output.BitstreamFilters.empty())
            avcodec_parameters_copy(output.Stream->codecpar,
                                    output.BitstreamFilters.back()->par_out);
    }
}

void TCustomFFmpeg::OpenDecoders() {
    for (size_t i = 0; i < FInputStreams.size(); ++i) {
        TInputStream& input = FInputStreams[i];
        if (!input.DecodingNeeded)
            continue;
        const TInputFile& file = FInputFiles[input.FileIndex];
        const QString where = QStringLiteral("input stream #%1.%2 (%3)")
                                  .arg(input.FileIndex)
                                  .arg(input.Stream->index)
                                  .arg(KindName(input.Stream->codecpar->codec_type));
        if (input.Decoder == nullptr)
            throw FFmpegException(QStringLiteral("Decoder (codec id %1) not found for %2")
                                      .arg(input.Stream->codecpar->codec_id)
                                      .arg(where));
        ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(input.Decoder));
        if (!decoder || avcodec_parameters_to_context(decoder.get(), input.Stream->codecpar) < 0)
            throw FFmpegException(QStringLiteral("Error while opening decoder for %1").arg(where));
        decoder->pkt_timebase = input.Stream->time_base;
        if (FSettings.ThreadCount == kAutomaticThreads) {
            // Frame and slice threads decode to the same pictures as one thread does.
            decoder->thread_count = AutomaticThreads;
            decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
            Log(llVerbose,
                QStringLiteral("Threads of %1: %2 (automatic)").arg(where).arg(AutomaticThreads));
        } else {
            decoder->thread_count = FSettings.ThreadCount;
        }
        if (file.DecoderOptions)
            file.DecoderOptions->ApplyTo(decoder.get(), false);
        if (avcodec_open2(decoder.get(), input.Decoder, nullptr) < 0)
            throw FFmpegException(QStringLiteral("Error while opening decoder for %1").arg(where));
        input.DecoderContext = std::move(decoder);
    }
}

void TCustomFFmpeg::CopyMetadataAndChapters() {
    for (const TMetadataMap& map : FSettings.MetadataMaps) {
        const auto invalid = [](const char* what, int index) {
            return FFmpegException(
                QStringLiteral("Invalid %1 index %2 while processing metadata maps")
                    .arg(QLatin1String(what))
                    .arg(index));
        };
        if (map.Output.File < 0 || map.Output.File >= OutputFileCount())
            throw invalid("output file", map.Output.File);
        if (map.Input.File < 0 || map.Input.File >= InputFileCount())
            throw invalid("input file", map.Input.File);
        auto dictionary = [&](AVFormatContext* context,
                              const TMetadataSpecifier& side) -> AVDictionary** {
            switch (side.Type) {
            case 's':
                if (side.Index < 0 || side.Index >= int(context->nb_streams))
                    throw invalid("stream", side.Index);
                return &context->streams[side.Index]->metadata;
            case 'c':
                if (side.Index < 0 || side.Index >= int(context->nb_chapters))
                    throw invalid("chapter", side.Index);
                return &context->chapters[side.Index]->metadata;
            case 'p':
                if (side.Index < 0 || side.Index >= int(context->nb_programs))
                    throw invalid("program", side.Index);
                return &context->programs[side.Index]->metadata;
            default: return &context->metadata;
            }
        };
        AVDictionary** target = dictionary(FOutputFiles[map.Output.File].Context.get(), map.Output);
        AVDictionary** from = dictionary(FInputFiles[map.Input.File].Context.get(), map.Input);
        av_dict_copy(target, *from, AV_DICT_DONT_OVERWRITE);
    }
    if (FSettings.CopyGlobalMetadata && !FInputFiles.empty()) {
        for (TOutputFile& output : FOutputFiles)
            av_dict_copy(&output.Context->metadata, FInputFiles.front().Context->metadata,
                         AV_DICT_DONT_OVERWRITE);
    }
    for (const TChapterMap& map : FSettings.ChapterMaps) {
        if (map.InputFile < 0 || map.InputFile >= InputFileCount())
            throw FFmpegException(QStringLiteral("Invalid input file index %1 in chapter mapping.")
                                      .arg(map.InputFile));
        if (map.OutputFile < 0 || map.OutputFile >= OutputFileCount())
            throw FFmpegException(QStringLiteral("Invalid output file index %1 in chapter mapping.")
                                      .arg(map.OutputFile));
        CopyChapters(FInputFiles[map.InputFile], FOutputFiles[map.OutputFile]);
    }
    if (FSettings.ChapterMaps.isEmpty() && FSettings.CopyChapters) {
        for (const TInputFile& input : FInputFiles) {
            if (input.Context->nb_chapters == 0)
                continue;
            for (TOutputFile& output : FOutputFiles)
                CopyChapters(input, output);
            break;
        }
    }
}

void TCustomFFmpeg::CopyChapters(const TInputFile& input, TOutputFile& output) {
    AVFormatContext* to = output.Context.get();
    const int64_t start = FRunStartTime;
    const int64_t end =
        FSettings.RecordingTime == INT64_MAX ? INT64_MAX : start + FSettings.RecordingTime;
    for (unsigned i = 0; i < input.Context->nb_chapters; ++i) {
        const AVChapter* in = input.Context->chapters[i];
        const int64_t offset = av_rescale_q(input.TimestampOffset, AV_TIME_BASE_Q, in->time_base);
        const int64_t startTicks = av_rescale_q(start, AV_TIME_BASE_Q, in->time_base);
        const int64_t endTicks =
            end == INT64_MAX ? INT64_MAX : av_rescale_q(end, AV_TIME_BASE_Q, in->time_base);
        if (in->end < startTicks - offset)
            continue;
        if (endTicks != INT64_MAX && in->start > endTicks - offset)
            break;
        ffmpeg::ChapterPtr chapter(static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter))));
        if (!chapter)
            throw std::bad_alloc();
        chapter->id = in->id;
        chapter->time_base = in->time_base;
        chapter->start = std::max<int64_t>(0, in->start - startTicks + offset);
        chapter->end = endTicks == INT64_MAX
                           ? in->end - startTicks + offset
                           : std::min(endTicks - startTicks, in->end - startTicks + offset);
        av_dict_copy(&chapter->metadata, in->metadata, 0);
        AVChapter** grown = static_cast<AVChapter**>(
            av_realloc_array(to->chapters, to->nb_chapters + 1, sizeof(AVChapter*)));
        if (grown == nullptr)
            throw std::bad_alloc();
        to->chapters = grown;
        to->chapters[to->nb_chapters++] = chapter.release(); // the context's from here on
    }
}

void TCustomFFmpeg::WriteHeaders() {
    for (size_t f = 0; f < FOutputFiles.size(); ++f) {
        TOutputFile& file = FOutputFiles[f];
        if (avformat_write_header(file.Context.get(), nullptr) < 0) {
            const QString text =
                QStringLiteral("Could not write header for output file #%1 (incorrect codec "
                               "parameters ?)")
                    .arg(f);
            Log(llError, text);
            throw FFmpegException(text);
        }
        file.HeaderWritten = true;
    }
}

void TCustomFFmpeg::LogStreamMapping() {
    if (FSettings.Verbosity < 0)
        return;
    Log(llVerbose, QStringLiteral("Stream mapping:"));
    for (const TOutputStream& output : FOutputStreams) {
        const TInputStream& input = FInputStreams[output.SourceIndex];
        QString line = QStringLiteral("  Stream #%1.%2 -> #%3.%4 (%5)")
                           .arg(input.FileIndex)
                           .arg(input.Stream->index)
                           .arg(output.FileIndex)
                           .arg(output.Index)
                           .arg(KindName(MediaType(output.Kind)));
        if (output.SyncIndex != output.SourceIndex && output.SyncIndex >= 0) {
            const TInputStream& sync = FInputStreams[output.SyncIndex];
            line += QStringLiteral(" [sync #%1.%2 (%3)]")
                        .arg(sync.FileIndex)
                        .arg(sync.Stream->index)
                        .arg(KindName(sync.Stream->codecpar->codec_type));
        }
        Log(llVerbose, line);
    }
}
