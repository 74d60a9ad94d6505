// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A kill point, preloaded into the program from outside (LD_PRELOAD): the program dies by SIGKILL
// inside a chosen C library call on a chosen file, as it would if the machine's user or an out-of-
// memory killer ended it there. The program itself carries no test hooks.
//
//   RX47_KILL_FILES  ':'-separated patterns (fnmatch) for the base name of the file a call works on:
//                    "RX47.dat:RX47.dat-journal", "*.csv". For rename, either name may match.
//   RX47_KILL_CALLS  ','-separated calls to count: open (creating opens only), write, pwrite, fsync,
//                    fdatasync, ftruncate, rename, unlink.
//   RX47_KILL_AT     the matching call to die in, counted from 1 over the whole process.
//   RX47_KILL_WHEN   "before" (the call never happens) or "after" (it happened, nothing after it).
//   RX47_KILL_LOG    optional: one line "<call> <file> <when>" is appended here just before dying.
//   RX47_KILL_COUNT  optional: a program that ends by itself writes here how many calls matched (to
//                    learn how many kill points a run offers).
//
// Without RX47_KILL_AT the library only passes calls through (and counts, with RX47_KILL_AT=0).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static atomic_long matched;

static const char* setting(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : NULL;
}

/// Whether an item of the `separator`-separated list matches `name` (an fnmatch pattern).
static int listMatches(const char* list, char separator, const char* name) {
    char item[PATH_MAX];
    for (const char* p = list; p && *p;) {
        const char* end = strchr(p, separator);
        const size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len < sizeof item) {
            memcpy(item, p, len);
            item[len] = '\0';
            if (fnmatch(item, name, 0) == 0) return 1;
        }
        if (!end) break;
        p = end + 1;
    }
    return 0;
}

static int callChosen(const char* call) {
    return setting("RX47_KILL_AT") && listMatches(setting("RX47_KILL_CALLS"), ',', call);
}

static int fileChosen(const char* path) {
    if (!path) return 0;
    const char* slash = strrchr(path, '/');
    char base[NAME_MAX + 1];
    snprintf(base, sizeof base, "%s", slash ? slash + 1 : path);
    // A file deleted while open reads back as "name (deleted)".
    char* deleted = strstr(base, " (deleted)");
    if (deleted) *deleted = '\0';
    return listMatches(setting("RX47_KILL_FILES"), ':', base);
}

static int pathOfDescriptor(int fd, char* path, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, size - 1);
    if (n < 0) return 0;
    path[n] = '\0';
    return 1;
}

static void die(const char* call, const char* path) {
    const char* log = setting("RX47_KILL_LOG");
    if (log) {
        // Straight to the kernel, so that this write is not itself one of the counted calls.
        const int fd = (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char line[PATH_MAX + 64];
            const int n = snprintf(line, sizeof line, "%s %s %s\n", call, path ? path : "-",
                                   setting("RX47_KILL_WHEN") ? setting("RX47_KILL_WHEN") : "before");
            if (n > 0) syscall(SYS_write, fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
            syscall(SYS_close, fd);
        }
    }
    syscall(SYS_kill, getpid(), SIGKILL);
    for (;;) pause();
}

/// Whether this call is the one to die in; `path` is the file it works on.
static int isKillPoint(const char* call, const char* path) {
    if (!callChosen(call) || !fileChosen(path)) return 0;
    const long at = atol(setting("RX47_KILL_AT"));
    return atomic_fetch_add(&matched, 1) + 1 == at && at > 0;
}

__attribute__((destructor)) static void reportCount(void) {
    const char* file = setting("RX47_KILL_COUNT");
    if (!file) return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[32];
    const int n = snprintf(line, sizeof line, "%ld\n", (long)atomic_load(&matched));
    if (n > 0) syscall(SYS_write, fd, line, (size_t)n);
    syscall(SYS_close, fd);
}

static int dieAfter(void) {
    const char* when = setting("RX47_KILL_WHEN");
    return when && strcmp(when, "after") == 0;
}

/// Around one call on a descriptor: before it, or after it with `result` passed through.
#define AROUND_FD(callName, fd, type, realCall)                                                                        \
    do {                                                                                                               \
        char path_[PATH_MAX];                                                                                          \
        int kill_ = 0;                                                                                                 \
        if (callChosen(callName) && pathOfDescriptor((fd), path_, sizeof path_)) kill_ = isKillPoint(callName, path_); \
        if (kill_ && !dieAfter()) die(callName, path_);                                                                \
        type result_ = realCall;                                                                                       \
        if (kill_) die(callName, path_);                                                                               \
        return result_;                                                                                                \
    } while (0)

/// The C library's own function, looked up once (memcpy: C has no cast from object to function
/// pointers).
#define REAL(type, name, ...)                  \
    static type (*real)(__VA_ARGS__);          \
    if (!real) {                               \
        void* symbol = dlsym(RTLD_NEXT, name); \
        memcpy(&real, &symbol, sizeof real);   \
    }

ssize_t write(int fd, const void* buf, size_t count) {
    REAL(ssize_t, "write", int, const void*, size_t)
    AROUND_FD("write", fd, ssize_t, real(fd, buf, count));
}
ssize_t writev(int fd, const struct iovec* iov, int n) {
    REAL(ssize_t, "writev", int, const struct iovec*, int)
    AROUND_FD("write", fd, ssize_t, real(fd, iov, n));
}
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    REAL(ssize_t, "pwrite", int, const void*, size_t, off_t)
    AROUND_FD("pwrite", fd, ssize_t, real(fd, buf, count, offset));
}
ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) {
    REAL(ssize_t, "pwrite64", int, const void*, size_t, off_t)
    AROUND_FD("pwrite", fd, ssize_t, real(fd, buf, count, offset));
}
int fsync(int fd) {
    REAL(int, "fsync", int)
    AROUND_FD("fsync", fd, int, real(fd));
}
int fdatasync(int fd) {
    REAL(int, "fdatasync", int)
    AROUND_FD("fdatasync", fd, int, real(fd));
}
int ftruncate(int fd, off_t length) {
    REAL(int, "ftruncate", int, off_t)
    AROUND_FD("ftruncate", fd, int, real(fd, length));
}
int ftruncate64(int fd, off_t length) {
    REAL(int, "ftruncate64", int, off_t)
    AROUND_FD("ftruncate", fd, int, real(fd, length));
}

