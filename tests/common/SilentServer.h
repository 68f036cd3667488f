#pragma once

// A TCP server on the loopback that accepts connections (through the kernel's backlog) and
// never says anything: reads from it block until something gives up.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class SilentServer {
public:
    SilentServer() {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(FSocket, 4);
        socklen_t length = sizeof address;
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(FSocket); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return FPort; }
    // True once a client has connected (its connection waits in the backlog), at most
    // `milliseconds` from now.
    bool WaitForConnection(int milliseconds) const {
        pollfd listening{FSocket, POLLIN, 0};
        return ::poll(&listening, 1, milliseconds) == 1;
    }

private:
    int FSocket = -1;
    int FPort = 0;
};
