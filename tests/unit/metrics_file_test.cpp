// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The metrics file over the core in virtual time: what each minute update leaves in it, the alarm
// shown at once, the file's text and a file that cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "base/failure.h"
#include "base/local_time.h"
#include "monitor/alarms.h"
#include "monitor/minute_update.h"
#include "storage/metrics.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/time_zone.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using test::TestMonitor;

struct MetricsFile : ::testing::Test {
    test::TimeZone zone{test::kJapan};
    TestMonitor m;
    fs::path file = m.folder.path() / "rx47.prom";
    std::string label;

    void SetUp() override {
        m.connectDevice();
        m.state.deviceHeard = true;  // as after its first report
        m.setSetting("record", std::int64_t{0});
        m.clock.time = {2026, 5, 7, 9, 30, 0};
        m.ctx.reporting.metricsFile = file;
        label = "{folder=\"" + m.folder.path().string() + "\"";
    }
    /// The readings of one minute, then the update at the start of the next minute.
    void minute(std::initializer_list<int> readings) {
        for (int v : readings) m.read(v);
        ++m.clock.time.minute;
        minuteUpdate(m.ctx);
    }
    std::string text() const { return test::bytesOf(file); }
    /// The sample line of a metric ("rx47_cpm{folder=...} 25"), "" when it is left out.
    std::string sample(const std::string& name, const std::string& extraLabels = "") const {
        const std::string head = name + label + extraLabels + "} ";
        const std::string all = text();
        const auto at = all.find("\n" + head);
        if (at == std::string::npos) return "";
        return all.substr(at + 1 + head.size(), all.find('\n', at + 1) - at - 1 - head.size());
    }
    /// The CPM alarm's sample, then the dose alarm's: "10" while a CPM alarm is shown.
    std::string alarms() const {
        return sample("rx47_alarm", ",kind=\"cpm\"") + sample("rx47_alarm", ",kind=\"dose\"");
    }
};

TEST_F(MetricsFile, EachMinuteUpdateLeavesTheLastFiguresTheLinkAndTheAlarm) {
    EXPECT_FALSE(fs::exists(file));
    minute({20, 30});
    EXPECT_EQ(sample("rx47_cpm"), "25");
    EXPECT_EQ(sample("rx47_dose_usv_per_hour"), "0.208");
    EXPECT_EQ(sample("rx47_running_average_cpm"), "25");
    EXPECT_EQ(sample("rx47_running_average_dose_usv_per_hour"), "0.208");
    EXPECT_EQ(sample("rx47_link_up"), "1");
    EXPECT_EQ(alarms(), "00");
    EXPECT_EQ(sample("rx47_last_minute_timestamp_seconds"), std::to_string(*localSeconds(2026, 5, 7, 9, 31, 0)));
    // No report yet: the total count is not known, which is not 0.
    EXPECT_EQ(text().find("rx47_counts_total"), std::string::npos);

    m.receive("ttc:1234\r\n");
    minute({40});
    EXPECT_EQ(sample("rx47_cpm"), "40");
    EXPECT_EQ(sample("rx47_counts_total"), "1234");
    EXPECT_EQ(sample("rx47_running_average_cpm"), "33");

    // The adapter is pulled: the update enters nothing, and the file says the link is down, without
    // the counter's figures, which describe nothing while it is not heard.
    m.port.close();
    minute({});
    EXPECT_EQ(sample("rx47_link_up"), "0");
    EXPECT_EQ(sample("rx47_cpm"), "");
    EXPECT_EQ(sample("rx47_counts_total"), "");
    EXPECT_EQ(sample("rx47_last_minute_timestamp_seconds"), std::to_string(*localSeconds(2026, 5, 7, 9, 32, 0)));
}

TEST_F(MetricsFile, AnAlarmShowsAtOnceAndSoDoesItsAcknowledgement) {
    minute({20});
    m.read(101);
    m.read(101);
    EXPECT_EQ(alarms(), "00");
    m.read(101);
    EXPECT_EQ(alarms(), "10");
    minute({});
    EXPECT_EQ(alarms(), "10");  // shown until acknowledged
    acknowledgeAlarm(m.ctx);
    EXPECT_EQ(alarms(), "00");
    for (int i = 0; i < 3; ++i) m.read(70);  // 0.583 μSv/h, above the dose level of 0.5
    EXPECT_EQ(alarms(), "01");
}

