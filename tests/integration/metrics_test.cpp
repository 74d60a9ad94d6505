// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The metrics file as a monitoring stack reads it: written by the core against the device simulator
// through the real serial adapter and read back by the Prometheus client's own parser; and the real
// program's file served by node_exporter's textfile collector on a loopback port.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>

#include "base/local_time.h"
#include "model/main_form.h"
#include "model/version.h"
#include "monitor/link.h"
#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "sim/simulator.h"
#include "storage/records.h"
#include "support/file_checks.h"
#include "support/live_core.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/real_program.h"
#include "support/simulated_device.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Labels = std::map<std::string, std::string>;
const char* const kPromtool = "/usr/bin/promtool";

/// A metrics text as the Prometheus client's parser reads it.
struct ParsedMetrics {
    bool parsed = false;
    std::string error;
    std::map<std::string, std::string> types;
    struct Sample {
        std::string name;
        Labels labels;
        double value = 0;
    };
    std::vector<Sample> samples;

    std::optional<double> value(const std::string& name, const Labels& labels) const {
        for (const Sample& s : samples)
            if (s.name == name && s.labels == labels) return s.value;
        return std::nullopt;
    }
    bool has(const std::string& name) const {
        for (const Sample& s : samples)
            if (s.name == name) return true;
        return false;
    }
};

ParsedMetrics parseMetrics(const fs::path& file) {
    const test::Finished run = test::runProgram(
        {"/usr/bin/python3", std::string(RX47_SOURCE_DIR) + "/tests/integration/read_metrics.py", file.string()}, {},
        60s);
    ParsedMetrics result;
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(run.output));
    if (run.exitCode != 0 || !json.isObject()) {
        result.error = run.output;
        return result;
    }
    result.parsed = true;
    const QJsonObject types = json.object()[QStringLiteral("types")].toObject();
    for (auto it = types.begin(); it != types.end(); ++it)
        result.types[it.key().toStdString()] = it.value().toString().toStdString();
    for (const QJsonValue& v : json.object()[QStringLiteral("samples")].toArray()) {
        const QJsonObject o = v.toObject();
        ParsedMetrics::Sample s;
        s.name = o[QStringLiteral("name")].toString().toStdString();
        const QJsonObject labels = o[QStringLiteral("labels")].toObject();
        for (auto it = labels.begin(); it != labels.end(); ++it)
            s.labels[it.key().toStdString()] = it.value().toString().toStdString();
        s.value = o[QStringLiteral("value")].toDouble();
        result.samples.push_back(s);
    }
    return result;
}

/// The monitor core with the real serial adapter and the device simulator on port 1, its program
/// folder named as a user might (spaces, quotes, a backslash), and the metrics file in a folder of
/// its own as node_exporter's collector would read it.
struct LiveStation : test::LiveCore {
    LiveStation() : LiveCore("station \"east\" \\ 1") {
        fs::create_directories(textfiles);
        ctx.reporting.metricsFile = textfiles / "rx47.prom";

        device = std::make_unique<rx47sim::Simulator>(test::deviceOn(portLink(1), 0.25));
        startUpConnection(ctx);
        timers.start(timer::kMinute);
    }

    /// The clock moves on to the next minute; returns once the update of that minute has run.
    bool nextMinute() {
        ++clock.time.minute;
        clock.time.second = 0;
        // The minute the per-minute timer sleeps until comes in a second: a second of readings
        // belongs to the closing minute, as when the clock itself moves on.
        if (timers.isRunning(timer::kMinute)) timers.setInterval(timer::kMinute, 1000);
        const std::int64_t key = minuteKey(clock.time);
        return test::runEventsUntil([&] { return state.scrolledMinute == key; }, 30s);
    }

    fs::path textfiles = folder.path() / "textfiles";
    std::unique_ptr<rx47sim::Simulator> device;
};

