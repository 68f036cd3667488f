// The transcoding loop: which input to read next, packet timestamps, the recording time, join
// mode, progress reports and the end of the run.

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

#include <cmath>

extern "C" {
#include <libavutil/time.h>
}

int TCustomFFmpeg::ChooseInputFile(bool* atFrameLimit) const {
    *atFrameLimit = false;
    if (FJoin) {
        for (const TOutputStream& output : FOutputStreams) {
            if (output.FrameCount >= FSettings.MaxFrames[static_cast<int>(output.Kind)]) {
                *atFrameLimit = true;
                return -1;
            }
        }
        const TInputFile& file = FInputFiles[FJoinFile];
        return file.AtEnd || file.NoPacketNow ? -1 : FJoinFile;
    }
    int chosen = -1;
    double best = HUGE_VAL;
    for (const TOutputStream& output : FOutputStreams) {
        const TInputStream& input = FInputStreams[output.SourceIndex];
        const TInputFile& file = FInputFiles[input.FileIndex];
        if (input.PastRecordingTime || file.NoPacketNow)
            continue;
        if (output.FrameCount >= FSettings.MaxFrames[static_cast<int>(output.Kind)]) {
            *atFrameLimit = true;
            return -1;
        }
        if (file.AtEnd)
            continue;
        const double time = FSettings.InputSync ? input.Pts / 1e6 : output.OutputTime / 1e6;
        if (time < best) {
            best = time;
            chosen = input.FileIndex;
        }
    }
    return chosen;
}

void TCustomFFmpeg::CorrectTimestamps(TInputFile& file, TInputStream& input, AVPacket* packet) {
    const AVRational timeBase = input.Stream->time_base;
    const int64_t offset = av_rescale_q(file.TimestampOffset, AV_TIME_BASE_Q, timeBase);
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += offset;
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += offset;
    const double scale = file.TimestampScales.value(input.Stream->index, 0.0);
    if (scale != 0.0) {
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts = std::llround(packet->dts * scale);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts = std::llround(packet->pts * scale);
    }
    if ((file.Context->iformat->flags & AVFMT_TS_DISCONT) && packet->dts != AV_NOPTS_VALUE &&
        input.NextPts != AV_NOPTS_VALUE && !FSettings.CopyTimestamps) {
        const int64_t dts = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
        const int64_t delta = dts - input.NextPts;
        if (std::llabs(delta) > int64_t(FSettings.DtsDeltaThreshold * AV_TIME_BASE) ||
            dts + 1 < input.Pts) {
            file.TimestampOffset -= delta;
            const int64_t shift = av_rescale_q(delta, AV_TIME_BASE_Q, timeBase);
            packet->dts -= shift;
            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts -= shift;
            if (FSettings.Verbosity > 2)
                Log(llVerbose, QStringLiteral("timestamp discontinuity %1, new offset= %2")
                                   .arg(delta)
                                   .arg(file.TimestampOffset));
        }
    }
}

// True when the packet lies at or after the end of the recording time.
bool TCustomFFmpeg::PastRecordingTime(TInputStream& input, const AVPacket* packet) {
    if (FSettings.RecordingTime == INT64_MAX)
        return false;
    const AVRational timeBase = input.Stream->time_base;
    int64_t position = AV_NOPTS_VALUE;
    if (packet->pts != AV_NOPTS_VALUE)
        position = av_rescale_q(packet->pts, timeBase, AV_TIME_BASE_Q);
    else if (input.Pts != AV_NOPTS_VALUE)
        position = input.Pts;
    else if (packet->dts != AV_NOPTS_VALUE)
        position = av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
    if (position == AV_NOPTS_VALUE) {
        Log(llDebug, QStringLiteral("no timestamp information to check whether recording time "
                                    "exhausted or not."));
        return false;
    }
    if (position < FRunStartTime + FSettings.RecordingTime)
        return false;
    input.PastRecordingTime = true;
    return true;
}

