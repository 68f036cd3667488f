#pragma once

// When the desktop session ends (SIGTERM or SIGHUP from a logout or a shutdown), the
// application ends within moments whatever is open: each window above the main one leaves as
// its EndSession says (a conversion stops its tasks), message boxes and file dialogs close,
// the main window closes and every event loop returns, so the normal exit path closes the
// settings and the log. A window that would open on the way out returns at once.

class QWidget;

void EndSession(QWidget* mainWindow);
