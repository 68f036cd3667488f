#include "shell/U_OnlyApps.h"

#include "core/AppFolders.h"
#include "core/WorkFolders.h"

namespace {

QString LockFileName() {
    // In the user's private temporary folder: another user can neither block nor take it.
    return QueryTempPath() + QLatin1String(kAppGuid) + QStringLiteral(".lock");
}

} // namespace

TOnlyApps::TOnlyApps() : FLock(LockFileName()) {
    FLock.setStaleLockTime(0); // a running instance's lock never goes stale by age
}

bool TOnlyApps::TryAcquire() {
    return FLock.isLocked() || FLock.tryLock(0);
}
