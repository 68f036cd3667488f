#include "engine/filters/NativeFilter.h"

#include "engine/filters/NativeFilterKinds.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdlib>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

AVClass LogClass(const char* name) {
    AVClass logClass{};
    logClass.class_name = name;
    logClass.item_name = av_default_item_name;
    logClass.version = LIBAVUTIL_VERSION_INT;
    return logClass;
}

const AVClass kEqClass = LogClass("nativeeq");
const AVClass kHueClass = LogClass("nativehue");

std::atomic<bool> registered{false};

// "first:second:firstHandle:rest": at most four fields, the last one all that is left.
QStringList ParameterFields(const QString& parameters) {
    QStringList fields;
    qsizetype from = 0;
    while (fields.size() < 3) {
        const qsizetype colon = parameters.indexOf(QLatin1Char(':'), from);
        if (colon < 0)
            break;
        fields << parameters.mid(from, colon - from).trimmed();
        from = colon + 1;
    }
    fields << parameters.mid(from).trimmed();
    return fields;
}

} // namespace

const std::array<AVPixelFormat, 10> kNativeFilterFormats = {
    AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,  AV_PIX_FMT_YUV410P,
    AV_PIX_FMT_YUV411P,  AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
    AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUVJ440P};

const char* NativeFilterName(TNativeFilterKind kind) {
    return kind == TNativeFilterKind::Eq ? "nativeeq" : "nativehue";
}

bool NativeFilterKindOf(const QString& name, TNativeFilterKind* kind) {
    for (const TNativeFilterKind candidate : {TNativeFilterKind::Eq, TNativeFilterKind::Hue}) {
        if (name == QLatin1String(NativeFilterName(candidate))) {
            *kind = candidate;
            return true;
        }
    }
    return false;
}

void RegisterNativeFilters() {
    registered.store(true);
}

bool NativeFiltersRegistered() {
    return registered.load();
}

TNativeFilter::TNativeFilter(TNativeFilterKind kind, unsigned changedPlanes)
    : FLog{kind == TNativeFilterKind::Eq ? &kEqClass : &kHueClass},
      FChangedPlanes(changedPlanes), FFirst{std::make_shared<TLiveCell>(0),
                                            kind == TNativeFilterKind::Eq ? "brightness" : "hue"},
      FSecond{std::make_shared<TLiveCell>(0),
              kind == TNativeFilterKind::Eq ? "contrast" : "saturation"} {}

std::unique_ptr<TNativeFilter> TNativeFilter::Create(TNativeFilterKind kind,
                                                     const QString& parameters) {
    std::unique_ptr<TNativeFilter> filter;
    if (kind == TNativeFilterKind::Eq)
        filter = std::make_unique<TNativeEq>();
    else
        filter = std::make_unique<TNativeHue>();
    if (!filter->ReadParameters(parameters))
        return nullptr;
    return filter;
}

bool TNativeFilter::ReadParameters(const QString& parameters) {
    const QStringList fields = ParameterFields(parameters);
    TValue* const values[] = {&FFirst, &FSecond};
    bool live = false;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& field = fields[i];
        if (field.isEmpty())
            continue;
        bool ok = false;
        const qint64 number = field.toLongLong(&ok, 10);
        if (!ok || (i < 2 && (number < INT32_MIN || number > INT32_MAX))) {
            const QByteArray message =
                QStringLiteral("'%1' is not a valid integer value").arg(field).toUtf8();
            av_log(&FLog, AV_LOG_ERROR, "failed to parsing parameters: %s\n", message.constData());
            return false;
        }
        TValue& value = *values[i % 2];
        if (i < 2) {
            value.Cell->store(static_cast<int32_t>(number));
        } else if (number != 0) {
            // A live value: named by the handle the engine gave out, never by an address.
            std::shared_ptr<TLiveCell> cell = FindLiveValue(number);
            if (!cell) {
                av_log(&FLog, AV_LOG_ERROR, "%lld is not a live value handle\n",
                       static_cast<long long>(number));
                return false;
            }
            value.Cell = std::move(cell);
            live = true;
        }
    }
    const int first = Checked(FFirst);
    const int second = Checked(FSecond);
    LogValues(first, second);
    FProcessing = live || first != 0 || second != 0;
    return true;
}

