// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A write log, preloaded into the program from outside (LD_PRELOAD) for the power-cut replay: every
// call that changes a file or a name under one folder is appended to a log, in the order the calls
// returned, with the bytes of every write. Failed calls are not logged (they changed nothing).
//
//   RX47_WRITE_LOG       the log file (appended to)
//   RX47_WRITE_LOG_ROOT  only calls on paths under this folder are logged
//
// One record per call, a tab-separated header line and, for a write, its bytes:
//   write <ino> <offset> <length> <path>\n<bytes>     write, pwrite, pwrite64
//   trunc <ino> <length> <path>                       ftruncate
//   sync <ino> <path>                                 fsync, fdatasync (of a file or a folder)
//   open <ino> <flags> <path>                         opens that may create or truncate
//   rename <flags> <from> <to>                        rename, renameat, renameat2
//   link <from> <to> | unlink <path> | rmdir <path> | mkdir <path>
//   close <ino> <path>
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static __thread int inside;  // a call made by the logger itself is passed through

static const char* setting(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : NULL;
}

static int underRoot(const char* path) {
    const char* root = setting("RX47_WRITE_LOG_ROOT");
    if (!root || !path) return 0;
    const size_t n = strlen(root);
    return strncmp(path, root, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

/// The absolute name of a path given relative to a folder descriptor (or the working folder).
static void absolute(int dir, const char* path, char* out) {
    if (path[0] == '/') {
        snprintf(out, PATH_MAX, "%s", path);
        return;
    }
    char base[PATH_MAX] = "";
    if (dir == AT_FDCWD) {
        if (!getcwd(base, sizeof base)) base[0] = '\0';
    } else {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
        const ssize_t n = readlink(link, base, sizeof base - 1);
        base[n > 0 ? n : 0] = '\0';
    }
    if (snprintf(out, PATH_MAX, "%s/%s", base, path) >= PATH_MAX) out[0] = '\0';  // not under the root
}

/// The file behind a descriptor: its name (when under the root) and inode.
static int fileOf(int fd, char* path, unsigned long* ino) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, PATH_MAX - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    struct stat st;
    if (!underRoot(path) || fstat(fd, &st) != 0) return 0;
    *ino = (unsigned long)st.st_ino;
    return 1;
}

/// Appends one record (header and bytes) in one piece, straight to the kernel.
static void emit(const char* header, const void* bytes, size_t length) {
    const char* file = setting("RX47_WRITE_LOG");
    if (!file) return;
    pthread_mutex_lock(&lock);
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        syscall(SYS_write, fd, header, strlen(header));
        for (size_t done = 0; done < length;) {
            const long n = syscall(SYS_write, fd, (const char*)bytes + done, length - done);
            if (n <= 0) break;
            done += (size_t)n;
        }
        syscall(SYS_close, fd);
    }
    pthread_mutex_unlock(&lock);
}

#define REAL(type, name, ...)                  \
    static type (*real)(__VA_ARGS__);          \
    if (!real) {                               \
        void* symbol = dlsym(RTLD_NEXT, name); \
        memcpy(&real, &symbol, sizeof real);   \
    }

/// Runs the real call, and `LOG` when it succeeded and is not the logger's own.
#define LOGGED(result_type, call, LOG)    \
    do {                                  \
        const int outer_ = !inside;       \
        inside = 1;                       \
        const result_type result_ = call; \
        if (outer_ && result_ >= 0) {     \
            LOG                           \
        }                                 \
        if (outer_) inside = 0;           \
        return result_;                   \
    } while (0)

static void logWrite(int fd, const void* buf, ssize_t n, long long offset) {
    char path[PATH_MAX], header[PATH_MAX + 96];
    unsigned long ino;
    if (n < 0 || !fileOf(fd, path, &ino)) return;
    // A plain write lands where the file position was (at the end, for an append).
    if (offset < 0) offset = (long long)lseek(fd, 0, SEEK_CUR) - n;
    snprintf(header, sizeof header, "write\t%lu\t%lld\t%zd\t%s\n", ino, offset, n, path);
    emit(header, buf, (size_t)n);
}

static void logFd(const char* what, int fd, long long extra, int withExtra) {
    char path[PATH_MAX], header[PATH_MAX + 96];
    unsigned long ino;
    if (!fileOf(fd, path, &ino)) return;
    if (withExtra)
        snprintf(header, sizeof header, "%s\t%lu\t%lld\t%s\n", what, ino, extra, path);
    else
        snprintf(header, sizeof header, "%s\t%lu\t%s\n", what, ino, path);
    emit(header, NULL, 0);
}

static void logPaths(const char* what, int dir1, const char* p1, int dir2, const char* p2, long long flags) {
    char a[PATH_MAX], b[PATH_MAX] = "", header[3 * PATH_MAX];
    absolute(dir1, p1, a);
    if (p2) absolute(dir2, p2, b);
    if (!underRoot(a) && !underRoot(b)) return;
    if (flags >= 0)
        snprintf(header, sizeof header, "%s\t%lld\t%s\t%s\n", what, flags, a, b);
    else if (p2)
        snprintf(header, sizeof header, "%s\t%s\t%s\n", what, a, b);
    else
        snprintf(header, sizeof header, "%s\t%s\n", what, a);
    emit(header, NULL, 0);
}

