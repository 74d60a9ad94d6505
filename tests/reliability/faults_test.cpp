// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The real program on a failing disk and with every kind of bad settings file: it starts, keeps
// monitoring (the device is asked for its report at every minute), takes up writing again when it
// can, and nothing it wrote is damaged. The program runs under a fake clock sixty times faster than
// the real one, so that a minute passes every second; its timers keep real time.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "sim/simulator.h"
#include "storage/settings_row.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/real_program.h"
#include "support/simulated_device.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::bytesOf;
using test::LaunchOptions;
using test::ProgramCopy;
using test::RealProgram;

const LocalDateTime kStart{2026, 5, 7, 9, 29, 40};

LaunchOptions fastClock() {
    LaunchOptions options;
    options.fakeStart = kStart;
    options.fakeSpeed = 60;
    return options;
}

/// The device on port 1 of a program folder, open to whichever user the program runs as.
struct Device {
    explicit Device(const ProgramCopy& folder) : sim(test::deviceOn(folder.port(1))) {
        ::chmod(sim.ptyPath().c_str(), 0666);
    }
    int shows() const { return test::timesReceived(sim, "show"); }
    /// The program asks for `more` further reports: its per-minute update runs.
    bool keepsAsking(int more = 2, std::chrono::seconds timeout = 60s) {
        const int from = shows();
        return test::waitFor([&] { return shows() >= from + more; }, timeout);
    }
    rx47sim::Simulator sim;
};

int dataLinesIn(const fs::path& folder) {
    return test::checkRecordFolder(folder).dataLines;
}

void expectRecordsWhole(const ProgramCopy& folder) {
    const auto records = test::checkRecordFolder(folder.recordFolder());
    EXPECT_TRUE(records.problems.empty()) << records.problems.front();
}

void expectEndsInOrder(RealProgram& program) {
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

/// No journal and no temporary settings file left behind.
void expectNoLeftovers(const ProgramCopy& folder) {
    EXPECT_FALSE(fs::exists(folder.settingsFile().string() + "-journal"));
    EXPECT_FALSE(fs::exists(folder.path() / kSettingsTempFileName));
}

/// The supplied settings, whole, with the exit counted once more.
void expectSuppliedSettingsCountedTwice(const ProgramCopy& folder) {
    const auto settings = test::checkSettingsFile(folder.settingsFile());
    EXPECT_EQ(settings.problem, "");
    EXPECT_EQ(test::settingDifferences(settings.row, test::suppliedSettings(), {"running"}),
              std::vector<std::string>{});
    EXPECT_EQ(std::get<std::int64_t>(settings.row.at("running")), 2);
}

// ---- bad settings files ----

/// Writes a settings file with SQLCipher: the given key (none: plain SQLite) and statements.
void makeDatabase(const fs::path& file, const char* key, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    if (key) sqlite3_key(db, key, static_cast<int>(std::strlen(key)));
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close_v2(db);
}

/// The supplied table (its columns as stored) with the given rows of SQL values.
std::string settingsTable(const std::vector<std::string>& rows, const std::vector<std::string>& only = {}) {
    std::string columns;
    int count = 0;
    for (const auto& [name, value] : test::suppliedSettings()) {
        if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
        columns += (count++ ? ", \"" : "\"") + name + "\"";
    }
    std::string sql = "CREATE TABLE setting (" + columns + ");";
    for (const std::string& row : rows) {
        std::string values;
        for (int i = 0; i < count; ++i) values += (i ? ", " : "") + row;
        sql += "INSERT INTO setting VALUES (" + values + ");";
    }
    return sql;
}

struct BadFile {
    std::string name;
    std::function<void(const fs::path&)> make;
    bool readable;  ///< SQLCipher opens it with the key and finds a row
};

std::vector<BadFile> badFiles() {
    return {
        {"missing", [](const fs::path&) {}, false},
        {"empty", [](const fs::path& f) { std::ofstream{f}; }, false},
        {"random bytes",
         [](const fs::path& f) {
             std::mt19937 random(47);
             std::ofstream out(f, std::ios::binary);
             for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(random()));
         },
         false},
        {"plain SQLite", [](const fs::path& f) { makeDatabase(f, nullptr, settingsTable({"1"})); }, false},
        {"wrong key", [](const fs::path& f) { makeDatabase(f, "wrong", settingsTable({"1"})); }, false},
        {"no row", [](const fs::path& f) { makeDatabase(f, kSettingsPassword, settingsTable({})); }, false},
        {"columns missing",
         [](const fs::path& f) {
             makeDatabase(f, kSettingsPassword, settingsTable({"1"}, {"COMport", "running", "gkeisuu", "graphcolor"}));
         },
         true},
        {"NULLs", [](const fs::path& f) { makeDatabase(f, kSettingsPassword, settingsTable({"NULL"})); }, true},
        {"a trigger that switches the alarms off at every save",
         [](const fs::path& f) {
             makeDatabase(f, kSettingsPassword,
                          settingsTable({"1"}) +
                              "CREATE TRIGGER quiet AFTER UPDATE ON setting BEGIN "
                              "UPDATE setting SET warnCPMlevel=30000, warning=0; END;");
         },
         false},
        {"two rows",
         [](const fs::path& f) {
             makeDatabase(f, kSettingsPassword, settingsTable({"1", "7"}));
         },
         true},
    };
}

