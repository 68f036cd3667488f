#pragma once

// Desktop notifications through the freedesktop notification service on a D-Bus bus (the
// session's by default). Sent without waiting for an answer: without the service or the bus,
// nothing happens and nothing is reported.

#include <QDBusConnection>
#include <QString>

class TDesktopNotifier {
public:
    explicit TDesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());
    void Notify(const QString& summary, const QString& body) const;

private:
    QDBusConnection FBus;
};
