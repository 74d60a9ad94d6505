// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The file calls of the real program, seen from outside (LD_PRELOAD): the program carries no test
// hooks. Two uses, each switched on by its variables.
//
// A kill point: the program dies by SIGKILL inside a chosen C library call on a chosen file, as it
// would if the machine's user or an out-of-memory killer ended it there.
//   RX47_KILL_FILES  ':'-separated patterns (fnmatch) for the base name of the file a call works on:
//                    "RX47.dat:RX47.dat-journal", "*.csv". For rename, either name may match.
//   RX47_KILL_CALLS  ','-separated calls to count: open (creating opens only), write, pwrite, fsync,
//                    fdatasync, ftruncate, rename, unlink.
//   RX47_KILL_AT     the matching call to die in, counted from 1 over the whole process (0: only
//                    count).
//   RX47_KILL_WHEN   "before" (the call never happens) or "after" (it happened, nothing after it).
//   RX47_KILL_LOG    optional: one line "<call> <file> <when>" is appended here just before dying.
//   RX47_KILL_COUNT  optional: a program that ends by itself writes here how many calls matched (to
//                    learn how many kill points a run offers).
//
// A write log for the power-cut replay: every call that changes a file or a name under one folder
// is appended to a log, in the order the calls returned, with the bytes of every write. Failed calls
// are not logged (they changed nothing).
//   RX47_WRITE_LOG       the log file (appended to)
//   RX47_WRITE_LOG_ROOT  only calls on paths under this folder are logged
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
#include <fnmatch.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static const char* setting(const char* name) {
    const char* value = getenv(name);
    return value && *value ? value : NULL;
}

/// Appends `length` bytes to a file, straight to the kernel, so that this write is not itself one of
/// the calls seen here.
static void append(const char* file, int flags, const void* bytes, size_t length) {
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, file, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0) return;
    for (size_t done = 0; done < length;) {
        const long n = syscall(SYS_write, fd, (const char*)bytes + done, length - done);
        if (n <= 0) break;
        done += (size_t)n;
    }
    syscall(SYS_close, fd);
}

static int pathOfDescriptor(int fd, char* path) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, PATH_MAX - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    return 1;
}

// ---- the kill point ----

static atomic_long matched;

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
    return call && setting("RX47_KILL_AT") && listMatches(setting("RX47_KILL_CALLS"), ',', call);
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

/// Whether this call is the one to die in; `path` is the file it works on.
static int isKillPoint(const char* call, const char* path) {
    if (!callChosen(call) || !fileChosen(path)) return 0;
    const long at = atol(setting("RX47_KILL_AT"));
    return atomic_fetch_add(&matched, 1) + 1 == at && at > 0;
}

static int dieAfter(void) {
    const char* when = setting("RX47_KILL_WHEN");
    return when && strcmp(when, "after") == 0;
}

static void die(const char* call, const char* path) {
    if (setting("RX47_KILL_LOG")) {
        char line[PATH_MAX + 64];
        const int n = snprintf(line, sizeof line, "%s %s %s\n", call, path ? path : "-",
                               setting("RX47_KILL_WHEN") ? setting("RX47_KILL_WHEN") : "before");
        if (n > 0)
            append(setting("RX47_KILL_LOG"), O_APPEND, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    }
    syscall(SYS_kill, getpid(), SIGKILL);
    for (;;) pause();
}

__attribute__((destructor)) static void reportCount(void) {
    char line[32];
    const int n = snprintf(line, sizeof line, "%ld\n", (long)atomic_load(&matched));
    if (setting("RX47_KILL_COUNT") && n > 0) append(setting("RX47_KILL_COUNT"), O_TRUNC, line, (size_t)n);
}

/// The kill point of a call on a descriptor: the file it works on, when it is the one to die in.
static int killPointOnFd(const char* call, int fd, char* path) {
    return callChosen(call) && pathOfDescriptor(fd, path) && isKillPoint(call, path);
}

/// The kill point of a call on one or two paths (relative names taken as they stand; only the base
/// name matters): the path chosen, when it is the one to die in.
static const char* killPointOnPaths(const char* call, const char* path, const char* other) {
    if (!callChosen(call)) return NULL;
    const char* hit = fileChosen(path) ? path : other && fileChosen(other) ? other : NULL;
    return hit && isKillPoint(call, hit) ? hit : NULL;
}

// ---- the write log ----

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static __thread int inside;  // a call made by the logger itself is passed through

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
    } else if (!pathOfDescriptor(dir, base)) {
        base[0] = '\0';
    }
    if (snprintf(out, PATH_MAX, "%s/%s", base, path) >= PATH_MAX) out[0] = '\0';  // not under the root
}

