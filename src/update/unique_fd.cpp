#include "update/unique_fd.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

UniqueFd::~UniqueFd()
{
    if (fd >= 0)
        ::close(fd);
}

std::optional<std::vector<QByteArray>> entryNames(int dirFd)
{
    const int own = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return std::nullopt;
    struct CloseDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> dir(::fdopendir(own));
    if (!dir) {
        ::close(own);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    while (const dirent* d = ::readdir(dir.get())) {
        const QByteArray name(d->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

RegularFile openRegular(const QByteArray& path)
{
    RegularFile r;
    r.file = UniqueFd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (r.file.fd < 0 || ::fstat(r.file.fd, &r.st) != 0) {
        r.error = errno;
        r.file = UniqueFd();
    } else if (!S_ISREG(r.st.st_mode)) {
        r.notAFile = true;
        r.file = UniqueFd();
    }
    return r;
}
