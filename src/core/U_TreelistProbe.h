#pragma once

// What adding a file to the job list learns of it: the probe, and its lines in the activity
// log. Main thread only (the activity log's thread).

#include <QString>

#include <cstdint>
#include <optional>

class TCustomDecoder;

struct TSourceFacts {
    QString FileName;     // as the decoder opened it
    int64_t Duration = 0; // µs; negative: unknown
    int64_t FileSize = 0; // bytes
    // Of the last video stream as it is seen (upright, square pixels); "0x0" without video.
    QString FrameSize = QStringLiteral("0x0");
};

// Probes `path` with `decoder` (closed again before returning) and logs "Success to Load File"
// with the media summary, or the decoder's reason and "Failed to load File  " when it cannot
// be opened (then nothing is returned, and `reason` gets the decoder's words without the
// path: "Invalid data found when processing input").
std::optional<TSourceFacts> ProbeSourceFile(const QString& path, TCustomDecoder& decoder,
                                            QString* reason = nullptr);