TEST(BadSettingsFile, EachKindStartsMonitorsAndIsLeftAsItWas) {
    // All at once, one program folder, device and program each.
    struct Case {
        BadFile file;
        std::unique_ptr<ProgramCopy> folder;
        std::unique_ptr<Device> device;
        std::unique_ptr<RealProgram> program;
        std::string before;
        test::SettingsFileCheck readBefore;
    };
    std::vector<Case> cases;
    for (const BadFile& file : badFiles()) {
        Case c{file, std::make_unique<ProgramCopy>(false), nullptr, nullptr, "", {}};
        file.make(c.folder->settingsFile());
        c.before = bytesOf(c.folder->settingsFile());
        if (file.readable) c.readBefore = test::checkSettingsFile(c.folder->settingsFile());
        c.device = std::make_unique<Device>(*c.folder);
        cases.push_back(std::move(c));
    }
    for (Case& c : cases) c.program = std::make_unique<RealProgram>(*c.folder, fastClock());

    for (Case& c : cases) {
        SCOPED_TRACE(c.file.name);
        // It starts and monitors: without settings the port search finds the device.
        EXPECT_TRUE(c.device->keepsAsking(2, 90s));
        expectEndsInOrder(*c.program);
        const fs::path file = c.folder->settingsFile();
        expectRecordsWhole(*c.folder);
        expectNoLeftovers(*c.folder);
        if (c.file.name == "missing") {
            EXPECT_FALSE(fs::exists(file));  // the program never makes one
        } else if (!c.file.readable) {
            EXPECT_EQ(bytesOf(file), c.before);  // nothing it cannot read is written over
        } else {
            // Readable: it may store what it learnt, but the file stays whole and keeps its shape.
            const auto check = test::checkSettingsFile(file);
            EXPECT_TRUE(check.problem.empty() || check.problem == "2 rows") << check.problem;
            ASSERT_EQ(check.everyRow.size(), c.readBefore.everyRow.size());
            for (std::size_t i = 1; i < check.everyRow.size(); ++i)  // only the first is its
                EXPECT_TRUE(check.everyRow[i] == c.readBefore.everyRow[i]) << "row " << i + 1;
            EXPECT_EQ(check.row.size(), c.readBefore.row.size());
        }
    }
}

// ---- the disk ----

