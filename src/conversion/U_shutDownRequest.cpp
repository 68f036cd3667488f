#include "conversion/U_shutDownRequest.h"

#include "core/MrvLog.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

bool TLogindShutdown::PowerOff(QString* error) {
    QDBusInterface manager(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
    if (!manager.isValid()) {
        if (error != nullptr)
            *error = manager.lastError().message();
        return false;
    }
    const bool interactive = true;
    auto* watcher =
        new QDBusPendingCallWatcher(manager.asyncCall(QStringLiteral("PowerOff"), interactive));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<> reply = *call;
                         if (reply.isError())
                             ActivityLog().WriteError(QStringLiteral("Shut down refused: ") +
                                                      reply.error().message());
                         call->deleteLater();
                     });
    return true;
}
