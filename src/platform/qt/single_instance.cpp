#include "platform/qt/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalSocket>
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
        if (!socketPath_.isEmpty()) {
            QLocalSocket socket;
            socket.connectToServer(socketPath_);
            if (socket.waitForConnected(1000)) {
                socket.write("raise\n");
                socket.waitForBytesWritten(1000);
                socket.disconnectFromServer();
            }
        }
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
                      lockPath(programFolder_).toStdString() + " alone, and a second copy cannot bring this one forward");
    }

    if (socketPath_.isEmpty()) return true;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath_);  // left behind by a copy that crashed: the lock is ours now
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit activationRequested();
        }
    });
    if (!server_->listen(socketPath_)) {
        log_.fail(LogCategory::Instance, "instance socket",
                  "cannot listen on " + socketPath_.toStdString() + " (" + server_->errorString().toStdString() +
                      "): a second copy is still kept out, but cannot bring this one forward");
    }
    return true;
}

}  // namespace rx47
