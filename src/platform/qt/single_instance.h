// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// One copy of the program per program folder. A second copy started in the same folder would fight
// the first over the serial port, the settings file and the record files: it asks the first copy
// to bring its window forward, waits for its answer, and ends.
//
// The guard lives in the user's runtime folder, keyed by the program folder: a lock, and the local
// socket through which a second copy reaches the first. The runtime folder is $XDG_RUNTIME_DIR; a
// session without one gets /tmp/rx47-monitor-<uid>, and when that name is taken by anyone else (a
// folder of another user, a link, a folder others may enter) the user's cache folder
// ~/.cache/rx47-monitor: every copy of the user picks the same folder by the same rule, so a second
// copy finds the first, and no other user can take the socket. Each folder is used only when it is
// a real folder of the user's with mode 0700. Where the program folder can hold a lock file,
// "RX47.lock" there keeps out a copy started by another user as well (one copy per folder, whoever
// starts it). The socket is a plain local socket served through a socket notifier (Qt Network, with
// the libraries it brings, would be loaded at every start for this alone).
//
// The request: the second copy sends "raise\n"; the first brings its window forward as far as the
// desktop lets it and answers "raised\n", or "not-raised\n" when it could not (a Wayland desktop does
// not let a program raise its own window).
#pragma once

#include <QLockFile>
#include <QObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace rx47 {

class FailureLog;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    /// What the copy that holds the folder answered to a second copy's request to come forward.
    enum class Answer {
        None,        ///< nothing was asked (this copy holds the folder)
        Raised,      ///< it brought its window forward
        NotRaised,   ///< it handled the request but could not raise its window (the desktop's rule)
        NoAnswer,    ///< it took the request but did not answer in time
        NotReached,  ///< there was no socket to reach it on (another user's copy, or no runtime folder)
    };
    /// Serves another copy's request; returns whether the window came forward.
    using RequestHandler = std::function<bool()>;

    /// How long a second copy waits for the first one's answer unless told otherwise.
    static constexpr std::chrono::milliseconds kAnswerTimeout{10000};

    SingleInstance(const std::filesystem::path& programFolder, FailureLog& log, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Claims the program folder. Returns false when another copy holds it; that copy has then been
    /// asked to come forward, and answer() says what it answered.
    bool claim();
    Answer answer() const { return answer_; }

    /// What serves a request of a second copy; without one the answer is "not raised".
    void setRequestHandler(RequestHandler handler) { handler_ = std::move(handler); }
    /// How long claim() waits for the answer of the copy that holds the folder.
    void setAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }

    /// The local socket's full path ("" when there is no private runtime folder).
    QString socketPath() const { return socketPath_; }

    /// The user's private runtime folder by the rule above; empty when none can be had. `note`
    /// (when given) gets why a fallback was passed over, "" when none was.
    static std::optional<std::filesystem::path> privateRuntimeFolder(std::string* note = nullptr);

private:
    /// Asks the copy that listens on the socket to come forward, and waits for its answer.
    Answer askToComeForward() const;
    /// Starts listening on the socket; the reason when it cannot.
    std::optional<std::string> listen();
    void serveRequests();

    FailureLog& log_;
    std::filesystem::path programFolder_;
    std::string runtimeNote_;
    QString socketPath_;
    std::unique_ptr<QLockFile> runtimeLock_;
    QLockFile folderLock_;
    int listener_ = -1;
    QSocketNotifier* notifier_ = nullptr;  // owned by this object
    RequestHandler handler_;
    std::chrono::milliseconds answerTimeout_ = kAnswerTimeout;
    Answer answer_ = Answer::None;
};

}  // namespace rx47
