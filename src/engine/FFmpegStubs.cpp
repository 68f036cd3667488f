// Temporary: the job's file and run operations arrive next.
#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"

#include <cassert>

TCustomFFmpeg::TCustomFFmpeg(int maxFiles, QObject* parent) : QObject(parent), FMaxFiles(maxFiles) {
    assert(maxFiles >= 1 && maxFiles <= 512);
}
TCustomFFmpeg::~TCustomFFmpeg() = default;
void TCustomFFmpeg::CreateOutputStream(int, TStreamKind) {}
