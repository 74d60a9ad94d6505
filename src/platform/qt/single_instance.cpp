// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/single_instance.h"

#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGuardCause = "instance guard";
constexpr char kRequest[] = "raise\n";
constexpr char kRaised[] = "raised\n";
constexpr char kNotRaised[] = "not-raised\n";

QString lockPath(const fs::path& folder) {
    return QString::fromStdString((folder / "RX47.lock").string());
}

/// The same key for every way of naming one folder.
QString keyOf(const fs::path& folder) {
    std::error_code ec;
    const auto canonical = fs::weakly_canonical(folder, ec);
    const QByteArray name = QByteArray::fromStdString((ec ? folder : canonical).string());
    return QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex().left(16));
}

/// The address of a socket file; false when the path is too long for one.
bool socketAddress(const QString& path, sockaddr_un& address) {
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    return true;
}

std::string userName(uid_t uid) {
    if (const passwd* user = ::getpwuid(uid)) return user->pw_name;
    return std::to_string(uid);
}

/// Why `folder` is not a folder only this user may enter ("" when it is one): it must be a real
/// folder (not a link), owned by the user, with mode 0700 exactly.
std::string whyNotPrivate(const fs::path& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISLNK(st.st_mode)) return "it is a link";
    if (!S_ISDIR(st.st_mode)) return "it is not a folder";
    if (st.st_uid != ::getuid()) return "it belongs to user " + userName(st.st_uid);
    if ((st.st_mode & 07777) != 0700) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return std::string("its mode is ") + mode + ", not 0700";
    }
    return "";
}

/// Makes `folder` with mode 0700 when it is not there; why it cannot serve ("" when it can).
std::string makePrivate(const fs::path& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        ::chmod(folder.c_str(), 0700);  // whatever the umask took away: the folder is ours alone
    } else if (errno != EEXIST) {
        return std::strerror(errno);
    }
    return whyNotPrivate(folder);
}

}  // namespace

std::optional<fs::path> SingleInstance::privateRuntimeFolder(std::string* note) {
    std::string passedOver;
    const auto pass = [&](const fs::path& folder, const std::string& why) {
        if (!passedOver.empty()) passedOver += "; ";
        passedOver += folder.string() + " is not used (" + why + ")";
    };
    const auto chosen = [&](std::optional<fs::path> folder) {
        if (note) *note = passedOver;
        return folder;
    };
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg && fs::path(xdg).is_absolute()) {
        const std::string why = whyNotPrivate(xdg);
        if (why.empty()) return chosen(fs::path(xdg));
        pass(xdg, why);
    }
    // Without one (a session without a login manager), a folder of the user's own under /tmp, made
    // with no access for others and used only while it is still the user's and private: never a
    // folder or a link that someone else put there first.
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (!ec) {
        const fs::path own = temp / ("rx47-monitor-" + std::to_string(::getuid()));
        const std::string why = makePrivate(own);
        if (why.empty()) return chosen(own);
        pass(own, why);
    }
    // Someone took that name: the user's cache folder, which other users cannot reach, by the same
    // rule for every copy (so a second copy still finds the first).
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty()) {
        const fs::path base = QFile::encodeName(cache).toStdString();
        fs::create_directories(base, ec);
        const fs::path own = base / "rx47-monitor";
        const std::string why = makePrivate(own);
        if (why.empty()) return chosen(own);
        pass(own, why);
    }
    return chosen(std::nullopt);
}

SingleInstance::SingleInstance(const fs::path& programFolder, FailureLog& log, QObject* parent)
    : QObject(parent), log_(log), programFolder_(programFolder), folderLock_(lockPath(programFolder)) {
    folderLock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
    if (const auto runtime = privateRuntimeFolder(&runtimeNote_)) {
        const QString base = QString::fromStdString((*runtime / "rx47-monitor-").string()) + keyOf(programFolder);
        socketPath_ = base + QStringLiteral(".socket");
        runtimeLock_ = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
        runtimeLock_->setStaleLockTime(0);
    }
}

