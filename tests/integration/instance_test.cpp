// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// One copy per program folder, and the termination signals arriving through the event loop.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <future>

#include "platform/qt/single_instance.h"
#include "platform/qt/termination_signals.h"
#include "support/program_folder.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

namespace fs = std::filesystem;

/// A private runtime folder of the test's own, as a login session gives one.
struct RuntimeFolder {
    RuntimeFolder() {
        ::chmod(folder.path().c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    }
    ~RuntimeFolder() { ::unsetenv("XDG_RUNTIME_DIR"); }
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
};

/// What a second copy in `folder` is answered, claiming on a thread of its own (as a process of its
/// own would) while this one serves the first copy's requests, or does not.
SingleInstance::Answer secondCopyIsAnswered(const fs::path& folder, bool serve,
                                            std::chrono::milliseconds timeout = SingleInstance::kAnswerTimeout) {
    auto answer = std::async(std::launch::async, [&] {
        FailureLog log;
        SingleInstance second(folder, log);
        second.setAnswerTimeout(timeout);
        return second.claim() ? SingleInstance::Answer::None : second.answer();
    });
    if (serve) test::runEventsUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 30s);
    return answer.get();
}

/// A copy's private runtime folder, its log and its program folder.
struct SingleInstanceTest : ::testing::Test {
    RuntimeFolder runtime;
    test::RecordingLogSink lines;
    FailureLog log{&lines};
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
};

TEST_F(SingleInstanceTest, ASecondCopyIsToldWhetherTheFirstBroughtItsWindowForward) {
    int requests = 0;
    bool desktopLetsIt = true;
    SingleInstance first(folder.path(), log);
    ASSERT_TRUE(first.claim());
    first.setRequestHandler([&] {
        ++requests;
        return desktopLetsIt;
    });
    EXPECT_EQ(secondCopyIsAnswered(folder.path(), true), SingleInstance::Answer::Raised);
    EXPECT_EQ(requests, 1);

    // A desktop that lets no program raise its own window (Wayland): the request was served, and the
    // second copy hears that the window could not come forward.
    desktopLetsIt = false;
    EXPECT_EQ(secondCopyIsAnswered(folder.path(), true), SingleInstance::Answer::NotRaised);
    EXPECT_EQ(requests, 2);

    // A first copy that does not come round to the request (it hangs): no answer, not a false one.
    EXPECT_EQ(secondCopyIsAnswered(folder.path(), false, 300ms), SingleInstance::Answer::NoAnswer);

    // Another folder is another program.
    test::TempProgramFolder other(test::TempProgramFolder::Settings::None);
    SingleInstance elsewhere(other.path(), log);
    EXPECT_TRUE(elsewhere.claim());
}

TEST_F(SingleInstanceTest, TheSocketLiesInTheUsersOwnRuntimeFolderAndTheFolderIsFreeAgainWhenTheFirstCopyEnds) {
    {
        SingleInstance first(folder.path(), log);
        ASSERT_TRUE(first.claim());
        const fs::path socket = first.socketPath().toStdString();
        EXPECT_EQ(socket.parent_path(), runtime.folder.path());
        struct stat st {};
        ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 077, 0u);
    }
    SingleInstance next(folder.path(), log);
    EXPECT_TRUE(next.claim());

    // A runtime folder others may write to is not taken for the user's own.
    ::chmod(runtime.folder.path().c_str(), 0777);
    EXPECT_NE(SingleInstance::privateRuntimeFolder(), std::optional<fs::path>(runtime.folder.path()));
    ::chmod(runtime.folder.path().c_str(), 0700);
}

TEST_F(SingleInstanceTest, ASocketThatCannotBeOpenedIsToldOfAndTheFolderStaysGuarded) {
    SingleInstance first(folder.path(), log);
    fs::create_directories(first.socketPath().toStdString() + "/taken");
    ASSERT_TRUE(first.claim());
    EXPECT_EQ(lines.count(LogCategory::Instance, "cannot listen"), 1);
    SingleInstance second(folder.path(), log);
    EXPECT_FALSE(second.claim());
}

