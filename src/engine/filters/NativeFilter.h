#pragma once

// The engine's own video filters, "nativeeq" (brightness and contrast of the luma) and
// "nativehue" (hue and saturation of the chroma): in place, integer arithmetic, on planar YUV
// pictures. An instance reads its two values through references at every picture, either its
// own storage or live values (LiveValues.h) that a caller changes while the graph runs.
//
// An instance lives on the thread that drives its graph; only the live values are shared.

#include "engine/FFmpegPtr.h"
#include "engine/filters/LiveValues.h"

#include <QString>

#include <array>
#include <memory>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

struct AVFrame;

enum class TNativeFilterKind { Eq, Hue };

// The names graph texts use, and the formats both filters work on, best first.
const char* NativeFilterName(TNativeFilterKind kind);
bool NativeFilterKindOf(const QString& name, TNativeFilterKind* kind);
extern const std::array<AVPixelFormat, 10> kNativeFilterFormats;

// Once per process, when the engine's libraries are loaded: from then on graph texts may name
// the two filters. Before, a text naming them fails as one naming an unknown filter does.
void RegisterNativeFilters();
bool NativeFiltersRegistered();

class TNativeFilter {
public:
    // An instance for `parameters` ("first:second:firstHandle:secondHandle", each optional).
    // Null when they cannot be read; the reason went to the engine log at error level.
    static std::unique_ptr<TNativeFilter> Create(TNativeFilterKind kind, const QString& parameters);
    virtual ~TNativeFilter() = default;
    TNativeFilter(const TNativeFilter&) = delete;
    TNativeFilter& operator=(const TNativeFilter&) = delete;

    // Checks the values (correcting and logging ones out of range, logging changed ones) and
    // changes the picture of `frame`, one of kNativeFilterFormats, unless both are 0: in place
    // when it is writable, else into new planes of its own while the planes it leaves alone
    // stay shared (no copy of a whole picture per frame). False when memory ran out.
    bool Filter(AVFrame* frame);

protected:
    // `changedPlanes`: a bit for each plane the filter writes.
    TNativeFilter(TNativeFilterKind kind, unsigned changedPlanes);
    // The work on one picture with both values already checked, not both 0: reads the planes
    // of `in` and writes the changed ones of `out` (the same frame when working in place).
    virtual void Process(const AVFrame* in, AVFrame* out, int first, int second) const = 0;

private:
    struct TValue {
        std::shared_ptr<TLiveCell> Cell; // own storage or a live value
        const char* Name;                // "brightness", "contrast", "hue", "saturation"
    };
    bool ReadParameters(const QString& parameters);
    int Checked(TValue& value);
    void LogValues(int first, int second);

    // A frame with new buffers for the changed planes and the others shared with `in`.
    ffmpeg::FramePtr FrameForChanges(const AVFrame* in);

    // av_log's context: its first member is the class that names the filter in log lines.
    struct TLogContext {
        const AVClass* Class;
    } FLog;
    const unsigned FChangedPlanes;
    struct TPlanePool {
        ffmpeg::BufferPoolPtr Pool;
        size_t Size = 0;
    };
    std::array<TPlanePool, 3> FPools; // the changed planes' buffers, reused frame after frame
    TValue FFirst, FSecond;
    int FReportedFirst = 0, FReportedSecond = 0;
    bool FProcessing = false; // a value was not 0 at the start, or one is live
};