/// A small file system of its own for the program folder, when this machine lets the tests mount
/// one (root with the right to mount).
class SmallFileSystem {
public:
    explicit SmallFileSystem(std::uintmax_t bytes) {
        path_ = fs::temp_directory_path() / ("rx47-fs-" + std::to_string(::getpid()));
        fs::create_directories(path_);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::mount("rx47-test", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    bool mounted() const { return mounted_; }
    const fs::path& path() const { return path_; }

    /// Fills what is left with a file.
    void fill() {
        std::ofstream out(path_ / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
        out.close();
        std::ofstream tail(path_ / "filler-tail", std::ios::binary);
        while (tail.put('x')) tail.flush();
    }
    void free() {
        fs::remove(path_ / "filler");
        fs::remove(path_ / "filler-tail");
    }

private:
    fs::path path_;
    bool mounted_ = false;
};

TEST(FullDisk, TheProgramMonitorsOnAFullDiskAndTakesUpItsRecordsWhenThereIsRoom) {
    const std::uintmax_t programSize = fs::file_size(fs::path(RX47_PROGRAM_FOLDER) / "rx47-monitor") +
                                       fs::file_size(fs::path(RX47_PROGRAM_FOLDER) / "RX47.wav");
    SmallFileSystem disk(programSize + (1 << 20));
    std::unique_ptr<ProgramCopy> folder;
    LaunchOptions options = fastClock();
    if (disk.mounted()) {
        std::cout << "[ disk     ] a tmpfs of " << (programSize >> 20) + 1 << " MiB, filled\n";
        folder = std::make_unique<ProgramCopy>(disk.path(), true);
        disk.fill();
    } else {
        // No mounting here: a file-size limit of 0 stands in for the full disk (every write that
        // would grow a file fails, as with no room left).
        std::cout << "[ disk     ] no tmpfs here: a file-size limit stands in for the full disk\n";
        folder = std::make_unique<ProgramCopy>(true);
        options.fileSizeLimit = 0;
    }
    const std::string settingsBefore = bytesOf(folder->settingsFile());
    Device device(*folder);
    RealProgram program(*folder, options);

    // It starts on the full disk and keeps monitoring; nothing is written.
    EXPECT_TRUE(device.keepsAsking(3));
    EXPECT_EQ(dataLinesIn(folder->recordFolder()), 0);
    expectRecordsWhole(*folder);
    EXPECT_EQ(bytesOf(folder->settingsFile()), settingsBefore);

    // Room again: the records go on.
    if (disk.mounted())
        disk.free();
    else
        ASSERT_TRUE(program.setFileSizeLimit(-1));
    EXPECT_TRUE(test::waitFor([&] { return dataLinesIn(folder->recordFolder()) >= 2; }, 30s));
    expectEndsInOrder(program);

    expectRecordsWhole(*folder);
    expectSuppliedSettingsCountedTwice(*folder);  // the exit was counted once there was room for it
}

/// Read-only for the program: permissions bind it (as root the program runs as an ordinary user).
LaunchOptions asOrdinaryUser() {
    LaunchOptions options = fastClock();
    options.ordinaryUser = true;
    return options;
}

TEST(ReadOnlyRecords, NothingIsWrittenUntilTheFolderIsWritableAgainAndNothingOldIsLost) {
    ProgramCopy folder;
    const fs::path record = folder.recordFolder();
    const fs::path month = record / "2026_05";
    fs::create_directories(month);
    const fs::path master = record / "master record.csv";
    fs::copy_file(fs::path(RX47_SOURCE_DIR) / "tests/data/records/master record.csv", master);
    const std::string old = bytesOf(master);
    Device device(folder);
    RealProgram program(folder, asOrdinaryUser());  // hands the folder to the program's user
    ASSERT_TRUE(test::waitFor([&] { return device.shows() > 0; }, 30s));
    for (const fs::path& p : {record, month}) fs::permissions(p, fs::perms(0555));
    fs::permissions(master, fs::perms(0444));

    EXPECT_TRUE(device.keepsAsking(3));
    const int before = dataLinesIn(record);
    EXPECT_TRUE(device.keepsAsking(2));
    EXPECT_EQ(dataLinesIn(record), before);  // nothing could be written

    for (const fs::path& p : {record, month}) fs::permissions(p, fs::perms(0755));
    fs::permissions(master, fs::perms(0644));
    EXPECT_TRUE(test::waitFor(
        [&] { return fs::exists(month / "2026-05-07.csv") && bytesOf(master).size() > old.size(); }, 30s));
    expectEndsInOrder(program);
    expectRecordsWhole(folder);
    EXPECT_EQ(bytesOf(master).compare(0, old.size(), old), 0);  // the old lines are still there, first
}

TEST(ReadOnlySettingsFile, TheProgramRunsOnWhatItReadAndTheFileStaysAsItWas) {
    ProgramCopy folder;
    fs::permissions(folder.settingsFile(), fs::perms(0444));
    const std::string before = bytesOf(folder.settingsFile());
    Device device(folder);
    RealProgram program(folder, asOrdinaryUser());
    EXPECT_TRUE(device.keepsAsking(3));
    // It read its settings: the records are on.
    EXPECT_TRUE(test::waitFor([&] { return dataLinesIn(folder.recordFolder()) > 0; }, 30s));
    expectEndsInOrder(program);
    EXPECT_EQ(bytesOf(folder.settingsFile()), before);
    expectNoLeftovers(folder);
    expectRecordsWhole(folder);
}

TEST(ReadOnlyProgramFolder, TheProgramStartsMonitorsAndEndsWithoutWritingIntoIt) {
    ProgramCopy folder;
    const std::string settingsBefore = bytesOf(folder.settingsFile());
    Device device(folder);
    LaunchOptions options = asOrdinaryUser();
    // Named on the command line: left to itself the program would take its data folder instead.
    options.arguments = {"--folder", folder.path().string()};
    fs::permissions(folder.path(), fs::perms(0555));
    if (::geteuid() != 0 && ::access(folder.path().c_str(), W_OK) == 0) {
        fs::permissions(folder.path(), fs::perms(0755));
        GTEST_SKIP() << "this user writes to read-only folders";
    }
    {
        RealProgram program(folder, options);
        EXPECT_TRUE(device.keepsAsking(3));  // the per-minute update runs, minute after minute
        expectEndsInOrder(program);
    }
    fs::permissions(folder.path(), fs::perms(0755));
    EXPECT_FALSE(fs::exists(folder.recordFolder()));
    EXPECT_EQ(bytesOf(folder.settingsFile()), settingsBefore);  // the exit could not be counted
    expectNoLeftovers(folder);
}

TEST(DeletedSettingsFile, TheProgramRunsOnMakesNoFileAndTakesUpTheFilePutBack) {
    ProgramCopy folder;
    Device device(folder);
    {
        RealProgram program(folder, fastClock());
        ASSERT_TRUE(device.keepsAsking(1));
        fs::remove(folder.settingsFile());
        EXPECT_TRUE(device.keepsAsking(2));
        const int lines = dataLinesIn(folder.recordFolder());
        EXPECT_TRUE(test::waitFor([&] { return dataLinesIn(folder.recordFolder()) > lines; }, 30s));
        expectEndsInOrder(program);
    }
    EXPECT_FALSE(fs::exists(folder.settingsFile()));
    // Nothing of the deleted file is left to be taken for part of a file put back later.
    expectNoLeftovers(folder);

    // The user puts the file back: the next start reads it and counts its exit.
    fs::copy_file(test::suppliedSettingsFile(), folder.settingsFile());
    RealProgram again(folder, fastClock());
    EXPECT_TRUE(device.keepsAsking(2));
    expectEndsInOrder(again);
    expectSuppliedSettingsCountedTwice(folder);
    expectRecordsWhole(folder);
}

}  // namespace
}  // namespace rx47
