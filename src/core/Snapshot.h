#pragma once

// Saving the picture on screen as a snapshot file: `base` + "_" + n + "." + extension with the
// first n whose name is free. A Windows bitmap when the extension is exactly "bmp", a JPEG
// picture otherwise (whatever the extension says). An existing file is never replaced, also
// when one appears while the picture is written.

#include <QImage>
#include <QString>

// The name written, or empty with the reason in `error` (the system's text).
QString SaveSnapshot(const QImage& picture, const QString& base, const QString& extension,
                     QString* error);
