#include "common/TestMedia.h"

namespace testmedia {

QString Path(const char* name) {
    return QStringLiteral(REELCASTER_TEST_MEDIA_DIR "/") + QString::fromUtf8(name);
}

QStringList PlayableFiles() {
    QStringList files;
    for (const char* name : {kH264Aac, kMpeg4Mp3Avi, kAudioOnly, kVideoOnly, kSixChannels,
                             kUnusualName, kVariableRate, kDamagedMiddle, kSeveralStreams})
        files << Path(name);
    return files;
}

QStringList BrokenFiles() {
    QStringList files;
    for (const char* name : {kTruncated, kEmpty, kRandomBytes})
        files << Path(name);
    return files;
}

} // namespace testmedia
