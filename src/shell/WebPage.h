#pragma once

#include <QString>

// Opens `address` in the user's web browser; an empty address does nothing.
void OpenWebPage(const QString& address);