/// Whether two copies in `folder` claim it as the first and only copy, run in a child process as the
/// ordinary user "nobody" when the tests run as root (root writes to read-only folders).
bool onlyTheFirstCopyClaims(const fs::path& folder, const fs::path& runtime) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(runtime.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
                ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
                ::_exit(3);
        }
        if (::access(folder.c_str(), W_OK) == 0) ::_exit(4);
        FailureLog log;
        SingleInstance first(folder, log);
        SingleInstance second(folder, log);
        second.setAnswerTimeout(100ms);  // nothing here serves the first copy's requests
        ::_exit(first.claim() && !second.claim() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SingleInstanceTest, AReadOnlyProgramFolderIsGuardedAllTheSame) {
    ::chmod(folder.path().c_str(), 0555);
    EXPECT_TRUE(onlyTheFirstCopyClaims(folder.path(), runtime.folder.path()));
    ::chmod(folder.path().c_str(), 0755);
}

TEST(SingleInstance, WithoutARuntimeFolderAFallbackAnotherUserTookIsPassedOverAndTheCopiesStillMeet) {
    // No $XDG_RUNTIME_DIR, and the fallback's name under the temporary folder was taken first by
    // another user (root, when the tests run as root; else a folder of the user's own that everyone
    // may enter) with mode 0777.
    test::TempProgramFolder temp(test::TempProgramFolder::Settings::None);
    test::TempProgramFolder home(test::TempProgramFolder::Settings::None);
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    ::chmod(temp.path().c_str(), 01777);
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const uid_t user = ::geteuid() == 0 ? nobody->pw_uid : ::geteuid();
    const fs::path taken = temp.path() / ("rx47-monitor-" + std::to_string(user));
    fs::create_directory(taken);
    ::chmod(taken.c_str(), 0777);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(home.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        ASSERT_EQ(::chown(folder.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }

    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) ::_exit(3);
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("XDG_CACHE_HOME");
        ::setenv("TMPDIR", temp.path().c_str(), 1);
        ::setenv("HOME", home.path().c_str(), 1);
        std::string note;
        const auto runtime = SingleInstance::privateRuntimeFolder(&note);
        // The user's own cache folder, made private; why the other was passed over is told.
        const fs::path own = home.path() / ".cache" / "rx47-monitor";
        if (runtime != own) ::_exit(4);
        struct stat st {};
        if (::lstat(own.c_str(), &st) != 0 || st.st_uid != ::getuid() || (st.st_mode & 07777) != 0700) ::_exit(5);
        if (note.find(taken.string() + " is not used") == std::string::npos) ::_exit(6);
        // A second copy finds the first there, and hears its answer.
        FailureLog log;
        int requests = 0;
        SingleInstance first(folder.path(), log);
        if (!first.claim() || fs::path(first.socketPath().toStdString()).parent_path() != own) ::_exit(7);
        first.setRequestHandler([&] { return ++requests == 1; });
        if (secondCopyIsAnswered(folder.path(), true) != SingleInstance::Answer::Raised || requests != 1) ::_exit(8);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check that failed";
    // The other user's folder got nothing.
    EXPECT_TRUE(fs::is_empty(taken));
}

TEST(TerminationSignals, ArriveInTheEventLoop) {
    TerminationSignals termination;
    std::vector<int> received;
    QObject::connect(&termination, &TerminationSignals::received, [&](int n) { received.push_back(n); });
    std::raise(SIGTERM);
    std::raise(SIGHUP);
    std::raise(SIGINT);
    EXPECT_TRUE(test::runEventsUntil([&] { return received.size() == 3; }, 3s));
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));

    // A signal between a failing call and its look at errno leaves errno as the call set it, also
    // when the handler's own write fails (the socket full of signals not yet taken).
    for (int i = 0; i < 5000; ++i) std::raise(SIGHUP);
    errno = EDOM;
    std::raise(SIGHUP);
    EXPECT_EQ(errno, EDOM);
    // Taken all, the socket has room again: the last signal sent comes after the flood.
    EXPECT_TRUE(test::runEventsUntil([&] { return received.size() > 3; }, 3s));
    std::raise(SIGTERM);
    EXPECT_TRUE(test::runEventsUntil([&] { return received.back() == SIGTERM; }, 3s));
}

}  // namespace
}  // namespace rx47
