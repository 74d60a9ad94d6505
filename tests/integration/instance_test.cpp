// One copy per program folder, and the termination signals arriving through the event loop.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/qt/single_instance.h"
#include "platform/qt/termination_signals.h"
#include "support/program_folder.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

TEST(SingleInstance, ASecondCopyInTheSameFolderBringsTheFirstForward) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    SingleInstance first(folder.path());
    ASSERT_TRUE(first.claim());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++requests; });

    SingleInstance second(folder.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(test::runEventsUntil([&] { return requests == 1; }, 3s));

    // Another folder is another program.
    test::TempProgramFolder other(test::TempProgramFolder::Settings::None);
    SingleInstance elsewhere(other.path());
    EXPECT_TRUE(elsewhere.claim());
}

TEST(SingleInstance, TheFolderIsFreeAgainWhenTheFirstCopyEnds) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    {
        SingleInstance first(folder.path());
        ASSERT_TRUE(first.claim());
    }
    SingleInstance next(folder.path());
    EXPECT_TRUE(next.claim());
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