/// The file behind a descriptor: its name (when under the root) and inode.
static int fileOf(int fd, char* path, unsigned long* ino) {
    struct stat st;
    if (!pathOfDescriptor(fd, path) || !underRoot(path) || fstat(fd, &st) != 0) return 0;
    *ino = (unsigned long)st.st_ino;
    return 1;
}

/// Appends one record (header and bytes) in one piece.
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

// ---- the calls ----

/// The C library's own function, looked up once (memcpy: C has no cast from object to function
/// pointers).
#define REAL(type, name, ...)                  \
    static type (*real)(__VA_ARGS__);          \
    if (!real) {                               \
        void* symbol = dlsym(RTLD_NEXT, name); \
        memcpy(&real, &symbol, sizeof real);   \
    }

/// Runs the real call between its kill points (`hit`: the file, when it is the one to die in), and
/// `LOG` when it succeeded and is not the logger's own.
#define CALL(type, kill, hit, call, LOG)           \
    do {                                           \
        if ((kill) && !dieAfter()) die(kill, hit); \
        const int outer_ = !inside;                \
        inside = 1;                                \
        const type result_ = call;                 \
        if (outer_ && result_ >= 0) {              \
            LOG                                    \
        }                                          \
        if (outer_) inside = 0;                    \
        if (kill) die(kill, hit);                  \
        return result_;                            \
    } while (0)

/// A call on a descriptor, counted for the kill point as `name` (NULL: never).
#define ON_FD(type, name, fd, call, LOG)                                \
    char path_[PATH_MAX];                                               \
    const char* kill_ = killPointOnFd(name, fd, path_) ? (name) : NULL; \
    CALL(type, kill_, path_, call, LOG)

/// A call on one or two paths, counted for the kill point as `name` (NULL: never).
#define ON_PATHS(name, path, other, call, LOG)              \
    const char* hit_ = killPointOnPaths(name, path, other); \
    CALL(int, hit_ ? (name) : NULL, hit_, call, LOG)

