#pragma once

// Converting a job list's checked items as Start does: through the conversion window, answered
// by the current (fake) prompt service.

#include "conversion/U_shutDownRequest.h"

#include <QString>

class TConvertingfrm;
class TJobList;

// A computer that is never shut down.
class TNoShutdown : public ISystemShutdown {
public:
    bool PowerOff(QString*) override { return false; }
};

// Runs `window` to its end, a minute at most (stopped and closed then); its result goes to
// `result`. False when it had to be stopped.
bool RunConversionWindow(TConvertingfrm& window, int* result = nullptr);

// False when the window did not end within a minute (it is stopped then).
bool ConvertCheckedItems(TJobList& list);
