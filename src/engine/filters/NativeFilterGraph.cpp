#include "engine/filters/NativeFilterGraph.h"

#include "engine/filters/NativeFilterText.h"

#include <QStringList>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace {

// Puts an open end named `label` at the front of `list`.
bool AddEnd(ffmpeg::FilterInOutPtr& list, const QString& label, AVFilterContext* filter) {
    ffmpeg::FilterInOutPtr end(avfilter_inout_alloc());
    if (!end)
        return false;
    end->name = av_strdup(label.toUtf8().constData());
    end->filter_ctx = filter;
    end->pad_idx = 0;
    if (end->name == nullptr)
        return false;
    end->next = list.release();
    list = std::move(end);
    return true;
}

AVFilterContext* CreateFilter(AVFilterGraph* graph, const char* filter, const QString& name,
                              const QString& args) {
    AVFilterContext* context = nullptr;
    if (avfilter_graph_create_filter(
            &context, avfilter_get_by_name(filter), name.toUtf8().constData(),
            args.isEmpty() ? nullptr : args.toUtf8().constData(), nullptr, graph) < 0)
        return nullptr;
    return context;
}

QString AcceptedFormats() {
    QStringList names;
    for (const AVPixelFormat format : kNativeFilterFormats)
        names << QLatin1String(av_get_pix_fmt_name(format));
    return QStringLiteral("pix_fmts=") + names.join(QLatin1Char('|'));
}

bool SameRational(AVRational a, AVRational b) {
    return av_cmp_q(a, b) == 0;
}

} // namespace

TNativeFilterGraph::TNativeFilterGraph(const QString& text) {
    TSplicedGraphText spliced = SpliceNativeFilters(text);
    FText = std::move(spliced.Text);
    for (const TNativeFilterUse& use : spliced.Uses) {
        TStage stage;
        stage.Filter = TNativeFilter::Create(use.Kind, use.Parameters);
        if (!stage.Filter) {
            FFailed = true;
            return;
        }
        FStages.push_back(std::move(stage));
    }
}

bool TNativeFilterGraph::AddStandIns(AVFilterGraph* graph, ffmpeg::FilterInOutPtr& inputs,
                                     ffmpeg::FilterInOutPtr& outputs) {
    const QString formats = AcceptedFormats();
    for (size_t i = 0; i < FStages.size(); ++i) {
        TStage& stage = FStages[i];
        stage.StandIn =
            CreateFilter(graph, "format", QStringLiteral("rc_native_%1").arg(i), formats);
        if (stage.StandIn == nullptr || !AddEnd(inputs, NativeFilterInLabel(i), stage.StandIn) ||
            !AddEnd(outputs, NativeFilterOutLabel(i), stage.StandIn))
            return false;
    }
    return true;
}

void TNativeFilterGraph::Settle() {
    for (TStage& stage : FStages) {
        const AVFilterLink* link = stage.StandIn->outputs[0];
        stage.Width = link->w;
        stage.Height = link->h;
        stage.Format = link->format;
        stage.TimeBase = link->time_base;
        stage.Aspect = link->sample_aspect_ratio;
        stage.FrameRate = link->frame_rate;
        stage.StandIn = nullptr; // freed with the first pass's graph
    }
}

bool TNativeFilterGraph::AddBridges(AVFilterGraph* graph, ffmpeg::FilterInOutPtr& inputs,
                                    ffmpeg::FilterInOutPtr& outputs) {
    for (size_t i = 0; i < FStages.size(); ++i) {
        TStage& stage = FStages[i];
        QString args = QString::asprintf(
            "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", stage.Width,
            stage.Height, stage.Format, stage.TimeBase.num, stage.TimeBase.den, stage.Aspect.num,
            stage.Aspect.den > 0 ? stage.Aspect.den : 1);
        if (stage.FrameRate.num > 0 && stage.FrameRate.den > 0)
            args +=
                QString::asprintf(":frame_rate=%d/%d", stage.FrameRate.num, stage.FrameRate.den);
        stage.Source =
            CreateFilter(graph, "buffer", QStringLiteral("rc_native_%1_source").arg(i), args);
        stage.Sink = CreateFilter(graph, "buffersink", QStringLiteral("rc_native_%1_sink").arg(i),
                                  QString());
        const AVPixelFormat formats[] = {static_cast<AVPixelFormat>(stage.Format), AV_PIX_FMT_NONE};
        if (stage.Source == nullptr || stage.Sink == nullptr ||
            av_opt_set_int_list(stage.Sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                                AV_OPT_SEARCH_CHILDREN) < 0 ||
            !AddEnd(inputs, NativeFilterInLabel(i), stage.Sink) ||
            !AddEnd(outputs, NativeFilterOutLabel(i), stage.Source))
            return false;
        stage.Ended = false;
    }
    return true;
}

bool TNativeFilterGraph::BridgesMatch() const {
    for (const TStage& stage : FStages) {
        if (av_buffersink_get_w(stage.Sink) != stage.Width ||
            av_buffersink_get_h(stage.Sink) != stage.Height ||
            av_buffersink_get_format(stage.Sink) != stage.Format ||
            !SameRational(av_buffersink_get_time_base(stage.Sink), stage.TimeBase))
            return false;
    }
    return true;
}

bool TNativeFilterGraph::Pump() {
    if (!FFrame) {
        FFrame = ffmpeg::MakeFrame();
        if (!FFrame)
            return false;
    }
    // Stages may feed one another in any order the text gives: round again until none moves.
    for (bool moved = true; moved;) {
        moved = false;
        for (TStage& stage : FStages) {
            while (!stage.Ended) {
                const int result = av_buffersink_get_frame(stage.Sink, FFrame.get());
                if (result == AVERROR(EAGAIN))
                    break;
                moved = true;
                if (result == AVERROR_EOF) {
                    stage.Ended = true;
                    if (av_buffersrc_add_frame(stage.Source, nullptr) < 0)
                        return false;
                    break;
                }
                if (result < 0 || !stage.Filter->Filter(FFrame.get()) ||
                    av_buffersrc_add_frame(stage.Source, FFrame.get()) < 0)
                    return false;
            }
        }
    }
    return true;
}