void TCustomFFmpeg::FlushInput(int inputIndex) {
    TInputStream& input = FInputStreams[inputIndex];
    if (!input.DecodingNeeded || input.Flushed)
        return;
    ProcessPacket(inputIndex, nullptr);
    if (FFiltersVideo && input.Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        OutputVideo(inputIndex, nullptr);
    avcodec_flush_buffers(input.DecoderContext.get());
    input.Flushed = true;
}

bool TCustomFFmpeg::NextJoinSegment() {
    const TInputFile& file = FInputFiles[FJoinFile];
    for (int s = 0; s < file.StreamCount; ++s)
        FlushInput(file.FirstStream + s);
    if (FJoinFile + 1 >= InputFileCount())
        return false;
    int64_t reached = 0;
    for (const TOutputStream& output : FOutputStreams)
        reached = std::max(reached, output.OutputTime);
    ++FJoinFile;
    FInputFiles[FJoinFile].TimestampOffset += reached;
    for (TOutputStream& output : FOutputStreams) {
        const int source =
            FJoinFile < output.JoinSources.size() ? output.JoinSources[FJoinFile] : -1;
        output.SourceIndex = source >= 0 ? source : output.SourceIndex;
        output.SyncIndex = output.SourceIndex;
    }
    return true;
}

void TCustomFFmpeg::RunLoop() {
    FRunWallStart = av_gettime_relative();
    FLastReport = FRunWallStart;
    FDecodedFrame = ffmpeg::MakeFrame();
    FFilteredFrame = ffmpeg::MakeFrame();
    FEncodedPacket = ffmpeg::MakePacket();
    ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
    if (!FDecodedFrame || !FFilteredFrame || !FEncodedPacket || !packet)
        throw std::bad_alloc();
    FVideoInputHookOn = true;
    FVideoOutputHookOn = true;

    bool endedByLimit = false; // a frame, size or "shortest" limit, not the inputs' end
    while (!FStopRequested) {
        WaitWhilePaused();
        if (FStopRequested)
            break;
        bool atFrameLimit = false;
        const int fileIndex = ChooseInputFile(&atFrameLimit);
        if (fileIndex < 0) {
            if (atFrameLimit) {
                endedByLimit = true;
                break;
            }
            if (FJoin && FInputFiles[FJoinFile].AtEnd) {
                if (!NextJoinSegment())
                    break;
                continue;
            }
            bool anyWaiting = false;
            for (TInputFile& file : FInputFiles) {
                anyWaiting = anyWaiting || file.NoPacketNow;
                file.NoPacketNow = false;
            }
            if (!anyWaiting)
                break;
            av_usleep(10000);
            continue;
        }
        if (FSettings.FileSizeLimit > 0 && OutputSize() >= FSettings.FileSizeLimit) {
            endedByLimit = true;
            break;
        }

        TInputFile& file = FInputFiles[fileIndex];
        FCurrentInput = fileIndex;
        FReadingInput = true;
        const int result = av_read_frame(file.Context.get(), packet.get());
        FReadingInput = false;
        if (result == AVERROR(EAGAIN)) {
            file.NoPacketNow = true;
            continue;
        }
        if (result < 0) {
            // The end of the input, or a damaged end the demuxer gives up on; a failing read
            // is an error of its own.
            const AVIOContext* io = file.Context->pb;
            if (io != nullptr && io->error < 0 && io->error != AVERROR_EOF)
                throw FFmpegException(QStringLiteral("%1: %2").arg(
                    QString::fromUtf8(file.Context->url), engine::ErrorText(io->error)));
            file.AtEnd = true;
            if (FSettings.Shortest && !FJoin) {
                endedByLimit = true;
                break;
            }
            continue;
        }
        for (TInputFile& other : FInputFiles)
            other.NoPacketNow = false;
        if (FSettings.PacketDump || FSettings.HexDump)
            av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), FSettings.HexDump,
                             file.Context->streams[packet->stream_index]);

        const int inputIndex = file.FirstStream + packet->stream_index;
        if (packet->stream_index >= file.StreamCount || !FInputStreams[inputIndex].Selected) {
            av_packet_unref(packet.get());
            continue;
        }
        TInputStream& input = FInputStreams[inputIndex];
        CorrectTimestamps(file, input, packet.get());
        if (PastRecordingTime(input, packet.get())) {
            av_packet_unref(packet.get());
            continue;
        }
        ProcessPacket(inputIndex, packet.get());
        av_packet_unref(packet.get());

        const int64_t now = av_gettime_relative();
        if (now - FLastReport >= ProgressInterval) {
            FLastReport = now;
            ReportProgress(false);
        }
    }

    // A stopped run's outputs are thrown away: nothing more is worth writing.
    if (FStopRequested)
        return;
    // From here on only reads of the decoders' and encoders' leftovers and the outputs' writes
    // remain: they run to the end, under the I/O time-out alone.
    InterruptCB().Remove(engine::CurrentThreadId(), this, &TCustomFFmpeg::StopRequestedCheck);
    for (size_t i = 0; i < FInputStreams.size(); ++i)
        FlushInput(static_cast<int>(i));
    FlushEncoders();
    FlushBitstreamFilters();
    for (size_t f = 0; f < FOutputFiles.size(); ++f) {
        TOutputFile& output = FOutputFiles[f];
        if (!output.HeaderWritten || (FJoin && f > 0))
            continue;
        TTimedIO timed(*this);
        const int written = av_write_trailer(output.Context.get());
        if (written < 0)
            throw FFmpegException(
                QStringLiteral("av_interleaved_write_frame(): %1").arg(engine::ErrorText(written)));
    }
    CheckWhatWasConverted(endedByLimit);
    ReportProgress(true);
}

