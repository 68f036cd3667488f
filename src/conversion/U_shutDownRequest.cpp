#include "conversion/U_shutDownRequest.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

bool TLogindShutdown::PowerOff(QString* error) {
    QDBusInterface manager(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid()) {
        if (error != nullptr)
            *error = manager.lastError().message();
        return false;
    }
    // Interactive: logind may ask the user for a password through the desktop's agent.
    const QDBusReply<void> reply = manager.call(QStringLiteral("PowerOff"), true);
    if (!reply.isValid() && error != nullptr)
        *error = reply.error().message();
    return reply.isValid();
}
