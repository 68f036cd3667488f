#pragma once

#include <QStringList>

// `reelcaster-cli info [--json] FILE...`: 0 when every file opened, 1 when any failed,
// 2 for a usage error.
int RunInfoCommand(const QStringList& arguments);
