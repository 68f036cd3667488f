#pragma once

// One running instance per user: a lock file in the user's temporary folder named after the
// application GUID. The lock is held for the life of the object; a lock left behind by a
// process that died is taken over.

#include <QLockFile>

class TOnlyApps {
public:
    TOnlyApps();

    // False when another instance holds the lock.
    bool TryAcquire();

private:
    QLockFile FLock;
};
