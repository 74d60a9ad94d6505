#include "platform/qt/single_instance.h"

#include <QCryptographicHash>
#include <QLocalSocket>

namespace rx47 {

namespace {

QString lockPath(const std::filesystem::path& folder) {
    return QString::fromStdString((folder / "RX47.lock").string());
}

QString serverNameOf(const std::filesystem::path& folder) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(folder, ec);
    const QByteArray key = QByteArray::fromStdString((ec ? folder : canonical).string());
    return "rx47-monitor-" + QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
}

}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& programFolder, QObject* parent)
    : QObject(parent), serverName_(serverNameOf(programFolder)), lock_(lockPath(programFolder)) {
    lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
}

bool SingleInstance::claim() {
    if (!lock_.tryLock(0)) {
        if (lock_.error() == QLockFile::LockFailedError) {
            QLocalSocket socket;
            socket.connectToServer(serverName_);
            if (socket.waitForConnected(1000)) {
                socket.write("raise\n");
                socket.waitForBytesWritten(1000);
                socket.disconnectFromServer();
            }
            return false;
        }
        // The folder cannot hold a lock file (read-only, say): run without the guard rather than
        // not at all.
    }
    server_ = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(serverName_);  // left behind by a copy that crashed
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit activationRequested();
        }
    });
    server_->listen(serverName_);
    return true;
}

}  // namespace rx47