TEST_F(MetricsFile, AFileThatCannotBeWrittenIsLoggedOnceUntilItIsWrittenAgain) {
    m.ctx.reporting.metricsFile = m.folder.path() / "textfiles" / "rx47.prom";
    for (int i = 0; i < 3; ++i) minute({20});
    EXPECT_EQ(m.logLines.count(LogCategory::Metrics, "not written"), 1);
    fs::create_directory(m.folder.path() / "textfiles");
    minute({20});
    // Each reading and each minute tried it: one line for them all.
    EXPECT_EQ(m.logLines.count(LogCategory::Metrics, "written again (after 6 failures)"), 1);
    // Only the file itself: no temporary file is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m.folder.path() / "textfiles"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"rx47.prom"});
}

TEST(MetricsPlace, AFolderOtherUsersCanWriteIntoIsRefusedUnlessItIsStickyAndTheFileTheUsers) {
    test::TempProgramFolder temp(test::TempProgramFolder::Settings::None);
    const fs::path folder = temp.path() / "textfiles";
    fs::create_directory(folder);
    // The folder is the user's; to `other` it is another user's (root's counts as everyone's own).
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 2 : ::geteuid();
    const uid_t other = user + 1;
    if (root) {
        ASSERT_EQ(::chown(folder.c_str(), user, user), 0);
    }
    const auto refusal = [](const fs::path& file, uid_t who) -> std::string {
        try {
            checkMetricsPlace(file, who);
            return "";
        } catch (const FileError& e) {
            return e.what();
        }
    };
    const fs::path file = folder / "rx47.prom";
    fs::permissions(folder, fs::perms(0755));
    EXPECT_EQ(refusal(file, user), "");
    EXPECT_NE(refusal(file, other).find("its folder " + folder.string() + " belongs to another user"),
              std::string::npos);
    fs::permissions(folder, fs::perms(0775));
    EXPECT_NE(refusal(file, user).find("other users can write into its folder " + folder.string()), std::string::npos);
    if (!root) {
        EXPECT_THROW(replaceFile(file, "rx47_link_up 1\n"), FileError);
    }
    fs::permissions(folder, fs::perms(01777));
    EXPECT_EQ(refusal(file, user), "");

    // In /tmp (root's, sticky): the file may be made there, or be the user's own, not another's.
    struct stat tmp {};
    if (::stat("/tmp", &tmp) != 0 || tmp.st_uid != 0 || (tmp.st_mode & 01777) != 01777) return;
    const fs::path shared = "/tmp/rx47-test-" + std::to_string(::getpid()) + ".prom";
    EXPECT_EQ(refusal(shared, ::geteuid()), "");
    replaceFile(shared, "rx47_link_up 1\n");
    EXPECT_EQ(refusal(shared, ::geteuid()), "");
    EXPECT_NE(refusal(shared, ::geteuid() + 1).find(shared.string() + " is refused: it belongs to another user"),
              std::string::npos);
    fs::remove(shared);
}

TEST(MetricsText, LabelsAreEscapedAndKeptUtf8) {
    EXPECT_EQ(labelValue("/home/a \"b\"\\c\nd/計数"), "/home/a \\\"b\\\"\\\\c\\nd/計数");
    // A folder name in another code page: each stray byte becomes U+FFFD, the rest stays.
    EXPECT_EQ(labelValue("x\x8C\x76y\xE8"), "x\xEF\xBF\xBDvy\xEF\xBF\xBD");
    std::string five;
    for (int i = 0; i < 5; ++i) five += "\xEF\xBF\xBD";
    EXPECT_EQ(labelValue("\xC0\xAF\xED\xA0\x80"), five);  // an overlong "/" and a surrogate, byte by byte

    MetricsFigures f;
    f.folder = "/srv/rx47 \"east\"";
    f.linkUp = true;
    f.cpm = "25";
    f.dose = "garbled";  // never in the file: a metric carries a number or nothing
    const std::string text = metricsText(f);
    EXPECT_NE(text.find("rx47_cpm{folder=\"/srv/rx47 \\\"east\\\"\"} 25\n"), std::string::npos);
    EXPECT_EQ(text.find("rx47_dose_usv_per_hour"), std::string::npos);
    EXPECT_EQ(text.find("rx47_last_minute_timestamp_seconds"), std::string::npos);
    EXPECT_NE(text.find("# TYPE rx47_alarm gauge\nrx47_alarm{folder=\"/srv/rx47 \\\"east\\\"\",kind=\"cpm\"} 0\n"),
              std::string::npos);
}

}  // namespace
}  // namespace rx47
