#pragma once

// Converting a job list's checked items as Start does: through the conversion window, answered
// by the current (fake) prompt service.

class TJobList;

// False when the window did not end within a minute (it is stopped then).
bool ConvertCheckedItems(TJobList& list);
