#include "shell/DesktopNotification.h"

#include <QDBusMessage>
#include <QVariantMap>

TDesktopNotifier::TDesktopNotifier(QDBusConnection bus) : FBus(std::move(bus)) {}

void TDesktopNotifier::Notify(const QString& summary, const QString& body) const {
    if (!FBus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, id to replace, icon, summary, body, actions, hints, time-out (-1: the server's)
    call << QStringLiteral("Reelcaster") << 0u << QStringLiteral("reelcaster") << summary << body
         << QStringList() << QVariantMap() << -1;
    FBus.send(call);
}
