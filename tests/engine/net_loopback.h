#pragma once
// Loopback sockets for the live network tests. Only plain system calls, so
// forked children may use them too.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
    ~Fd() { reset(); }
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

inline uint16_t portOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

inline int listenOn(in_addr_t address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int connectTo(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends `n` bytes from one end and reads them all at the other.
inline void move(int from, int to, size_t n)
{
    static const char data[1 << 16] = {};
    char buf[1 << 16];
    size_t sent = 0, received = 0;
    while (received < n) {
        if (sent < n) {
            const ssize_t k = ::send(from, data, std::min(n - sent, sizeof data), MSG_DONTWAIT);
            if (k > 0)
                sent += static_cast<size_t>(k);
        }
        const ssize_t k = ::recv(to, buf, sizeof buf, sent < n ? MSG_DONTWAIT : 0);
        if (k > 0)
            received += static_cast<size_t>(k);
    }
}