void TCustomFFmpeg::CheckWhatWasConverted(bool endedByLimit) {
    if (FPacketsWritten == 0) {
        for (const TInputFile& file : FInputFiles) {
            if (file.Duration != AV_NOPTS_VALUE && file.StartTime > 0 &&
                file.StartTime >= file.Duration)
                throw FFmpegException(QStringLiteral(
                    "nothing to convert: the clip starts after the end of the file"));
        }
        throw FFmpegException(QStringLiteral("nothing to convert"));
    }
    if (endedByLimit || FExpectedTotalDuration <= 0)
        return;
    int64_t converted = 0;
    for (const TOutputStream& output : FOutputStreams)
        converted = std::max(converted, output.OutputTime);
    // Streams end a frame or so apart: only what is clearly missing counts.
    const int64_t missing = FExpectedTotalDuration - converted;
    if (missing <= 1000000 || missing <= FExpectedTotalDuration / 50)
        return;
    const auto clock = [](int64_t microseconds) {
        const int64_t seconds = microseconds / 1000000;
        return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                                 static_cast<long long>(seconds / 60 % 60),
                                 static_cast<long long>(seconds % 60));
    };
    const QString notice = QStringLiteral("input ended at %1 of %2")
                               .arg(clock(converted), clock(FExpectedTotalDuration));
    Log(llWarning, notice);
    std::lock_guard lock(FControlLock);
    FEndNotice = notice;
}

int64_t TCustomFFmpeg::OutputSize() const {
    if (FOutputFiles.empty())
        return 0;
    AVIOContext* io = FOutputFiles.front().Context->pb;
    if (io == nullptr)
        return 0;
    const int64_t size = avio_size(io);
    return size >= 0 ? std::max(size, avio_tell(io)) : avio_tell(io);
}

void TCustomFFmpeg::ReportProgress(bool final) {
    // A report counts what the encoders have made of the frames handed to them so far.
    (void)DrainEncoderThreads();
    const int64_t totalSize = OutputSize();
    int64_t currentTime = INT64_MAX;
    const TOutputStream* firstVideo = nullptr;
    float quality = -1.0f;
    QString text;
    for (const TOutputStream& output : FOutputStreams) {
        currentTime = std::min(currentTime, output.OutputTime);
        if (output.Kind != TStreamKind::Video)
            continue;
        const float q = output.EncodingNeeded ? output.LastQuality : -1.0f;
        if (firstVideo == nullptr) {
            firstVideo = &output;
            quality = q;
        } else {
            text += QString::asprintf("q=%2.1f ", q);
        }
    }
    if (currentTime == INT64_MAX)
        currentTime = 0;
    int frameNumber = 0;
    int fps = 0;
    if (firstVideo != nullptr) {
        if (firstVideo->FrameCount == 0)
            return; // nothing to tell until a picture is out
        frameNumber = static_cast<int>(firstVideo->FrameCount);
        const double elapsed = (av_gettime_relative() - FRunWallStart) / 1e6;
        // The rate settles after a second; the final report tells it however short the run.
        if (elapsed > 1.0 || (final && elapsed > 0.0))
            fps = static_cast<int>(frameNumber / elapsed + 0.5);
        text = QString::asprintf("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality) + text;
        if (final)
            text += QStringLiteral("L");
    }
    const double bitRate = currentTime > 0 ? totalSize * 8.0 / (currentTime / 1000.0) : 0.0;
    if (!OnProgress && FSettings.Verbosity <= 0 && !final)
        return;

    const int64_t seconds = currentTime / AV_TIME_BASE;
    text += QString::asprintf("size=%8.0fkB time=%02d:%02d:%02d.%02d bitrate=%6.1fkbits/s",
                              totalSize / 1024.0, int(seconds / 3600), int(seconds / 60 % 60),
                              int(seconds % 60), int(currentTime % AV_TIME_BASE / 10000), bitRate);
    if (FFramesDuplicated != 0 || FFramesDropped != 0)
        text += QString::asprintf(" dup=%lld drop=%lld", static_cast<long long>(FFramesDuplicated),
                                  static_cast<long long>(FFramesDropped));

    if (OnProgress) {
        TJobProgress progress;
        progress.FileIndex = final ? -1 : (FJoin ? FJoinFile : FCurrentInput);
        progress.TotalDuration = FExpectedTotalDuration;
        progress.CurrentDuration = currentTime;
        progress.TotalSize = totalSize;
        progress.BitRate = static_cast<float>(bitRate);
        progress.Quality = quality;
        progress.FPS = fps;
        progress.FrameNumber = frameNumber;
        OnProgress(*this, progress);
        if (FSettings.Verbosity >= 0 && FReportDupDrop)
            Log(llVerbose, text);
    } else if (FSettings.Verbosity >= 0) {
        Log(llVerbose, text);
    }
    FReportDupDrop = false;

    if (final && FSettings.Verbosity >= 0) {
        const double sum = double(FVideoBytes + FAudioBytes + FGlobalHeaderBytes);
        Log(llVerbose, QString::asprintf("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB "
                                         "muxing overhead %f%%\r\n",
                                         FVideoBytes / 1024.0, FAudioBytes / 1024.0,
                                         FGlobalHeaderBytes / 1024.0,
                                         sum > 0 ? (totalSize - sum) * 100.0 / sum : 0.0));
    }
}