TEST(Metrics, AMinuteAgainstTheCounterIsReadBackByThePrometheusParserAndPromtoolFindsNothingToMend) {
    LiveStation s;
    ASSERT_TRUE(test::runEventsUntil([&] { return s.state.measuring && s.values.gammaCoefficient != 0; }, 30s));
    ASSERT_TRUE(s.nextMinute());
    ASSERT_FALSE(s.form.Label[kAverageCpm].caption.empty());

    const ParsedMetrics m = parseMetrics(s.ctx.reporting.metricsFile);
    ASSERT_TRUE(m.parsed) << m.error;
    const Labels station{{"folder", s.programFolder.string()}};
    // Each figure is the caption the window shows and the record holds. The device's total count
    // only grows until it is cleared: a counter, whose family the parser names without "_total".
    const struct {
        const char* name;
        int label;
        const char* family;
        const char* type;
    } figures[] = {
        {"rx47_cpm", kAverageCpm, "rx47_cpm", "gauge"},
        {"rx47_dose_usv_per_hour", kAverageDose, "rx47_dose_usv_per_hour", "gauge"},
        {"rx47_running_average_cpm", kRunningCpm, "rx47_running_average_cpm", "gauge"},
        {"rx47_running_average_dose_usv_per_hour", kRunningDose, "rx47_running_average_dose_usv_per_hour", "gauge"},
        {"rx47_counts_total", kTotalCount, "rx47_counts", "counter"}};
    for (const auto& [name, label, family, type] : figures) {
        const std::string& caption = s.form.Label[label].caption;
        if (caption.empty()) {
            EXPECT_FALSE(m.has(name)) << name;
            continue;
        }
        EXPECT_EQ(m.value(name, station), std::stod(caption)) << name;
        EXPECT_EQ(m.types.count(family) ? m.types.at(family) : "none", type) << name;
    }
    EXPECT_EQ(m.value("rx47_link_up", station), 1.0);
    const Labels cpm{{"folder", s.programFolder.string()}, {"kind", "cpm"}};
    const Labels dose{{"folder", s.programFolder.string()}, {"kind", "dose"}};
    EXPECT_EQ(m.value("rx47_alarm", cpm), 0.0);
    EXPECT_EQ(m.value("rx47_alarm", dose), 0.0);
    EXPECT_EQ(m.value("rx47_last_minute_timestamp_seconds", station),
              static_cast<double>(*localSeconds(2026, 5, 7, 9, 31, 0)));
    // Nothing but the file in node_exporter's folder: the temporary one is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(s.textfiles), fs::directory_iterator()), 1);

    // The live reading (rewritten with each reading), the alarm levels and the version.
    EXPECT_TRUE(m.has("rx47_reading_cpm"));
    EXPECT_TRUE(m.has("rx47_reading_dose_usv_per_hour"));
    EXPECT_EQ(m.value("rx47_cpm_alarm_level", station), 100.0);
    EXPECT_TRUE(m.has("rx47_dose_alarm_level_usv_per_hour"));
    EXPECT_EQ(m.value("rx47_build_info", {{"folder", s.programFolder.string()}, {"version", kVersionText}}), 1.0);

    // The counter answers the first minute's "show" with its total count, which the second minute
    // writes: with every figure in the file, promtool (reading standard input only) finds nothing
    // to mend.
    ASSERT_TRUE(test::runEventsUntil([&] { return !s.form.Label[kTotalCount].caption.empty(); }, 30s));
    ASSERT_TRUE(s.nextMinute());
    ASSERT_TRUE(parseMetrics(s.ctx.reporting.metricsFile).has("rx47_counts_total"));
    if (::access(kPromtool, X_OK) == 0) {
        const test::Finished check = test::runProgram(
            {"/bin/sh", "-c", "\"$0\" check metrics < \"$1\"", kPromtool, s.ctx.reporting.metricsFile.string()}, {},
            60s);
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_EQ(check.output, "");
    } else {
        std::cout << kPromtool
                  << " is missing (Debian's package prometheus, which scripts/install-deps test installs)\n";
    }

    // A counter silent on its open port: the first minute update that takes in nothing says the link
    // is down, and the counter's figures leave the file.
    s.device->silence(true);
    ASSERT_TRUE(s.nextMinute());
    ASSERT_TRUE(s.nextMinute());
    const ParsedMetrics quiet = parseMetrics(s.ctx.reporting.metricsFile);
    ASSERT_TRUE(quiet.parsed) << quiet.error;
    EXPECT_EQ(quiet.value("rx47_link_up", station), 0.0);
    for (const char* name :
         {"rx47_cpm", "rx47_dose_usv_per_hour", "rx47_running_average_cpm", "rx47_counts_total", "rx47_reading_cpm"})
        EXPECT_FALSE(quiet.has(name)) << name;
    EXPECT_EQ(quiet.value("rx47_alarm", cpm), 0.0);
}

