#pragma once

// The engine's own filters inside one libavfilter graph. The graph text is cut open where it
// names them (NativeFilterText.h); each such place gets a sink that collects the pictures and
// a source that takes them back after the filter has worked on them in place. Pump() moves
// them across; the caller calls it whenever it has fed the graph, on the graph's own thread.
//
// A source must be told its pictures' size, format and time base before the graph is
// configured, so a graph is built twice: first with a pass-through "format" filter (the
// formats the filters accept) standing in for each, which settles what reaches it, then with
// the sinks and sources told what settled.

#include "engine/FFmpegPtr.h"
#include "engine/filters/NativeFilter.h"

#include <QString>

#include <memory>
#include <vector>

class TNativeFilterGraph {
public:
    // Reads `text`; Failed() when it names one of the filters with parameters that cannot be
    // read (the reason is in the engine log).
    explicit TNativeFilterGraph(const QString& text);
    TNativeFilterGraph(TNativeFilterGraph&&) = default;
    TNativeFilterGraph& operator=(TNativeFilterGraph&&) = default;

    bool Failed() const { return FFailed; }
    // The text names none of the filters: build the graph from it as it is.
    bool Empty() const { return FStages.empty(); }
    // The text to parse: each filter replaced by its two open ends.
    const QString& Text() const { return FText; }

    // First pass: a stand-in for each filter in `graph`, its ends put on the lists that
    // avfilter_graph_parse_ptr links the text's labels to. False when one cannot be made.
    bool AddStandIns(AVFilterGraph* graph, ffmpeg::FilterInOutPtr& inputs,
                     ffmpeg::FilterInOutPtr& outputs);
    // After the first pass's graph is configured: what each stand-in passes on.
    void Settle();
    // Second pass: the sinks and sources, told what settled.
    bool AddBridges(AVFilterGraph* graph, ffmpeg::FilterInOutPtr& inputs,
                    ffmpeg::FilterInOutPtr& outputs);
    // After the second pass's graph is configured: each sink gives what its source expects.
    bool BridgesMatch() const;

    // Takes every picture waiting at a sink through its filter into its source, and an end
    // of stream likewise, until none moves. False when the graph fails.
    bool Pump();

private:
    struct TStage {
        std::unique_ptr<TNativeFilter> Filter;
        AVFilterContext* StandIn = nullptr;
        AVFilterContext* Sink = nullptr;
        AVFilterContext* Source = nullptr;
        // What reaches the filter, as the first pass settled it.
        int Width = 0, Height = 0, Format = -1;
        AVRational TimeBase{0, 1}, Aspect{0, 1}, FrameRate{0, 1};
        bool Ended = false;
    };

    QString FText;
    std::vector<TStage> FStages;
    ffmpeg::FramePtr FFrame; // the picture crossing a bridge
    bool FFailed = false;
};
