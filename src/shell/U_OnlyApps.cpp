#include "shell/U_OnlyApps.h"

#include "shell/AppFolders.h"

#include <QDir>

#include <unistd.h>

namespace {

QString LockFileName() {
    // The user id keeps one user's instance from blocking another's on a shared machine.
    return QDir::tempPath() + QLatin1Char('/') + QLatin1String(kAppGuid) +
           QStringLiteral("-%1.lock").arg(::getuid());
}

} // namespace

TOnlyApps::TOnlyApps() : FLock(LockFileName()) {
    FLock.setStaleLockTime(0); // a running instance's lock never goes stale by age
}

bool TOnlyApps::TryAcquire() {
    return FLock.isLocked() || FLock.tryLock(0);
}
