// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The measurement records on real files: golden files byte by byte, the switches, the month folder,
// and a line that never reaches the file torn.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <fstream>

#include "base/failure.h"
#include "model/main_form.h"
#include "monitor/minute_update.h"
#include "monitor/notices.h"
#include "storage/records.h"
#include "support/file_checks.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using test::bytesOf;
using test::TestMonitor;

std::string golden(const std::string& name) {
    return bytesOf(fs::path(RX47_SOURCE_DIR) / "tests/data/records" / name);
}

struct Records : ::testing::Test {
    TestMonitor m;
    fs::path record = m.folder.path() / "record";
    void SetUp() override {
        m.clock.time = {2026, 5, 31, 23, 59, 0};
        m.state.monthFolder = monthFolderName(m.clock.time);
        createRecordFolders(m.folder.path(), m.state.monthFolder);
    }
    void captions(std::initializer_list<const char*> texts) {
        const int labels[] = {kTotalCount, kRunningCpm, kRunningDose, kAverageCpm, kAverageDose,
                              kMaxCpm,     kMaxDose,    kMinCpm,      kMinDose};
        int i = 0;
        for (const char* text : texts) m.form.Label[labels[i++]].caption = text;
    }
    void captionsOfMay31() { captions({"5432", "24", "0.200", "25", "0.208", "30", "0.250", "20", "0.166"}); }
    /// The message of the failure of the minute's record ("" when it was written).
    std::string failure() {
        try {
            writeMeasurementRecord(m.ctx);
        } catch (const FileError& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(Records, LinesGoIntoTheMasterAndTheDailyFileOfTheStartMonth) {
    EXPECT_EQ(m.state.monthFolder, "2026_05");
    captionsOfMay31();
    writeMeasurementRecord(m.ctx);
    m.clock.time = {2026, 6, 1, 0, 0, 1};
    captions({"5440", "24", "0.200", "23", "0.191", "30", "0.250", "20", "0.166"});
    writeMeasurementRecord(m.ctx);

    EXPECT_EQ(bytesOf(record / "master record.csv"), golden("master record.csv"));
    EXPECT_EQ(bytesOf(record / "2026_05/2026-05-31.csv"), golden("2026-05-31.csv"));
    // The first of June still goes into the May folder: the folder is the start month's.
    EXPECT_EQ(bytesOf(record / "2026_05/2026-06-01.csv"), golden("2026-06-01.csv"));
    EXPECT_FALSE(fs::exists(record / "2026_06"));
}

TEST_F(Records, EmptyCaptionsStillGiveElevenFields) {
    m.clock.time = {2026, 5, 7, 9, 30, 0};
    m.state.monthFolder = "2026_05";
    writeMeasurementRecord(m.ctx);
    EXPECT_EQ(bytesOf(record / "2026_05/2026-05-07.csv"), golden("empty-captions.csv"));
}

TEST_F(Records, TheMicroSignIsTheCodePageMu) {
    EXPECT_EQ(toCodePage932("μSv/h"), "\x83\xCA\x53\x76\x2F\x68");
}

TEST_F(Records, TheSwitchesChooseTheFiles) {
    m.setSetting("record", std::int64_t{0});
    writeMeasurementRecord(m.ctx);
    EXPECT_TRUE(fs::is_empty(record / "2026_05"));
    EXPECT_FALSE(fs::exists(record / "master record.csv"));

    m.setSetting("record", std::int64_t{-1});
    m.setSetting("masterrecord", std::int64_t{0});
    writeMeasurementRecord(m.ctx);
    EXPECT_FALSE(fs::exists(record / "master record.csv"));
    EXPECT_TRUE(fs::exists(record / "2026_05/2026-05-31.csv"));
}

TEST_F(Records, AFileDeletedMeanwhileStartsAgainWithHeaders) {
    writeMeasurementRecord(m.ctx);
    fs::remove(record / "master record.csv");
    writeMeasurementRecord(m.ctx);
    const std::string bytes = bytesOf(record / "master record.csv");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);
}

TEST_F(Records, ALinkWhereARecordFileBelongsIsNotWrittenThrough) {
    // Someone else's file, linked in where the master file belongs.
    const fs::path victim = m.folder.path() / "victim.txt";
    test::writeBytes(victim, "mine\n");
    fs::create_symlink(victim, record / "master record.csv");
    EXPECT_NE(failure().find("it is a link"), std::string::npos);
    EXPECT_EQ(bytesOf(victim), "mine\n");
}

TEST_F(Records, AMissingMonthFolderEndsTheMinutesRecordAfterTheMaster) {
    fs::remove_all(record / "2026_05");
    EXPECT_THROW(writeMeasurementRecord(m.ctx), FileError);
    EXPECT_TRUE(fs::exists(record / "master record.csv"));
    // A missing record folder fails at the master file, and the daily file is not tried.
    fs::remove_all(record);
    EXPECT_THROW(writeMeasurementRecord(m.ctx), FileError);
}

TEST_F(Records, ALastLineTornByAPowerCutIsEndedBeforeTheNextLine) {
    captionsOfMay31();
    writeMeasurementRecord(m.ctx);
    const fs::path master = record / "master record.csv";
    const fs::path daily = record / "2026_05/2026-05-31.csv";
    const std::string whole = bytesOf(master);
    const std::string line = whole.substr(whole.rfind("\r\n", whole.size() - 3) + 2);
    // Cut in the middle of a line, and between its CR and LF.
    std::ofstream(master, std::ios::binary | std::ios::app) << line.substr(0, 15);
    std::ofstream(daily, std::ios::binary | std::ios::app) << line.substr(0, line.size() - 1);

    writeMeasurementRecord(m.ctx);
    EXPECT_EQ(bytesOf(master), whole + line.substr(0, 15) + "\r\n" + line);
    EXPECT_EQ(bytesOf(daily), whole + line + line);
}

TEST_F(Records, AFailedSyncSaysWhy) {
    // A pipe where the master file belongs takes the line but cannot be synced.
    ASSERT_EQ(::mkfifo((record / "master record.csv").c_str(), 0600), 0);
    const std::string message = failure();
    EXPECT_TRUE(message.ends_with(": Invalid argument")) << message;
}

/// A file-size limit stands in for a disk that fills: writes beyond `bytes` fail.
struct FullDisk {
    explicit FullDisk(std::size_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    rlimit old{};
};

TEST_F(Records, AWriteCutShortByAFullDiskLeavesNoTornLine) {
    writeMeasurementRecord(m.ctx);
    const fs::path master = record / "master record.csv";
    const std::string before = bytesOf(master);

    {
        FullDisk full(before.size() + 10);  // the disk fills mid-line
        errno = ENOENT;                     // left by an earlier call: not the cause
        try {
            appendWhole(master, std::string(60, 'x') + "\r\n");
            ADD_FAILURE() << "written";
        } catch (const FileError& e) {
            // The window's notice names the cause.
            recordsFailed(m.ctx, e.what(), true);
            EXPECT_TRUE(m.form.notice.caption.ends_with("（No space left on device）")) << m.form.notice.caption;
        }
    }

    EXPECT_EQ(bytesOf(master), before);
    writeMeasurementRecord(m.ctx);  // the next minute writes again
    const std::string after = bytesOf(master);
    EXPECT_EQ(after.compare(0, before.size(), before), 0);
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), std::count(before.begin(), before.end(), '\n') + 1);
}

TEST_F(Records, AFileCreatedOnAFullDiskGetsItsHeadersWhenSpaceReturns) {
    captionsOfMay31();
    {
        FullDisk full(10);  // the new files are created, but nothing fits
        EXPECT_THROW(writeMeasurementRecord(m.ctx), FileError);
    }
    m.clock.time = {2026, 5, 31, 23, 59, 0};
    writeMeasurementRecord(m.ctx);
    EXPECT_EQ(bytesOf(record / "master record.csv"), golden("2026-05-31.csv"));
    EXPECT_EQ(bytesOf(record / "2026_05/2026-05-31.csv"), golden("2026-05-31.csv"));
}

}  // namespace
}  // namespace rx47
