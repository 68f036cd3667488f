#pragma once

// The engine's one log dispatcher. Engine components and the FFmpeg libraries log through it;
// it filters by level and hands each line to OnLog, on the main thread when asked. It never
// writes a file itself.

#include "engine/FFBaseComponent.h"

#include <QString>

#include <atomic>
#include <functional>

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// FFmpeg level = 8 × level − 8 (quiet −8 … debug 48).
int LogLevelToFFmpeg(TLogLevel level);
// (FFmpeg level div 8) + 1, truncating toward zero and limited to llQuiet … llDebug.
TLogLevel FFmpegToLogLevel(int ffmpegLevel);
// "quiet" … "debug" in any letter case, or an FFmpeg level number. False for anything else.
bool ParseLogLevelName(const QString& text, int* ffmpegLevel);

using TLogEvent = std::function<void(QObject* Sender, quint32 AThreadID, TLogLevel ALogLevel,
                                     const QString& ALogMsg)>;

class TFFLogger : public TFFBaseComponent {
    Q_OBJECT

public:
    // Replaces an automatically created logger; a second explicit one throws
    // std::logic_error("Allow creating only one instance of TFFLogger.").
    explicit TFFLogger(QObject* parent = nullptr);
    ~TFFLogger() override;

    TLogLevel LogLevel() const { return FLogLevel.load(); }
    // Also sets the level FFmpeg itself logs at.
    void SetLogLevel(TLogLevel level);
    // For the transcoder option "loglevel"; false (and no change) for an unreadable text.
    bool SetLogLevelByName(const QString& name);

    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread.store(value); }

    // Assign while no engine work runs; it is read from any thread that logs.
    TLogEvent OnLog;

    // An engine message. Passes when LogLevel >= level; verbose messages pass unless quiet.
    void Log(QObject* sender, TLogLevel level, const QString& message);
    void LogFmt(QObject* sender, TLogLevel level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Made by GetLogger() rather than by its owner; the engine frees it at its end.
    bool AutoCreated() const { return FAutoCreated; }

private:
    friend TFFLogger* GetLogger();
    struct AutomaticTag {};
    explicit TFFLogger(AutomaticTag);
    void Register();

    std::atomic<TLogLevel> FLogLevel{llInfo};
    std::atomic<bool> FTriggerEventInMainThread{true};
    bool FAutoCreated = false;
};

// The single logger; creates one (marked automatic) on first use.
TFFLogger* GetLogger();

// Routes FFmpeg's messages into the logger and applies its level. Called once the libraries
// are loaded.
void SetupLibraryLogging();

// Ends the engine log: FFmpeg logs through its default callback again, pending partial lines
// and the repeat state are dropped, and an automatically created logger is freed.
void FinalizeEngineLog();
