#include "engine/FFLog.h"

#include "engine/FFUtils.h"
#include "engine/MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::string FormatV(const char* format, va_list args) {
    char small[2048];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return {};
    if (static_cast<size_t>(needed) < sizeof small)
        return std::string(small, static_cast<size_t>(needed));
    std::string large(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, args);
    large.resize(static_cast<size_t>(needed));
    return large;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

const char* ItemName(const AVClass* cls, void* context) {
    return cls->item_name ? cls->item_name(context) : av_default_item_name(context);
}

// "[parent @ 0x…] [name @ 0x…]" for a logging context (the parent part when it has one).
std::string ContextPrefix(void* context) {
    const AVClass* cls = *static_cast<const AVClass**>(context);
    if (cls == nullptr)
        return {};
    std::string prefix;
    if (cls->parent_log_context_offset != 0) {
        void* parent = *reinterpret_cast<void**>(static_cast<uint8_t*>(context) +
                                                 cls->parent_log_context_offset);
        if (parent != nullptr) {
            if (const AVClass* parentClass = *static_cast<const AVClass**>(parent))
                prefix = Format("[%s @ %p] ", ItemName(parentClass, parent), parent);
        }
    }
    prefix += Format("[%s @ %p]", ItemName(cls, context), context);
    return prefix;
}

// Process-wide state of the engine log. One lock guards the logger registration and the
// FFmpeg line assembly; it is never held while a line is delivered, because delivery may wait
// for the main thread, and the main thread may itself be logging through FFmpeg.
struct EngineLogState {
    std::mutex Lock;
    TFFLogger* Logger = nullptr;
    std::atomic<int> FFmpegLevel{AV_LOG_INFO};
    std::string LastText;
    int RepeatCount = 0;
    std::unordered_map<quint32, std::string> PendingByThread;

    ~EngineLogState() { FinalizeEngineLog(); }
};

EngineLogState& State() {
    static EngineLogState state;
    return state;
}

struct PendingLine {
    quint32 ThreadId;
    TLogLevel Level;
    QString Text;
};

// Hands one line to the registered logger's OnLog. `sender` null means the logger itself.
void FireOnLog(QObject* sender, const PendingLine& line) {
    EngineLogState& state = State();
    TLogEvent handler;
    QObject* logger = nullptr;
    {
        std::lock_guard lock(state.Lock);
        if (state.Logger == nullptr)
            return;
        handler = state.Logger->OnLog;
        logger = state.Logger;
    }
    if (handler)
        handler(sender ? sender : logger, line.ThreadId, line.Level, line.Text);
}

void Deliver(QObject* sender, const PendingLine& line, bool inMainThread) {
    if (inMainThread)
        engine::RunInMainThread([&] { FireOnLog(sender, line); });
    else
        FireOnLog(sender, line);
}

void FFmpegLogCallback(void* context, int level, const char* format, va_list args) {
    if (level >= 0)
        level &= 0xff; // strip FFmpeg's colour bits
    EngineLogState& state = State();
    if (level > state.FFmpegLevel.load(std::memory_order_relaxed))
        return;

    const quint32 threadId = engine::CurrentThreadId();
    const TLogLevel logLevel = FFmpegToLogLevel(level);
    std::vector<PendingLine> lines;
    bool inMainThread = true;
    {
        std::lock_guard lock(state.Lock);
        if (state.Logger == nullptr || !state.Logger->OnLog)
            return;
        inMainThread = state.Logger->TriggerEventInMainThread();

        std::string& pending = state.PendingByThread[threadId];
        std::string text;
        if (context != nullptr && pending.empty())
            text = ContextPrefix(context);
        bool missingArgument = false;
        if (std::string_view(format) == "%s") {
            va_list copy;
            va_copy(copy, args);
            missingArgument = va_arg(copy, const char*) == nullptr;
            va_end(copy);
        }
        if (!missingArgument)
            text += FormatV(format, args);

        if (!text.empty() && text.back() == '\n' && text == state.LastText) {
            ++state.RepeatCount;
            return;
        }
        if (state.RepeatCount >= 2) {
            lines.push_back(
                {threadId, logLevel,
                 QString::asprintf("    Last message repeated %d times", state.RepeatCount)});
        }
        state.RepeatCount = 0;
        state.LastText = text;

        pending += text;
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            size_t length = end - start;
            if (length > 0 && pending[end - 1] == '\r')
                --length;
            lines.push_back(
                {threadId, logLevel,
                 QString::fromUtf8(pending.data() + start, static_cast<qsizetype>(length))});
        }
        pending.erase(0, start);
    }
    for (const PendingLine& line : lines)
        Deliver(nullptr, line, inMainThread);
}

} // namespace

