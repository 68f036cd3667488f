#pragma once

// The application's dark look for everything the skins do not draw: message boxes, file and
// folder dialogs, menus, check boxes and scroll bars.

class QApplication;

void ApplyAppTheme(QApplication& app);

class QString;

// The text of a style sheet among the application's resources (":/styles/…").
QString StyleSheet(const QString& resource);
