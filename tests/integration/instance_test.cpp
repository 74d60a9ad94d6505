// One copy per program folder, and the termination signals arriving through the event loop.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "platform/qt/single_instance.h"
#include "platform/qt/termination_signals.h"
#include "support/program_folder.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

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

TEST(SingleInstance, ASecondCopyInTheSameFolderBringsTheFirstForward) {
    RuntimeFolder runtime;
    FailureLog log;
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    SingleInstance first(folder.path(), log);
    ASSERT_TRUE(first.claim());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++requests; });

    SingleInstance second(folder.path(), log);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(test::runEventsUntil([&] { return requests == 1; }, 3s));

    // Another folder is another program.
    test::TempProgramFolder other(test::TempProgramFolder::Settings::None);
    SingleInstance elsewhere(other.path(), log);
    EXPECT_TRUE(elsewhere.claim());
}

TEST(SingleInstance, TheFolderIsFreeAgainWhenTheFirstCopyEnds) {
    RuntimeFolder runtime;
    FailureLog log;
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    {
        SingleInstance first(folder.path(), log);
        ASSERT_TRUE(first.claim());
    }
    SingleInstance next(folder.path(), log);
    EXPECT_TRUE(next.claim());
}

TEST(SingleInstance, TheSocketLiesInTheUsersOwnRuntimeFolder) {
    RuntimeFolder runtime;
    FailureLog log;
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    SingleInstance first(folder.path(), log);
    ASSERT_TRUE(first.claim());
    const fs::path socket = first.socketPath().toStdString();
    EXPECT_EQ(socket.parent_path(), runtime.folder.path());
    struct stat st {};
    ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    // A runtime folder others may write to is not taken for the user's own.
    ::chmod(runtime.folder.path().c_str(), 0777);
    const auto chosen = SingleInstance::privateRuntimeFolder();
    EXPECT_NE(chosen, std::optional<fs::path>(runtime.folder.path()));
    ::chmod(runtime.folder.path().c_str(), 0700);
}

TEST(SingleInstance, ASocketThatCannotBeOpenedIsToldOfAndTheFolderStaysGuarded) {
    RuntimeFolder runtime;
    test::RecordingLogSink lines;
    FailureLog log(&lines);
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
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
        ::_exit(first.claim() && !second.claim() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SingleInstance, AReadOnlyProgramFolderIsGuardedAllTheSame) {
    RuntimeFolder runtime;
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    ::chmod(folder.path().c_str(), 0555);
    EXPECT_TRUE(onlyTheFirstCopyClaims(folder.path(), runtime.folder.path()));
    ::chmod(folder.path().c_str(), 0755);
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
}

}  // namespace
}  // namespace rx47