int LogLevelToFFmpeg(TLogLevel level) {
    return 8 * static_cast<int>(level) - 8;
}

TLogLevel FFmpegToLogLevel(int ffmpegLevel) {
    const int level = ffmpegLevel / 8 + 1; // C++ division truncates toward zero
    if (level <= llQuiet)
        return llQuiet;
    if (level >= llDebug)
        return llDebug;
    return static_cast<TLogLevel>(level);
}

bool ParseLogLevelName(const QString& text, int* ffmpegLevel) {
    static const char* const names[] = {"quiet",   "panic", "fatal",   "error",
                                        "warning", "info",  "verbose", "debug"};
    for (int i = 0; i < 8; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            *ffmpegLevel = 8 * i - 8;
            return true;
        }
    }
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (ok)
        *ffmpegLevel = number;
    return ok;
}

TFFLogger::TFFLogger(QObject* parent) : TFFBaseComponent(parent) {
    Register();
}

TFFLogger::TFFLogger(AutomaticTag) : FAutoCreated(true) {}

void TFFLogger::Register() {
    EngineLogState& state = State();
    TFFLogger* replaced = nullptr;
    {
        std::lock_guard lock(state.Lock);
        if (state.Logger != nullptr && !state.Logger->AutoCreated())
            throw std::logic_error("Allow creating only one instance of TFFLogger.");
        replaced = state.Logger;
        state.Logger = this;
        FLogLevel.store(FFmpegToLogLevel(state.FFmpegLevel.load()));
    }
    delete replaced; // an automatically created logger, already unregistered
}

TFFLogger::~TFFLogger() {
    EngineLogState& state = State();
    std::lock_guard lock(state.Lock);
    if (state.Logger == this)
        state.Logger = nullptr;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    if (FLogLevel.exchange(level) == level)
        return;
    const int ffmpegLevel = LogLevelToFFmpeg(level);
    State().FFmpegLevel.store(ffmpegLevel);
    av_log_set_level(ffmpegLevel);
}

bool TFFLogger::SetLogLevelByName(const QString& name) {
    int ffmpegLevel = 0;
    if (!ParseLogLevelName(name, &ffmpegLevel))
        return false;
    SetLogLevel(FFmpegToLogLevel(ffmpegLevel));
    return true;
}

void TFFLogger::Log(QObject* sender, TLogLevel level, const QString& message) {
    if (!OnLog)
        return;
    const TLogLevel threshold = LogLevel();
    const bool passes = threshold >= level || (level == llVerbose && threshold != llQuiet);
    if (!passes)
        return;
    Deliver(sender ? sender : this, {engine::CurrentThreadId(), level, message},
            TriggerEventInMainThread());
}

void TFFLogger::LogFmt(QObject* sender, TLogLevel level, const char* format, ...) {
    if (!OnLog)
        return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    Log(sender, level, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

TFFLogger* GetLogger() {
    EngineLogState& state = State();
    std::lock_guard lock(state.Lock);
    if (state.Logger == nullptr) {
        auto* logger = new TFFLogger(TFFLogger::AutomaticTag{});
        logger->FLogLevel.store(FFmpegToLogLevel(state.FFmpegLevel.load()));
        // Main-thread deliveries and the logger's destruction belong to the main thread.
        if (QCoreApplication* app = QCoreApplication::instance())
            logger->moveToThread(app->thread());
        state.Logger = logger;
    }
    return state.Logger;
}

void SetupLibraryLogging() {
    av_log_set_callback(FFmpegLogCallback);
    const int ffmpegLevel = LogLevelToFFmpeg(GetLogger()->LogLevel());
    State().FFmpegLevel.store(ffmpegLevel);
    av_log_set_level(ffmpegLevel);
}

void FinalizeEngineLog() {
    av_log_set_callback(av_log_default_callback);
    EngineLogState& state = State();
    TFFLogger* autoLogger = nullptr;
    {
        std::lock_guard lock(state.Lock);
        if (state.Logger != nullptr && state.Logger->AutoCreated()) {
            autoLogger = state.Logger;
            state.Logger = nullptr;
        }
        state.LastText.clear();
        state.RepeatCount = 0;
        state.PendingByThread.clear();
    }
    delete autoLogger;
}
