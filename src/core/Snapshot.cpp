#include "core/Snapshot.h"

#include <QFile>
#include <QImageWriter>

namespace {

constexpr int kJpegQuality = 92; // no visible loss on a video frame, a third of a bitmap's size

} // namespace

QString SaveSnapshot(const QImage& picture, const QString& base, const QString& extension,
                     QString* error) {
    const QByteArray format = extension == QLatin1String("bmp") ? "bmp" : "jpeg";
    for (int n = 0;; ++n) {
        const QString name = QStringLiteral("%1_%2.%3").arg(base).arg(n).arg(extension);
        if (QFile::exists(name))
            continue;
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.error() == QFileDevice::OpenError && QFile::exists(name))
                continue; // taken in the meantime
            *error = file.errorString();
            return QString();
        }
        QImageWriter writer(&file, format);
        if (format == "jpeg")
            writer.setQuality(kJpegQuality);
        if (!writer.write(picture) || !file.flush()) {
            *error = writer.error() != QImageWriter::UnknownError ? writer.errorString()
                                                                  : file.errorString();
            file.remove(); // nothing half-written stays
            return QString();
        }
        return name;
    }
}
