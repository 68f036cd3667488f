#pragma once

// The options of `reelcaster-cli convert`, read and checked.

#include "core/U_Treelist.h"

#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

struct TConvertOptions {
    QStringList Files;
    QString OutputDir;
    int Profile = 0;                                 // 0: the new-item settings
    QString Size;                                    // "WxH"
    std::optional<std::pair<int64_t, int64_t>> Clip; // start and length, µs
    std::optional<TEdgeRect> Crop;
    QString WatermarkImage;
    QPoint WatermarkAt;
    QStringList OutputOptions; // "name=value" transcoder options added to every item
    bool Merge = false;
    int Parallel = 1;
    bool Overwrite = false;
    bool Quiet = false;
};

// False with a message for the user when the command line is not usable; `help` is set when
// the help text was asked for.
bool ParseConvertOptions(const QStringList& arguments, TConvertOptions& options, QString* error,
                         bool* help);
QString ConvertHelpText();
