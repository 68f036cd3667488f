#pragma once

// A TCP server on the loopback that sends one client the given bytes and then ends the
// connection: cleanly at once (the input simply ends), or with a reset once Reset() is called
// (a read that fails while the client is converting).

#include <QByteArray>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class FeedingServer {
public:
    enum class TEnd { Close, Reset };

    FeedingServer(QByteArray data, TEnd end) : FData(std::move(data)), FEnd(end) {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(FSocket, 1);
        socklen_t length = sizeof address;
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~FeedingServer() {
        Reset();
        ::shutdown(FSocket, SHUT_RDWR); // ends a wait for a client that never came
        FThread.join();
        ::close(FSocket);
    }
    FeedingServer(const FeedingServer&) = delete;
    FeedingServer& operator=(const FeedingServer&) = delete;

    int Port() const { return FPort; }
    // With TEnd::Reset: resets the connection now.
    void Reset() {
        {
            std::lock_guard lock(FLock);
            FResetAsked = true;
        }
        FResetChanged.notify_all();
    }

private:
    void Serve() {
        const int client = ::accept(FSocket, nullptr, nullptr);
        if (client < 0)
            return;
        for (qsizetype sent = 0; sent < FData.size();) {
            const ssize_t written = ::send(client, FData.constData() + sent,
                                           static_cast<size_t>(FData.size() - sent), MSG_NOSIGNAL);
            if (written <= 0)
                break;
            sent += written;
        }
        if (FEnd == TEnd::Reset) {
            std::unique_lock lock(FLock);
            FResetChanged.wait(lock, [this] { return FResetAsked; });
            // Lingering for no time makes close() send a reset instead of the normal end.
            const linger now{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        } else {
            ::shutdown(client, SHUT_WR);
            char rest[256];
            while (::recv(client, rest, sizeof rest, 0) > 0) {
            }
        }
        ::close(client);
    }

    QByteArray FData;
    TEnd FEnd;
    int FSocket = -1;
    int FPort = 0;
    std::mutex FLock;
    std::condition_variable FResetChanged;
    bool FResetAsked = false;
    std::thread FThread;
};
