// The video filter graph of an output stream: buffer source "src", the deinterlacer when asked
// for, the picture turned upright and made of square pixels (as it is meant to be seen), an
// optional scale to the size the filter text was made for, the text between "in" and "out",
// an optional scale to the encoder's size, and the sink "out". Where the text names the engine's
// own filters, they work between a sink and a source of their own (TNativeFilterGraph).

#include "engine/transcoder/FFmpeg.h"

#include "engine/FFLog.h"
#include "engine/FFmpegException.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

namespace {

// A filter of `graph` fed by `after` (none: linked later); null when it cannot be made.
AVFilterContext* AddFilter(AVFilterGraph* graph, AVFilterContext* after, const char* filter,
                           const QString& args, const QString& name) {
    AVFilterContext* context = nullptr;
    if (avfilter_graph_create_filter(&context, avfilter_get_by_name(filter),
                                     name.toUtf8().constData(), args.toUtf8().constData(), nullptr,
                                     graph) < 0)
        return nullptr;
    if (after != nullptr && avfilter_link(after, 0, context, 0) < 0)
        return nullptr;
    return context;
}

AVFilterContext* AddScale(AVFilterGraph* graph, AVFilterContext* after, int width, int height,
                          const char* name) {
    return AddFilter(graph, after, "scale", QStringLiteral("%1:%2").arg(width).arg(height),
                     QLatin1String(name));
}

} // namespace

void TCustomFFmpeg::ConfigureVideoFilter(TOutputStream& output, int width, int height, int format,
                                         AVRational sampleAspect) {
    AVCodecContext* codec = output.EncoderContext.get();
    const bool rebuild = output.Filter.Graph != nullptr;
    const QString failure = output.FilterText.isEmpty()
                                ? QStringLiteral("Error opening filters!")
                                : QStringLiteral("Error opening filters: ") + output.FilterText;

    // The engine's own filters need the graph built twice: see TNativeFilterGraph.
    auto natives = std::make_unique<TNativeFilterGraph>(output.FilterText);
    if (natives->Failed())
        throw FFmpegException(failure);
    int designWidth = 0, designHeight = 0;
    const auto build = [&](bool standIns) {
        TVideoFilter filter;
        filter.Graph.reset(avfilter_graph_alloc());
        if (!filter.Graph)
            throw FFmpegException(failure);
        AVFilterGraph* graph = filter.Graph.get();
        graph->scale_sws_opts =
            av_strdup(QString::asprintf("flags=0x%X", output.ScalerFlags).toUtf8().constData());

        const QByteArray sourceArgs =
            QString::asprintf("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d",
                              width, height, format, AV_TIME_BASE, sampleAspect.num,
                              sampleAspect.den > 0 ? sampleAspect.den : 1)
                .toUtf8();
        const AVPixelFormat sinkFormats[] = {codec->pix_fmt, AV_PIX_FMT_NONE};
        if (avfilter_graph_create_filter(&filter.Source, avfilter_get_by_name("buffer"), "src",
                                         sourceArgs.constData(), nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&filter.Sink, avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph) < 0 ||
            av_opt_set_int_list(filter.Sink, "pix_fmts", sinkFormats, AV_PIX_FMT_NONE,
                                AV_OPT_SEARCH_CHILDREN) < 0)
            throw FFmpegException(failure);

        AVFilterContext* last = filter.Source;
        const auto then = [&](const char* name, const QString& args, const QString& instance) {
            last = AddFilter(graph, last, name, args, instance);
            if (last == nullptr)
                throw FFmpegException(failure);
        };
        // Fields are rows of the stored picture: deinterlacing comes before any turn.
        if (FSettings.Deinterlace) {
            // Every picture: the first field kept, the second interpolated from it.
            then("yadif", QStringLiteral("mode=send_frame:parity=auto:deint=all"),
                 QStringLiteral("deinterlace"));
        }
        // The picture as it is meant to be seen: its stream's rotation and pixel aspect applied.
        QSize shown;
        if (!AddUprightFilters(graph, last, FInputStreams[output.SourceIndex].Shown, width, height,
                               sampleAspect, &shown))
            throw FFmpegException(failure);
        // The text was written for the size the first graph gave it; later pictures of another
        // size are scaled to that first, and the result to the encoder's size.
        designWidth =
            rebuild ? output.Filter.DesignWidth : (codec->width > 0 ? codec->width : shown.width());
        designHeight = rebuild ? output.Filter.DesignHeight
                               : (codec->height > 0 ? codec->height : shown.height());
        if (designWidth != shown.width() || designHeight != shown.height())
            then("scale", QStringLiteral("%1:%2").arg(designWidth).arg(designHeight),
                 QStringLiteral("scale_in"));
        AVFilterContext* end = filter.Sink;
        if (rebuild && (codec->width != output.Filter.SinkWidth ||
                        codec->height != output.Filter.SinkHeight)) {
            end = AddScale(graph, nullptr, codec->width, codec->height, "scale_out");
            if (end == nullptr || avfilter_link(end, 0, filter.Sink, 0) < 0)
                throw FFmpegException(failure);
        }

        if (output.FilterText.isEmpty()) {
            if (avfilter_link(last, 0, end, 0) < 0)
                throw FFmpegException(failure);
        } else {
            ffmpeg::FilterInOutPtr outputs(avfilter_inout_alloc());
            ffmpeg::FilterInOutPtr inputs(avfilter_inout_alloc());
            if (!outputs || !inputs)
                throw FFmpegException(failure);
            outputs->name = av_strdup("in");
            outputs->filter_ctx = last;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = end;
            if (!natives->Empty() && !(standIns ? natives->AddStandIns(graph, inputs, outputs)
                                                : natives->AddBridges(graph, inputs, outputs)))
                throw FFmpegException(failure);
            AVFilterInOut* rawInputs = inputs.release();
            AVFilterInOut* rawOutputs = outputs.release();
            const int parsed = avfilter_graph_parse_ptr(graph, natives->Text().toUtf8().constData(),
                                                        &rawInputs, &rawOutputs, nullptr);
            inputs.reset(rawInputs);
            outputs.reset(rawOutputs);
            if (parsed < 0)
                throw FFmpegException(failure);
        }
        if (avfilter_graph_config(graph, nullptr) < 0)
            throw FFmpegException(failure);
        return filter;
    };
    if (!natives->Empty()) {
        // Settle reads the stand-ins, which go with this first graph.
        const TVideoFilter firstPass = build(true);
        natives->Settle();
    }
    TVideoFilter filter = build(false);
    if (!natives->Empty()) {
        if (!natives->BridgesMatch())
            throw FFmpegException(failure);
        filter.Natives = std::move(natives);
    }

    filter.Width = width;
    filter.Height = height;
    filter.Format = format;
    filter.DesignWidth = designWidth;
    filter.DesignHeight = designHeight;
    if (!rebuild) {
        codec->width = av_buffersink_get_w(filter.Sink);
        codec->height = av_buffersink_get_h(filter.Sink);
        if (output.FrameAspectRatio <= 0)
            codec->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(filter.Sink);
    }
    filter.SinkWidth = av_buffersink_get_w(filter.Sink);
    filter.SinkHeight = av_buffersink_get_h(filter.Sink);
    output.Filter = std::move(filter);
}

