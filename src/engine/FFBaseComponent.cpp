#include "engine/FFBaseComponent.h"

#include "ReelcasterVersion.h"

extern "C" {
#include <libavutil/avutil.h>
}

TFFBaseComponent::TFFBaseComponent(QObject* parent) : QObject(parent) {}

QString TFFBaseComponent::Version() {
    return QStringLiteral("Reelcaster media engine %1 (FFmpeg %2)")
        .arg(QStringLiteral(REELCASTER_VERSION_TEXT), QString::fromUtf8(av_version_info()));
}
