#pragma once

// The stream summary appended to the activity log entries about an opened file: the last video
// stream, CR LF, the last audio stream; an empty part for a kind the file lacks.

#include <QString>

class TCustomDecoder;

QString MediaSummary(TCustomDecoder& decoder);