void TCustomFFmpeg::PushToFilter(TOutputStream& output, AVFrame* frame) {
    TVideoFilter& filter = output.Filter;
    if (frame == nullptr && filter.Width == 0)
        return; // already at its end
    if (frame != nullptr && (frame->width != filter.Width || frame->height != filter.Height ||
                             frame->format != filter.Format)) {
        ConfigureVideoFilter(output, frame->width, frame->height, frame->format,
                             frame->sample_aspect_ratio);
    }
    if (output.Filter.Source == nullptr)
        return; // flushed already, and no picture since
    if (av_buffersrc_add_frame_flags(output.Filter.Source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
        (output.Filter.Natives && !output.Filter.Natives->Pump()))
        throw FFmpegException(QStringLiteral("Error while filtering"));
    if (frame == nullptr)
        filter.Width = filter.Height = 0; // a later picture (the next joined input) rebuilds it
}

bool TCustomFFmpeg::PullFromFilter(TOutputStream& output, AVFrame* frame) {
    const int result = av_buffersink_get_frame(output.Filter.Sink, frame);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
        return false;
    if (result < 0)
        throw FFmpegException(QStringLiteral("Error while filtering"));
    if (frame->pts != AV_NOPTS_VALUE)
        frame->pts = av_rescale_q(frame->pts, av_buffersink_get_time_base(output.Filter.Sink),
                                  AV_TIME_BASE_Q);
    return true;
}
