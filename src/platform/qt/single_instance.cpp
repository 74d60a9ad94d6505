#include "platform/qt/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGuardCause = "instance guard";

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

/// A folder only this user may enter: owned by the user, not a link, no access for anyone else.
bool isPrivateFolder(const fs::path& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::optional<fs::path> SingleInstance::privateRuntimeFolder() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg && fs::path(xdg).is_absolute()) {
        if (isPrivateFolder(xdg)) return fs::path(xdg);
    }
    // Without one (a session without a login manager), a folder of our own under /tmp: made with no
    // access for others, and used only when it is still ours and private (never a folder or a link
    // that someone else put there first).
    const fs::path own = fs::temp_directory_path() / ("rx47-monitor-" + std::to_string(::getuid()));
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!isPrivateFolder(own)) return std::nullopt;
    return own;
}

SingleInstance::SingleInstance(const fs::path& programFolder, FailureLog& log, QObject* parent)
    : QObject(parent), log_(log), programFolder_(programFolder), folderLock_(lockPath(programFolder)) {
    folderLock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
    if (const auto runtime = privateRuntimeFolder()) {
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
        askToComeForward();
        return false;
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

void SingleInstance::askToComeForward() const {
    sockaddr_un address{};
    if (socketPath_.isEmpty() || !socketAddress(socketPath_, address)) return;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        [[maybe_unused]] const ssize_t sent = ::send(fd, "raise\n", 6, MSG_NOSIGNAL);
    }
    ::close(fd);
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
    // Each connection is one request; what it says does not matter.
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        ::close(fd);
        emit activationRequested();
    }
}

}  // namespace rx47