/// Around a call on a path (relative names are taken as they stand; only the base name matters).
#define AROUND_PATH(callName, path, other, type, realCall)     \
    do {                                                       \
        const char* hit_ = NULL;                               \
        if (callChosen(callName)) {                            \
            if (fileChosen(path))                              \
                hit_ = (path);                                 \
            else if ((other) && fileChosen(other))             \
                hit_ = (other);                                \
        }                                                      \
        const int kill_ = hit_ && isKillPoint(callName, hit_); \
        if (kill_ && !dieAfter()) die(callName, hit_);         \
        type result_ = realCall;                               \
        if (kill_) die(callName, hit_);                        \
        return result_;                                        \
    } while (0)

int rename(const char* from, const char* to) {
    REAL(int, "rename", const char*, const char*)
    AROUND_PATH("rename", from, to, int, real(from, to));
}
int renameat(int fromDir, const char* from, int toDir, const char* to) {
    REAL(int, "renameat", int, const char*, int, const char*)
    AROUND_PATH("rename", from, to, int, real(fromDir, from, toDir, to));
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    REAL(int, "renameat2", int, const char*, int, const char*, unsigned)
    AROUND_PATH("rename", from, to, int, real(fromDir, from, toDir, to, flags));
}
int unlink(const char* path) {
    REAL(int, "unlink", const char*)
    AROUND_PATH("unlink", path, (const char*)NULL, int, real(path));
}
int unlinkat(int dir, const char* path, int flags) {
    REAL(int, "unlinkat", int, const char*, int)
    AROUND_PATH("unlink", path, (const char*)NULL, int, real(dir, path, flags));
}
int remove(const char* path) {
    REAL(int, "remove", const char*)
    // The C library's remove() reaches the kernel without passing through unlink() above.
    AROUND_PATH("unlink", path, (const char*)NULL, int, real(path));
}

/// Only opens that may create a file count: they are the first step of a new file.
#define AROUND_OPEN(name, path, flags, realCall)                                                            \
    do {                                                                                                    \
        mode_t mode_ = 0;                                                                                   \
        if (((flags)&O_CREAT) || ((flags)&O_TMPFILE) == O_TMPFILE) {                                        \
            va_list args_;                                                                                  \
            va_start(args_, flags);                                                                         \
            mode_ = (mode_t)va_arg(args_, int);                                                             \
            va_end(args_);                                                                                  \
        }                                                                                                   \
        const int creating_ = ((flags)&O_CREAT) != 0;                                                       \
        const int kill_ = creating_ && callChosen("open") && fileChosen(path) && isKillPoint("open", path); \
        if (kill_ && !dieAfter()) die("open", path);                                                        \
        const int result_ = realCall;                                                                       \
        if (kill_) die("open", path);                                                                       \
        return result_;                                                                                     \
    } while (0)

int open(const char* path, int flags, ...) {
    REAL(int, "open", const char*, int, ...)
    AROUND_OPEN("open", path, flags, real(path, flags, mode_));
}
int open64(const char* path, int flags, ...) {
    REAL(int, "open64", const char*, int, ...)
    AROUND_OPEN("open64", path, flags, real(path, flags, mode_));
}
int openat(int dir, const char* path, int flags, ...) {
    REAL(int, "openat", int, const char*, int, ...)
    AROUND_OPEN("openat", path, flags, real(dir, path, flags, mode_));
}
int openat64(int dir, const char* path, int flags, ...) {
    REAL(int, "openat64", int, const char*, int, ...)
    AROUND_OPEN("openat64", path, flags, real(dir, path, flags, mode_));
}
