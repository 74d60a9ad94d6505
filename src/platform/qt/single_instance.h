// One copy of the program per program folder. A second copy started in the same folder would fight
// the first over the serial port, the settings file and the record files: it asks the first copy
// to bring its window forward and ends.
//
// The guard lives in the user's runtime folder ($XDG_RUNTIME_DIR, which only the user can write;
// else a private folder of the user's under /tmp that is checked before use), keyed by the program
// folder: a lock, and the local socket through which a second copy reaches the first. So it holds for
// a read-only program folder, and no other user can take the socket. Where the program folder can
// hold a lock file, "RX47.lock" there keeps out a copy started by another user as well. The socket is
// a plain local socket served through a socket notifier (Qt Network, with the libraries it brings,
// would be loaded at every start for this alone).
#pragma once

#include <QLockFile>
#include <QObject>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace rx47 {

class FailureLog;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    SingleInstance(const std::filesystem::path& programFolder, FailureLog& log, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Claims the program folder. Returns false when another copy holds it; that copy has then
    /// been asked to come forward.
    bool claim();

    /// The local socket's full path ("" when there is no private runtime folder).
    QString socketPath() const { return socketPath_; }

    /// The user's private runtime folder: $XDG_RUNTIME_DIR when it is a folder of the user's that
    /// nobody else may enter, else /tmp/rx47-monitor-<uid>, made so. Empty when neither can be had.
    static std::optional<std::filesystem::path> privateRuntimeFolder();

signals:
    /// Another copy started in this folder and wants this one's window brought forward.
    void activationRequested();

private:
    /// Asks the copy that listens on the socket to come forward.
    void askToComeForward() const;
    /// Starts listening on the socket; the reason when it cannot.
    std::optional<std::string> listen();
    void serveRequests();

    FailureLog& log_;
    std::filesystem::path programFolder_;
    QString socketPath_;
    std::unique_ptr<QLockFile> runtimeLock_;
    QLockFile folderLock_;
    int listener_ = -1;
    QSocketNotifier* notifier_ = nullptr;  // owned by this object
};

}  // namespace rx47