ssize_t write(int fd, const void* buf, size_t n) {
    REAL(ssize_t, "write", int, const void*, size_t)
    LOGGED(ssize_t, real(fd, buf, n), logWrite(fd, buf, result_, -1););
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    REAL(ssize_t, "pwrite", int, const void*, size_t, off_t)
    LOGGED(ssize_t, real(fd, buf, n, at), logWrite(fd, buf, result_, at););
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) {
    REAL(ssize_t, "pwrite64", int, const void*, size_t, off_t)
    LOGGED(ssize_t, real(fd, buf, n, at), logWrite(fd, buf, result_, at););
}
int fsync(int fd) {
    REAL(int, "fsync", int)
    LOGGED(int, real(fd), logFd("sync", fd, 0, 0););
}
int fdatasync(int fd) {
    REAL(int, "fdatasync", int)
    LOGGED(int, real(fd), logFd("sync", fd, 0, 0););
}
int ftruncate(int fd, off_t length) {
    REAL(int, "ftruncate", int, off_t)
    LOGGED(int, real(fd, length), logFd("trunc", fd, length, 1););
}
int ftruncate64(int fd, off_t length) {
    REAL(int, "ftruncate64", int, off_t)
    LOGGED(int, real(fd, length), logFd("trunc", fd, length, 1););
}
int close(int fd) {
    // Logged before the call, while the descriptor still names its file.
    REAL(int, "close", int)
    if (!inside) logFd("close", fd, 0, 0);
    return real(fd);
}
int rename(const char* from, const char* to) {
    REAL(int, "rename", const char*, const char*)
    LOGGED(int, real(from, to), logPaths("rename", AT_FDCWD, from, AT_FDCWD, to, 0););
}
int renameat(int d1, const char* from, int d2, const char* to) {
    REAL(int, "renameat", int, const char*, int, const char*)
    LOGGED(int, real(d1, from, d2, to), logPaths("rename", d1, from, d2, to, 0););
}
int renameat2(int d1, const char* from, int d2, const char* to, unsigned flags) {
    REAL(int, "renameat2", int, const char*, int, const char*, unsigned)
    LOGGED(int, real(d1, from, d2, to, flags), logPaths("rename", d1, from, d2, to, flags););
}
int link(const char* from, const char* to) {
    REAL(int, "link", const char*, const char*)
    LOGGED(int, real(from, to), logPaths("link", AT_FDCWD, from, AT_FDCWD, to, -1););
}
int linkat(int d1, const char* from, int d2, const char* to, int flags) {
    REAL(int, "linkat", int, const char*, int, const char*, int)
    LOGGED(int, real(d1, from, d2, to, flags), logPaths("link", d1, from, d2, to, -1););
}
int unlink(const char* path) {
    REAL(int, "unlink", const char*)
    LOGGED(int, real(path), logPaths("unlink", AT_FDCWD, path, 0, NULL, -1););
}
int unlinkat(int dir, const char* path, int flags) {
    REAL(int, "unlinkat", int, const char*, int)
    LOGGED(int, real(dir, path, flags), logPaths(flags & AT_REMOVEDIR ? "rmdir" : "unlink", dir, path, 0, NULL, -1););
}
int remove(const char* path) {
    // remove() reaches the kernel without passing through unlink().
    struct stat st;
    const int folder = lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
    REAL(int, "remove", const char*)
    LOGGED(int, real(path), logPaths(folder ? "rmdir" : "unlink", AT_FDCWD, path, 0, NULL, -1););
}
int mkdir(const char* path, mode_t mode) {
    REAL(int, "mkdir", const char*, mode_t)
    LOGGED(int, real(path, mode), logPaths("mkdir", AT_FDCWD, path, 0, NULL, -1););
}
int mkdirat(int dir, const char* path, mode_t mode) {
    REAL(int, "mkdirat", int, const char*, mode_t)
    LOGGED(int, real(dir, path, mode), logPaths("mkdir", dir, path, 0, NULL, -1););
}

/// Only opens that may create or empty a file are logged.
#define OPEN(flags, ...)                                       \
    mode_t mode = 0;                                           \
    if ((flags)&O_CREAT || ((flags)&O_TMPFILE) == O_TMPFILE) { \
        va_list args;                                          \
        va_start(args, flags);                                 \
        mode = (mode_t)va_arg(args, int);                      \
        va_end(args);                                          \
    }                                                          \
    LOGGED(int, real(__VA_ARGS__), if ((flags) & (O_CREAT | O_TRUNC)) logFd("open", result_, flags, 1););

int open(const char* path, int flags, ...) {
    REAL(int, "open", const char*, int, ...)
    OPEN(flags, path, flags, mode)
}
int open64(const char* path, int flags, ...) {
    REAL(int, "open64", const char*, int, ...)
    OPEN(flags, path, flags, mode)
}
int openat(int dir, const char* path, int flags, ...) {
    REAL(int, "openat", int, const char*, int, ...)
    OPEN(flags, dir, path, flags, mode)
}
int openat64(int dir, const char* path, int flags, ...) {
    REAL(int, "openat64", int, const char*, int, ...)
    OPEN(flags, dir, path, flags, mode)
}
