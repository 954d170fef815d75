#pragma once

// A plain loopback UDP socket for talking to a fleet in tests.
#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>

struct Datagram {
    QByteArray bytes;
    quint32 from = 0;
    quint16 fromPort = 0;
};

class UdpProbe {
public:
    UdpProbe()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7F000001);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~UdpProbe() { ::close(m_fd); }
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    bool send(quint32 to, quint16 port, const QByteArray& bytes) const
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(to);
        return ::sendto(m_fd, bytes.constData(), size_t(bytes.size()), 0,
                        reinterpret_cast<sockaddr*>(&a), sizeof a) == bytes.size();
    }

    std::optional<Datagram> receive(std::chrono::milliseconds timeout) const
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(timeout.count())) <= 0)
            return std::nullopt;
        char buffer[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return std::nullopt;
        return Datagram{QByteArray(buffer, int(n)), ntohl(from.sin_addr.s_addr),
                        ntohs(from.sin_port)};
    }

private:
    int m_fd = -1;
};
