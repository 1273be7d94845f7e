// no-exchange COMMAND [ARG...]: runs a command on a kernel that refuses
// every atomic exchange of two names (renameat2 with RENAME_EXCHANGE) with
// EXDEV, as overlayfs does for a folder of its lower layer, and lets every
// other call through. Exits 125 where it cannot set that up.

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: no-exchange COMMAND [ARG...]\n", stderr);
        return 2;
    }
#if defined(__x86_64__)
    constexpr unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned arch = AUDIT_ARCH_AARCH64;
#else
    std::fputs("no-exchange: no filter for this architecture\n", stderr);
    return 125;
#endif
#if defined(__x86_64__) || defined(__aarch64__)
    // The flags are the fifth argument; on these little-endian machines its
    // low word comes first.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[4])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, RENAME_EXCHANGE, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EXDEV & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
        || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) != 0) {
        std::perror("no-exchange: seccomp");
        return 125;
    }
    ::execvp(argv[1], argv + 1);
    std::perror("no-exchange: exec");
    return 127;
#endif
}