ssize_t write(int fd, const void* buf, size_t n) {
    REAL(ssize_t, "write", int, const void*, size_t)
    ON_FD(ssize_t, "write", fd, real(fd, buf, n), logWrite(fd, buf, result_, -1););
}
ssize_t writev(int fd, const struct iovec* iov, int n) {
    REAL(ssize_t, "writev", int, const struct iovec*, int)
    ON_FD(ssize_t, "write", fd, real(fd, iov, n), );
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    REAL(ssize_t, "pwrite", int, const void*, size_t, off_t)
    ON_FD(ssize_t, "pwrite", fd, real(fd, buf, n, at), logWrite(fd, buf, result_, at););
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) {
    REAL(ssize_t, "pwrite64", int, const void*, size_t, off_t)
    ON_FD(ssize_t, "pwrite", fd, real(fd, buf, n, at), logWrite(fd, buf, result_, at););
}
int fsync(int fd) {
    REAL(int, "fsync", int)
    ON_FD(int, "fsync", fd, real(fd), logFd("sync", fd, 0, 0););
}
int fdatasync(int fd) {
    REAL(int, "fdatasync", int)
    ON_FD(int, "fdatasync", fd, real(fd), logFd("sync", fd, 0, 0););
}
int ftruncate(int fd, off_t length) {
    REAL(int, "ftruncate", int, off_t)
    ON_FD(int, "ftruncate", fd, real(fd, length), logFd("trunc", fd, length, 1););
}
int ftruncate64(int fd, off_t length) {
    REAL(int, "ftruncate64", int, off_t)
    ON_FD(int, "ftruncate", fd, real(fd, length), logFd("trunc", fd, length, 1););
}
int close(int fd) {
    // Logged before the call, while the descriptor still names its file.
    REAL(int, "close", int)
    if (!inside) logFd("close", fd, 0, 0);
    return real(fd);
}
int rename(const char* from, const char* to) {
    REAL(int, "rename", const char*, const char*)
    ON_PATHS("rename", from, to, real(from, to), logPaths("rename", AT_FDCWD, from, AT_FDCWD, to, 0););
}
int renameat(int d1, const char* from, int d2, const char* to) {
    REAL(int, "renameat", int, const char*, int, const char*)
    ON_PATHS("rename", from, to, real(d1, from, d2, to), logPaths("rename", d1, from, d2, to, 0););
}
int renameat2(int d1, const char* from, int d2, const char* to, unsigned flags) {
    REAL(int, "renameat2", int, const char*, int, const char*, unsigned)
    ON_PATHS("rename", from, to, real(d1, from, d2, to, flags), logPaths("rename", d1, from, d2, to, flags););
}
int link(const char* from, const char* to) {
    REAL(int, "link", const char*, const char*)
    ON_PATHS(NULL, from, to, real(from, to), logPaths("link", AT_FDCWD, from, AT_FDCWD, to, -1););
}
int linkat(int d1, const char* from, int d2, const char* to, int flags) {
    REAL(int, "linkat", int, const char*, int, const char*, int)
    ON_PATHS(NULL, from, to, real(d1, from, d2, to, flags), logPaths("link", d1, from, d2, to, -1););
}
int unlink(const char* path) {
    REAL(int, "unlink", const char*)
    ON_PATHS("unlink", path, NULL, real(path), logPaths("unlink", AT_FDCWD, path, 0, NULL, -1););
}
int unlinkat(int dir, const char* path, int flags) {
    REAL(int, "unlinkat", int, const char*, int)
    ON_PATHS("unlink", path, NULL, real(dir, path, flags),
             logPaths(flags & AT_REMOVEDIR ? "rmdir" : "unlink", dir, path, 0, NULL, -1););
}
int remove(const char* path) {
    // remove() reaches the kernel without passing through unlink().
    struct stat st;
    const int folder = lstat(path, &st) == 0 && S_ISDIR(st.st_mode);
    REAL(int, "remove", const char*)
    ON_PATHS("unlink", path, NULL, real(path), logPaths(folder ? "rmdir" : "unlink", AT_FDCWD, path, 0, NULL, -1););
}
int mkdir(const char* path, mode_t mode) {
    REAL(int, "mkdir", const char*, mode_t)
    ON_PATHS(NULL, path, NULL, real(path, mode), logPaths("mkdir", AT_FDCWD, path, 0, NULL, -1););
}
int mkdirat(int dir, const char* path, mode_t mode) {
    REAL(int, "mkdirat", int, const char*, mode_t)
    ON_PATHS(NULL, path, NULL, real(dir, path, mode), logPaths("mkdir", dir, path, 0, NULL, -1););
}

/// Only opens that may create a file count for the kill point (they are the first step of a new
/// file); those that may create or empty one are logged.
#define OPEN(flags, path, ...)                                               \
    mode_t mode = 0;                                                         \
    if ((flags)&O_CREAT || ((flags)&O_TMPFILE) == O_TMPFILE) {               \
        va_list args;                                                        \
        va_start(args, flags);                                               \
        mode = (mode_t)va_arg(args, int);                                    \
        va_end(args);                                                        \
    }                                                                        \
    ON_PATHS((flags)&O_CREAT ? "open" : NULL, path, NULL, real(__VA_ARGS__), \
             if ((flags) & (O_CREAT | O_TRUNC)) logFd("open", result_, flags, 1););

int open(const char* path, int flags, ...) {
    REAL(int, "open", const char*, int, ...)
    OPEN(flags, path, path, flags, mode)
}
int open64(const char* path, int flags, ...) {
    REAL(int, "open64", const char*, int, ...)
    OPEN(flags, path, path, flags, mode)
}
int openat(int dir, const char* path, int flags, ...) {
    REAL(int, "openat", int, const char*, int, ...)
    OPEN(flags, path, dir, path, flags, mode)
}
int openat64(int dir, const char* path, int flags, ...) {
    REAL(int, "openat64", int, const char*, int, ...)
    OPEN(flags, path, dir, path, flags, mode)
}
