// tavrin-nettop: prints one snapshot of this user's sockets, grouped by
// process, as comma-separated lines, then exits. It takes the arguments
// "-L 1 -x -n -J state,bytes_in,bytes_out" and always prints that form.

#include "platform/nettop_producer.h"

#include <unistd.h>

int main()
{
    // Pids wrap: a descriptor our parent leaked to us would otherwise be
    // counted as ours whenever we got the lower pid.
    nettop::Producer producer({}, static_cast<int32_t>(::getpid()));
    const std::string text = producer.poll();

    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n <= 0)
            return 1;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}