bool SingleInstance::claim() {
    const auto held = [](QLockFile& lock) { return !lock.tryLock(0) && lock.error() == QLockFile::LockFailedError; };
    const bool runtimeHeld = runtimeLock_ && held(*runtimeLock_);
    const bool folderHeld = !runtimeHeld && held(folderLock_);
    if (runtimeHeld || folderHeld) {
        answer_ = askToComeForward();
        return false;
    }

    if (!runtimeNote_.empty()) {
        log_.warn(
            LogCategory::Instance,
            runtimeNote_ + (socketPath_.isEmpty()
                                ? std::string(": there is no private runtime folder")
                                : ": the guard lies in " + fs::path(socketPath_.toStdString()).parent_path().string()));
    }
    const bool runtimeLocked = runtimeLock_ && runtimeLock_->isLocked();
    const bool folderLocked = folderLock_.isLocked();
    if (!runtimeLocked && !folderLocked) {
        log_.fail(LogCategory::Instance, kGuardCause,
                  "no lock for " + programFolder_.string() +
                      " (no private runtime folder, and the folder holds no lock file): a second copy there would "
                      "not be kept out");
    } else if (!runtimeLocked) {
        log_.fail(LogCategory::Instance, kGuardCause,
                  "no private runtime folder: one copy per folder is kept by " +
                      lockPath(programFolder_).toStdString() +
                      " alone, and a second copy cannot bring this one forward");
    }

    if (socketPath_.isEmpty()) return true;
    if (const auto reason = listen()) {
        log_.fail(LogCategory::Instance, "instance socket",
                  "cannot listen on " + socketPath_.toStdString() + " (" + *reason +
                      "): a second copy is still kept out, but cannot bring this one forward");
    }
    return true;
}

SingleInstance::~SingleInstance() {
    if (listener_ < 0) return;
    delete notifier_;
    ::close(listener_);
    ::unlink(QFile::encodeName(socketPath_).constData());
}

SingleInstance::Answer SingleInstance::askToComeForward() const {
    sockaddr_un address{};
    if (socketPath_.isEmpty() || !socketAddress(socketPath_, address)) return Answer::NotReached;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Answer::NotReached;
    // A first copy whose queue of requests is full (it hangs) must not hold this one up either.
    const auto waitLimit = std::chrono::duration_cast<std::chrono::microseconds>(answerTimeout_).count();
    const timeval limit{static_cast<time_t>(waitLimit / 1000000), static_cast<suseconds_t>(waitLimit % 1000000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        // Nobody listens: the copy that holds the folder has no socket here.
        return error == EAGAIN || error == EINPROGRESS ? Answer::NoAnswer : Answer::NotReached;
    }
    [[maybe_unused]] const ssize_t sent = ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + answerTimeout_;
    while (reply.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
        char part[32];
        const ssize_t got = ::recv(fd, part, sizeof part, 0);
        if (got <= 0) break;  // it closed without an answer
        reply.append(part, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (reply == kRaised) return Answer::Raised;
    if (reply == kNotRaised) return Answer::NotRaised;
    return Answer::NoAnswer;
}

std::optional<std::string> SingleInstance::listen() {
    sockaddr_un address{};
    if (!socketAddress(socketPath_, address)) return "the path is too long for a socket";
    const QByteArray path = QFile::encodeName(socketPath_);
    ::unlink(path.constData());  // left behind by a copy that crashed: the lock is ours now
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::string(std::strerror(errno));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.constData(), S_IRWXU) != 0 || ::listen(fd, 4) != 0) {
        const int error = errno;
        ::close(fd);
        return std::string(std::strerror(error));
    }
    listener_ = fd;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::serveRequests);
    return std::nullopt;
}

void SingleInstance::serveRequests() {
    // Each connection is one request, answered after it was served. Nothing here waits for the
    // other copy: its request is read if it is there (what it says does not matter), and the answer
    // goes out or is dropped.
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        char request[16];
        [[maybe_unused]] const ssize_t got = ::recv(fd, request, sizeof request, MSG_DONTWAIT);
        bool raised = false;
        try {
            raised = handler_ && handler_();
        } catch (...) {
            log_.warn(LogCategory::Instance, "bringing the window forward for another copy failed");
        }
        const char* reply = raised ? kRaised : kNotRaised;
        [[maybe_unused]] const ssize_t sent = ::send(fd, reply, std::strlen(reply), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
    }
}

}  // namespace rx47