TEST(Metrics, NodeExporterServesTheRunningProgramsValuesAndTheAlarmRunsItsCommand) {
    test::TempProgramFolder folder;
    const fs::path textfiles = folder.path() / "textfiles";
    const fs::path metricsFile = textfiles / "rx47.prom";
    const fs::path commandOutput = folder.path() / "alarm kind.txt";
    fs::create_directories(textfiles);
    rx47sim::Simulator device(test::deviceOn(folder.path() / "ports" / "COM1"));
    device.spike(400, 600);  // every reading above the CPM alarm level of 100

    test::Process program(
        {std::string(RX47_PROGRAM_FOLDER) + "/rx47-monitor", "--folder", folder.path().string(), "--metrics",
         metricsFile.string(), "--alarm-command", "/usr/bin/python3", "--alarm-command-arg", "-c",
         "--alarm-command-arg", "import os, sys; open(sys.argv[1], 'w').write(os.environ['RX47_ALARM_KIND'])",
         "--alarm-command-arg", commandOutput.string()},
        {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(test::waitFor([&] { return fs::exists(commandOutput); }, 60s)) << program.output();
    const auto kind = [&] { return test::bytesOf(commandOutput); };
    EXPECT_TRUE(test::waitFor([&] { return kind() == "cpm"; }, 10s)) << kind();
    EXPECT_TRUE(test::waitFor(
        [&] {
            return program.output().find("alarm command /usr/bin/python3 ended: exit status 0") != std::string::npos;
        },
        30s))
        << program.output();

    const int port = test::freeLoopbackPort();
    ASSERT_NE(port, 0);
    const std::string address = "127.0.0.1:" + std::to_string(port);
    test::Process exporter({"/usr/bin/prometheus-node-exporter", "--collector.disable-defaults", "--collector.textfile",
                            "--collector.textfile.directory=" + textfiles.string(), "--web.listen-address=" + address});
    ASSERT_TRUE(exporter.started());
    const fs::path page = folder.path() / "metrics-page.txt";
    const Labels station{{"folder", folder.path().string()}};
    const Labels cpmAlarm{{"folder", folder.path().string()}, {"kind", "cpm"}};
    ParsedMetrics served;
    const bool shown = test::waitFor(
        [&] {
            const auto curl = test::runProgram(
                {"/usr/bin/curl", "--silent", "--fail", "--output", page.string(), "http://" + address + "/metrics"},
                {}, 20s);
            if (curl.exitCode != 0) return false;
            served = parseMetrics(page);
            return served.value("rx47_alarm", cpmAlarm) == 1.0;
        },
        60s);
    EXPECT_TRUE(shown) << exporter.output() << served.error;
    EXPECT_EQ(served.value("node_textfile_scrape_error", {}), 0.0);
    EXPECT_EQ(served.value("rx47_link_up", station), 1.0);
    EXPECT_EQ(served.types["rx47_alarm"], "gauge");

    EXPECT_TRUE(exporter.endWith(SIGTERM));
    EXPECT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
    // Ended in order, the file says so: the counter is not watched and no alarm shown, so that a
    // "counter down" alert fires and the alarm's clears.
    const ParsedMetrics ended = parseMetrics(metricsFile);
    EXPECT_EQ(ended.value("rx47_link_up", station), 0.0) << ended.error;
    EXPECT_EQ(ended.value("rx47_alarm", cpmAlarm), 0.0);
    EXPECT_FALSE(ended.has("rx47_cpm"));
}

TEST(Metrics, AnotherUserCannotMakeTheProgramWriteElsewhereNorServeTheirFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "two users need root to set them up";
    if (test::fakeTimeLibrary().empty()) GTEST_SKIP() << "no libfaketime (the faketime package)";
    constexpr uid_t kNeighbour = 1;  // plants names in the shared folder; the program runs as nobody
    test::ProgramCopy folder;
    // A shared folder as /tmp: root's, sticky, writable by everyone.
    struct Shared {
        fs::path path;
        ~Shared() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } shared{folder.path().string() + ".shared"};
    fs::create_directory(shared.path);
    ASSERT_EQ(::chmod(shared.path.c_str(), 01777), 0);
    const fs::path metrics = shared.path / "rx47.prom";
    const fs::path secret = folder.path() / "private.txt";  // the user's own, handed to them with the folder
    std::ofstream(secret) << "secret";
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);

    test::LaunchOptions launch;
    launch.ordinaryUser = true;
    launch.fakeStart = LocalDateTime{2026, 5, 7, 9, 29, 50};
    launch.fakeSpeed = 10;
    launch.arguments = {"--metrics", metrics.string()};
    {
        test::RealProgram program(folder, launch);
        ASSERT_TRUE(program.started());
        // The neighbour's link under a name the temporary file could be given, to the user's file.
        const fs::path planted = shared.path / ("rx47.prom.tmp-" + std::to_string(program.pid()));
        fs::create_symlink(secret, planted);
        ASSERT_EQ(::lchown(planted.c_str(), kNeighbour, kNeighbour), 0);
        ASSERT_TRUE(
            test::waitFor([&] { return test::bytesOf(metrics).find("rx47_link_up") != std::string::npos; }, 60s))
            << test::bytesOf(folder.logFile());
        EXPECT_EQ(test::bytesOf(secret), "secret");
        struct stat st {};
        ASSERT_EQ(::lstat(metrics.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_uid, test::ordinaryUserId());
        EXPECT_TRUE(fs::is_symlink(planted));
        EXPECT_TRUE(program.endWith(SIGTERM));
    }

    // The neighbour's own file in the place of the metrics file, and a folder anyone may write into
    // without the sticky bit: refused at the start, saying why.
    const auto refusal = [&] {
        fs::remove(folder.logFile());
        test::RealProgram program(folder, launch);
        EXPECT_TRUE(program.waitForExit(30s));
        EXPECT_EQ(program.exitCode(), 2);
        return test::bytesOf(folder.logFile());
    };
    fs::remove(metrics);
    std::ofstream(metrics) << "rx47_link_up 1\n";
    ASSERT_EQ(::chown(metrics.c_str(), kNeighbour, kNeighbour), 0);
    const std::string foreign = refusal();
    EXPECT_NE(foreign.find("the metrics file " + metrics.string() + " is refused: it belongs to another user"),
              std::string::npos)
        << foreign;
    fs::remove(metrics);
    ASSERT_EQ(::chmod(shared.path.c_str(), 0777), 0);
    const std::string loose = refusal();
    EXPECT_NE(loose.find("other users can write into its folder " + shared.path.string()), std::string::npos) << loose;
}

}  // namespace
}  // namespace rx47
