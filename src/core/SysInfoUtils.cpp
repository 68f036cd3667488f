#include "core/SysInfoUtils.h"

#include "ReelcasterVersion.h"
#include "core/MrvLog.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QSysInfo>

#include <unistd.h>

namespace {

constexpr qsizetype kMaxLocaleNameLength = 19;

} // namespace

QString OperatingSystemText() {
    return QStringLiteral("%1 (Kernel %2)")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion());
}

qint64 PhysicalMemoryMB() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<qint64>(pages) * pageSize / (1024 * 1024);
}

QString DefaultLanguageName() {
    return QLocale::languageToString(QLocale::system().language()).left(kMaxLocaleNameLength);
}

QString DefaultCountryName() {
    return QLocale::territoryToString(QLocale::system().territory()).left(kMaxLocaleNameLength);
}

QSize PrimaryScreenSize() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return QSize(0, 0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    // Qt gives the size in scaled units: the screen's pixels are that times the scale.
    return screen ? (QSizeF(screen->size()) * screen->devicePixelRatio()).toSize() : QSize(0, 0);
}

QString ProgramVersionText() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(REELCASTER_VERSION_MAJOR)
        .arg(REELCASTER_VERSION_MINOR)
        .arg(REELCASTER_VERSION_PATCH)
        .arg(REELCASTER_VERSION_TWEAK);
}

void WriteSystemInformation(TMrvLog& log) {
    const QString rule(69, QLatin1Char('='));
    const QSize screen = PrimaryScreenSize();
    log.WriteInfo(rule);
    log.WriteInfo(QStringLiteral("System Version:  ") + OperatingSystemText());
    log.WriteInfo(QStringLiteral("Memory:          %1 MB").arg(PhysicalMemoryMB()));
    log.WriteInfo(QStringLiteral("Language:        ") + DefaultLanguageName());
    log.WriteInfo(QStringLiteral("Country:         ") + DefaultCountryName());
    log.WriteInfo(
        QStringLiteral("Metrics:         %1 X %2").arg(screen.width()).arg(screen.height()));
    log.WriteInfo(QStringLiteral("Flash Player:    "));
    log.WriteInfo(QStringLiteral("Program Version: ") + ProgramVersionText());
    log.WriteInfo(rule);
    log.WriteInfo(QString());
}
