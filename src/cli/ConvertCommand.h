#pragma once

#include <QStringList>

// `reelcaster-cli convert [OPTIONS] FILE...`: the application's conversion without windows.
// 0 when every file converted, 1 when any failed, 2 for a usage error.
int RunConvertCommand(const QStringList& arguments);
