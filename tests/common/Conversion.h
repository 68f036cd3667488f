#pragma once

// Converting a job list's checked items as Start does: through the conversion window, answered
// by the current (fake) prompt service.

#include "conversion/U_shutDownRequest.h"

#include <QString>

#include <functional>
#include <memory>

class TConvertingfrm;
struct TProgressInfo;
class TJobList;

// A computer that is never shut down.
class TNoShutdown : public ISystemShutdown {
public:
    bool PowerOff(QString*) override { return false; }
};

// Runs `window` to its end, a minute at most (stopped and closed then); its result goes to
// `result`. False when it had to be stopped.
bool RunConversionWindow(TConvertingfrm& window, int* result = nullptr);

// Runs `action` once, on the window's thread, right after the window has handled the first of
// its progress reports that `wanted` accepts (any report when it is empty). Tells whether it
// ran.
std::shared_ptr<bool> AtFirstReport(TConvertingfrm& window,
                                    std::function<bool(const TProgressInfo&)> wanted,
                                    std::function<void()> action);

// False when the window did not end within a minute (it is stopped then).
bool ConvertCheckedItems(TJobList& list);
