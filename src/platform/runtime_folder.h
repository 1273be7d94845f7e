#pragma once
// The user's runtime folder, where copies of the program meet at a local
// socket. It is used only when it is the user's own: a folder, not a link,
// of this user, mode 0700, checked on the folder itself; another user could
// otherwise put a listener of theirs in the copies' way. Once checked it is
// held by descriptor, and every socket and file in it is reached through
// that descriptor: the folder's name is never looked up again, and a long
// folder name never makes a socket address too long for the kernel.

#include <optional>
#include <string>

#include <sys/types.h>
#include <sys/un.h>

class RuntimeFolder {
public:
    explicit RuntimeFolder(const std::string& path);
    ~RuntimeFolder();
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

    bool usable() const { return fd_ >= 0; }
    // Why it is not, in a few words for the log.
    const std::string& refusal() const { return refusal_; }
    int fd() const { return fd_; }

    // A stream socket connected to the socket `name` here, or -1 with errno
    // set: ENOENT nothing there, ECONNREFUSED nobody listens, EAGAIN the
    // listener's queue stayed full for `timeoutMs`. Nonblocking, closed on
    // exec.
    int connect(const std::string& name, int timeoutMs) const;
    // A socket listening at `name` here, which only this user may reach
    // (srwx------), or -1 with errno set. Nonblocking, closed on exec.
    int listen(const std::string& name, int backlog) const;
    // Removes `name` when it is a socket of this user's; anything else,
    // and another user's socket, stays. True when nothing is left there.
    bool removeSocket(const std::string& name) const;

    // The user the process at the other end of a connected local socket
    // runs as, from the kernel's record of it.
    static std::optional<uid_t> peerUid(int socketFd);

private:
    // The socket address of `name`, through this process's descriptor of
    // the folder: /proc/self/fd/N/name, short whatever the folder's name.
    std::string address(const std::string& name) const;
    // A new local stream socket with `address` filled for `name`; -1 with
    // errno set when the name or the folder cannot be used.
    int socketFor(const std::string& name, sockaddr_un& address) const;

    int fd_ = -1;
    std::string refusal_;
};