int TNativeFilter::Checked(TValue& value) {
    const int current = value.Cell->load(std::memory_order_relaxed);
    const int allowed = std::clamp(current, -100, 100);
    if (allowed != current) {
        // Written back, so that a caller reading its live value sees what is used.
        value.Cell->store(allowed, std::memory_order_relaxed);
        av_log(&FLog, AV_LOG_ERROR, "Invalid %s value %d, force to %d\n", value.Name, current,
               allowed);
    }
    return allowed;
}

void TNativeFilter::LogValues(int first, int second) {
    FReportedFirst = first;
    FReportedSecond = second;
    av_log(&FLog, AV_LOG_DEBUG, "%s:%d, %s:%d\n", FFirst.Name, first, FSecond.Name, second);
}

bool TNativeFilter::Filter(AVFrame* frame) {
    const int first = Checked(FFirst);
    const int second = Checked(FSecond);
    if (first != FReportedFirst || second != FReportedSecond)
        LogValues(first, second);
    // Both 0 leaves the picture as it is: the brightness formula would lower every sample by 1.
    if (!FProcessing || (first == 0 && second == 0))
        return true;
    if (av_frame_is_writable(frame)) {
        Process(frame, frame, first, second);
        return true;
    }
    ffmpeg::FramePtr changed = FrameForChanges(frame);
    if (!changed) {
        if (av_frame_make_writable(frame) < 0)
            return false;
        Process(frame, frame, first, second);
        return true;
    }
    Process(frame, changed.get(), first, second);
    av_frame_unref(frame);
    av_frame_move_ref(frame, changed.get());
    return true;
}

ffmpeg::FramePtr TNativeFilter::FrameForChanges(const AVFrame* in) {
    int shiftX = 0, shiftY = 0;
    if (in->nb_extended_buf > 0 ||
        av_pix_fmt_get_chroma_sub_sample(static_cast<AVPixelFormat>(in->format), &shiftX, &shiftY) <
            0)
        return nullptr;
    ffmpeg::FramePtr out = ffmpeg::MakeFrame();
    if (!out || av_frame_copy_props(out.get(), in) < 0)
        return nullptr;
    out->format = in->format;
    out->width = in->width;
    out->height = in->height;
    // The unchanged planes stay in `in`'s buffers: `out` holds references to all of them.
    int buffers = 0;
    for (; buffers < AV_NUM_DATA_POINTERS && in->buf[buffers] != nullptr; ++buffers) {
        out->buf[buffers] = av_buffer_ref(in->buf[buffers]);
        if (out->buf[buffers] == nullptr)
            return nullptr;
    }
    for (int plane = 0; plane < 3; ++plane) {
        out->data[plane] = in->data[plane];
        out->linesize[plane] = in->linesize[plane];
        if (!(FChangedPlanes & (1u << plane)))
            continue;
        const int rows = plane == 0 ? in->height : AV_CEIL_RSHIFT(in->height, shiftY);
        const size_t size = static_cast<size_t>(std::abs(in->linesize[plane])) * rows;
        TPlanePool& pool = FPools[plane];
        if (!pool.Pool || pool.Size != size) {
            pool.Pool.reset(av_buffer_pool_init(size, nullptr));
            pool.Size = size;
        }
        if (!pool.Pool || buffers >= AV_NUM_DATA_POINTERS || in->linesize[plane] < 0)
            return nullptr;
        out->buf[buffers] = av_buffer_pool_get(pool.Pool.get());
        if (out->buf[buffers] == nullptr)
            return nullptr;
        out->data[plane] = out->buf[buffers++]->data;
    }
    return out;
}
