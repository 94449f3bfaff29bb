/*
 * Preloaded into the arm64 test programs run under qemu-user (scripts/test-arm64).
 *
 * Qt's QProcess starts children with clone(CLONE_PIDFD) once the kernel reports
 * pidfd support (waitid(P_PIDFD) failing with EBADF). qemu-user 7.2 passes that
 * probe through to the host kernel but refuses CLONE_PIDFD itself, so every child
 * process (the test broker, the program, the simulator) fails to start. Answering
 * the probe with ENOSYS makes Qt use its classic fork and SIGCHLD path instead.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/syscall.h>

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

long syscall(long number, ...) {
    static long (*real)(long, ...) = 0;
    va_list args;
    long a[6];
    va_start(args, number);
    for (int i = 0; i < 6; ++i) {
        a[i] = va_arg(args, long);
    }
    va_end(args);
    if (number == SYS_waitid && a[0] == P_PIDFD) {
        errno = ENOSYS;
        return -1;
    }
    if (!real) {
        real = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
    }
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
