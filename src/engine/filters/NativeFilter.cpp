#include "engine/filters/NativeFilter.h"

#include "engine/filters/NativeFilterKinds.h"

#include <QStringList>

#include <algorithm>
#include <atomic>

extern "C" {
#include <libavutil/frame.h>
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
    AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,  AV_PIX_FMT_YUV410P,
    AV_PIX_FMT_YUV411P,  AV_PIX_FMT_YUV440P,  AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
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

TNativeFilter::TNativeFilter(TNativeFilterKind kind)
    : FLog{kind == TNativeFilterKind::Eq ? &kEqClass : &kHueClass}, FKind(kind),
      FFirst{std::make_shared<TLiveCell>(0), kind == TNativeFilterKind::Eq ? "brightness" : "hue"},
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

void TNativeFilter::Filter(AVFrame* frame) {
    const int first = Checked(FFirst);
    const int second = Checked(FSecond);
    if (first != FReportedFirst || second != FReportedSecond)
        LogValues(first, second);
    // Both 0 leaves the picture as it is: the brightness formula would lower every sample by 1.
    if (FProcessing && (first != 0 || second != 0))
        Process(frame, first, second);
}
