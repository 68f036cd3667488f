#include "shell/InstanceMailbox.h"

#include "core/AppFolders.h"
#include "core/WorkFolders.h"

#include <QFileInfo>
#include <QLocalSocket>

#include <memory>

namespace {

constexpr int kSendMilliseconds = 3000;

QString MailboxName() {
    return QueryTempPath() + QLatin1String(kAppGuid) + QStringLiteral(".socket");
}

} // namespace

TInstanceMailbox::TInstanceMailbox(QObject* parent) : QObject(parent) {
    connect(&FServer, &QLocalServer::newConnection, this, &TInstanceMailbox::TakeConnection);
}

bool TInstanceMailbox::Listen() {
    const QString name = MailboxName();
    QLocalServer::removeServer(name);
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    return FServer.listen(name);
}

void TInstanceMailbox::TakeConnection() {
    while (QLocalSocket* socket = FServer.nextPendingConnection()) {
        // One file name per line; the sender closes the connection when all are written.
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [socket, received] { received->append(socket->readAll()); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, received] {
            received->append(socket->readAll());
            QStringList files;
            for (const QByteArray& line : received->split('\n')) {
                if (!line.isEmpty())
                    files << QString::fromUtf8(line);
            }
            socket->deleteLater();
            if (!files.isEmpty())
                emit FilesReceived(files);
        });
    }
}

bool TInstanceMailbox::Send(const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(MailboxName());
    if (!socket.waitForConnected(kSendMilliseconds))
        return false;
    socket.write(files.join(QLatin1Char('\n')).toUtf8());
    if (!socket.waitForBytesWritten(kSendMilliseconds))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kSendMilliseconds);
    return true;
}

QStringList ExistingFiles(const QStringList& arguments) {
    QStringList files;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isFile())
            files << info.absoluteFilePath();
    }
    return files;
}
