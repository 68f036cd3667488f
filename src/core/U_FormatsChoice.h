#pragma once

// What the formats window applies to a job item on OK: the entries chosen in its lists, the
// picture size and the volume. The command line applies a profile the same way.

#include <QString>

class TJobList;
struct TJobRow;

struct TFormatChoice {
    static constexpr int kCustomPosition = 4;
    int Position = 0; // 0 … 3: profile rows 1 … 4; kCustomPosition: custom values
    QString VideoEncoder;
    QString FrameRate;
    QString VideoBitRate;
    QString Container;
    QString AudioEncoder;
    QString Channels;
    QString SampleRate;
    QString AudioBitRate;
    bool EnableAudio = true;
    QString Width;
    QString Height;
    QString Volume;
};

// The entries profile row `row` (1 … 4) of FormatProfiles() selects. False when the table has
// no such row or a position is not a number inside its list.
bool ProfileChoice(int row, TFormatChoice& choice, QString* error);

// False with `error` when an entry that must give a number (bit rates, sample rate) does not.
bool CheckFormatChoice(const TFormatChoice& choice, QString* error);

// Applies the choice to the row's item; a new container gives it a new unique output name in
// `outputFolder`. With audio disabled the item's audio values stay for later. False with
// `error`, and the item unchanged, when CheckFormatChoice fails.
bool ApplyFormatChoice(const TFormatChoice& choice, TJobList& list, TJobRow& row,
                       const QString& outputFolder, QString* error);
