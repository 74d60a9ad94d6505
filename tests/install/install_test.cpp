// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The installed program as a user meets it: `cmake --install` into a temporary prefix that nobody
// writes to, the program started with a home of its own, its files in the user's data folder, the
// simulator found through that folder's port table, the history viewer as its menu entry starts it.
// And a rebuild that leaves the build's own program folder alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "storage/settings_row.h"
#include "support/file_checks.h"
#include "support/process.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kBuild = RX47_BUILD_DIR;
const char* const kId = "io.github.rx47.monitor";
const char* const kHistoryId = "io.github.rx47.history";

bool received(const fs::path& simulatorLog, const std::string& command) {
    std::istringstream lines(test::bytesOf(simulatorLog));
    for (std::string line; std::getline(lines, line);)
        if (line.size() > command.size() && line.ends_with(" " + command)) return true;
    return false;
}

void setWritable(const fs::path& folder, bool writable) {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.is_directory())
            fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            writable ? fs::perm_options::add : fs::perm_options::remove, ec);
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("rx47-install-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        const test::Finished install =
            test::runProgram({RX47_CMAKE_COMMAND, "--install", kBuild.string(), "--prefix", prefix().string()});
        installOutput_ = install.output;
        installed_ = install.exitCode == 0;
        // Nobody writes into an installed program's folders.
        if (installed_) setWritable(prefix(), false);
    }
    static void TearDownTestSuite() {
        setWritable(prefix(), true);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void SetUp() override { ASSERT_TRUE(installed_) << installOutput_; }

    static fs::path prefix() { return root_ / "prefix"; }
    static fs::path program(const char* name) { return prefix() / "bin" / name; }
    static fs::path home() { return root_ / "home"; }
    static fs::path userData() { return root_ / "xdg-data" / "rx47-monitor"; }
    /// A user's session: a home and a data folder of its own.
    static std::vector<std::string> session() {
        return {"HOME=" + home().string(), "XDG_DATA_HOME=" + (root_ / "xdg-data").string()};
    }

    static inline fs::path root_;
    static inline bool installed_ = false;
    static inline std::string installOutput_;
};

TEST_F(Installed, PutsTheProgramsSuppliedFilesAndDesktopEntryInPlace) {
    for (const char* name : {"rx47-monitor", "rx47-history", "rx47-sim"})
        EXPECT_EQ(::access(program(name).c_str(), X_OK), 0) << name;
    // The makers of the supplied files are the build's own tools.
    for (const char* name : {"rx47-make-settings", "rx47-make-alarm-sound", "rx47-make-icons"})
        EXPECT_FALSE(fs::exists(program(name))) << name;
    const fs::path data = prefix() / "share" / "rx47-monitor";
    EXPECT_EQ(test::bytesOf(data / "RX47.dat"), test::bytesOf(kBuild / "share" / "rx47-monitor" / "RX47.dat"));
    EXPECT_GT(fs::file_size(data / "RX47.wav"), 1000u);

    // The menu entries of the monitor and of the history viewer, both with the monitor's icon.
    for (const auto& [id, program] : {std::pair{kId, "rx47-monitor"}, std::pair{kHistoryId, "rx47-history"}}) {
        const fs::path entry = prefix() / "share" / "applications" / (std::string(id) + ".desktop");
        const std::string desktop = test::bytesOf(entry);
        EXPECT_NE(desktop.find(std::string("\nExec=") + program + "\n"), std::string::npos) << entry;
        EXPECT_NE(desktop.find(std::string("\nIcon=") + kId + "\n"), std::string::npos) << entry;
        EXPECT_NE(desktop.find("\nName[ja]="), std::string::npos) << entry;
        const test::Finished entryCheck = test::runProgram({"/usr/bin/desktop-file-validate", entry.string()});
        EXPECT_EQ(entryCheck.exitCode, 0) << entryCheck.output;
        EXPECT_EQ(entryCheck.output, "");
    }
    const fs::path metainfo = prefix() / "share" / "metainfo" / (std::string(kId) + ".metainfo.xml");
    EXPECT_NE(test::bytesOf(metainfo).find("<binary>rx47-history</binary>"), std::string::npos);
    const test::Finished metaCheck =
        test::runProgram({"/usr/bin/appstreamcli", "validate", "--no-net", "--pedantic", metainfo.string()});
    EXPECT_EQ(metaCheck.exitCode, 0) << metaCheck.output;

    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const fs::path icon = prefix() / "share/icons/hicolor" / (std::to_string(side) + "x" + std::to_string(side)) /
                              "apps" / (std::string(kId) + ".png");
        EXPECT_EQ(test::bytesOf(icon).substr(1, 3), "PNG") << icon;
    }
    EXPECT_TRUE(fs::exists(prefix() / "share/icons/hicolor/scalable/apps" / (std::string(kId) + ".svg")));
    for (const char* page : {"rx47-monitor.1", "rx47-history.1", "rx47-sim.1"})
        EXPECT_NE(test::bytesOf(prefix() / "share/man/man1" / page).find(".SH EXIT STATUS"), std::string::npos) << page;
}

TEST_F(Installed, EachProgramAnswersHelpVersionAndAMistakeWithoutADisplay) {
    const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    // In a folder of its own: a mistyped option must not become a file there.
    const fs::path here = root_ / "mistakes";
    fs::create_directories(here);
    for (const char* name : {"rx47-monitor", "rx47-history", "rx47-sim"}) {
        const auto run = [&](const std::string& argument) {
            return test::runProgram({"/usr/bin/env", "-C", here.string(), program(name).string(), argument}, noDisplay,
                                    30s);
        };
        const test::Finished version = run("--version");
        EXPECT_EQ(version.exitCode, 0) << name;
        EXPECT_EQ(version.output, std::string(name) + " 1.2\n");
        const test::Finished help = run("--help");
        EXPECT_EQ(help.exitCode, 0) << name;
        EXPECT_NE(help.output.find("--"), std::string::npos) << help.output;
        const test::Finished wrong = run("--colour");
        EXPECT_EQ(wrong.exitCode, 2) << name << ": " << wrong.output;
        EXPECT_NE(wrong.output.find("colour"), std::string::npos) << name << ": " << wrong.output;
    }
    const test::Finished help = test::runProgram({program("rx47-monitor").string(), "--help"}, noDisplay, 30s);
    EXPECT_NE(help.output.find("--folder <folder>"), std::string::npos) << help.output;
    EXPECT_TRUE(fs::is_empty(here));
}

TEST_F(Installed, WatchesTwoCountersFromTheUsersDataFolderAndANamedOne) {
    // The user links the counters into the port tables of two program folders: the data folder
    // (which has nothing else yet) and a folder named on the command line, which is not there yet.
    const fs::path second = root_ / "second counter";
    std::vector<std::unique_ptr<test::Process>> counters, monitors;
    for (const fs::path& folder : {userData(), second}) {
        const fs::path log = root_ / (std::to_string(counters.size()) + ".log");
        counters.push_back(std::make_unique<test::Process>(
            std::vector<std::string>{program("rx47-sim").string(), "--link", (folder / "ports/COM1").string(),
                                     "--interval", "0.5", "--log", log.string()}));
        ASSERT_TRUE(test::waitFor([&] { return fs::is_symlink(folder / "ports/COM1"); }, 10s)) << folder;
        std::vector<std::string> command = {program("rx47-monitor").string()};
        if (folder == second) command.insert(command.end(), {"--folder", second.string()});
        monitors.push_back(std::make_unique<test::Process>(command, session()));
        EXPECT_TRUE(test::waitFor([&] { return received(log, "show"); }, 60s)) << monitors.back()->output();
        EXPECT_TRUE(fs::is_regular_file(folder / "RX47.dat")) << folder;
        EXPECT_TRUE(fs::is_regular_file(folder / "RX47.wav")) << folder;
        EXPECT_TRUE(test::waitFor([&] { return fs::is_directory(folder / "record"); }, 10s)) << folder;
    }

    // A second copy in the same folder says why it ends.
    const test::Finished again = test::runProgram({program("rx47-monitor").string()}, session(), 30s);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.output.find("another copy already runs in " + userData().string()), std::string::npos)
        << again.output;

    for (auto& monitor : monitors) {
        ASSERT_TRUE(monitor->endWith(SIGTERM));
        EXPECT_EQ(monitor->exitCode(), 0);
    }
    for (const fs::path& folder : {userData(), second})
        EXPECT_EQ(test::StoredSettings(folder).int16("running"), 2) << folder;  // the supplied 1, and this exit
    // The installed folders got nothing (as root, too, which may write anywhere).
    EXPECT_FALSE(fs::exists(prefix() / "bin" / "RX47.dat"));
    EXPECT_FALSE(fs::exists(prefix() / "bin" / "record"));
    EXPECT_FALSE(fs::exists(home() / ".local"));
}

TEST_F(Installed, TheHistoryMenuEntryShowsTheMonitorsFolder) {
    // As the menu starts it (its Exec line, no folder), before the monitor ever ran: the window
    // opens and waits for the user's data folder rather than failing where nobody sees it.
    const std::string desktop =
        test::bytesOf(prefix() / "share" / "applications" / (std::string(kHistoryId) + ".desktop"));
    const std::size_t exec = desktop.find("\nExec=") + 6;
    const std::string command = desktop.substr(exec, desktop.find('\n', exec) - exec);
    ASSERT_EQ(command.find(' '), std::string::npos) << command;
    const fs::path data = root_ / "menu-data";
    const std::vector<std::string> session = {"HOME=" + home().string(), "XDG_DATA_HOME=" + data.string(),
                                              "PATH=" + (prefix() / "bin").string() + ":/usr/bin:/bin"};
    {
        test::Process window({(prefix() / "bin" / command).string()}, session);
        const std::string waiting = "no program folder " + (data / "rx47-monitor").string() + " yet";
        EXPECT_TRUE(test::waitFor([&] { return window.output().find(waiting) != std::string::npos; }, 30s))
            << window.output();
        ASSERT_TRUE(window.endWith(SIGTERM));
        EXPECT_EQ(window.exitCode(), -1) << "it ended on its own: " << window.output();
    }
    // The same folder's records once the monitor wrote them, here through --csv.
    fs::create_directories(data / "rx47-monitor" / "record");
    std::ofstream(data / "rx47-monitor" / "record" / "master record.csv", std::ios::binary)
        << "2026-05-01,12:00:01,1000,24,0.200,21,0.175,21,0.175,20,0.166\r\n";
    std::vector<std::string> csv = session;
    csv.push_back("TZ=UTC");
    const test::Finished records = test::runProgram({(prefix() / "bin" / command).string(), "--csv", "-"}, csv, 30s);
    EXPECT_EQ(records.exitCode, 0) << records.output;
    EXPECT_NE(records.output.find("2026-05-01T12:00:01+00:00,21,"), std::string::npos) << records.output;
}

TEST(Build, ItsToolsRejectAMistypedOptionAndWriteNoFileOfItsName) {
    const fs::path here = fs::temp_directory_path() / ("rx47-tools-" + std::to_string(::getpid()));
    fs::remove_all(here);
    fs::create_directories(here);
    const std::vector<std::vector<std::string>> mistakes = {
        {"tools/rx47-make-alarm-sound", "--help"},         // answered, not a file name
        {"tools/rx47-make-alarm-sound", "--hlep"},         //
        {"tools/rx47-make-settings", "--legcy", "x.dat"},  //
        {"bin/rx47-sim", "--link", "--log", "sim.log"},    // the link's value forgotten
    };
    for (const auto& mistake : mistakes) {
        std::vector<std::string> command = {"/usr/bin/env", "-C", here.string(), (kBuild / mistake[0]).string()};
        command.insert(command.end(), mistake.begin() + 1, mistake.end());
        const test::Finished run = test::runProgram(command, {}, 30s);
        EXPECT_EQ(run.exitCode, mistake[1] == "--help" ? 0 : 2)
            << mistake[0] << " " << mistake[1] << ": " << run.output;
        if (mistake[1] != "--help") {
            EXPECT_NE(run.output.find(mistake[1]), std::string::npos) << run.output;
        }
        EXPECT_NE(run.output.find("usage: "), std::string::npos) << run.output;
    }
    EXPECT_TRUE(fs::is_empty(here));
    fs::remove_all(here);
}

TEST(Build, ARebuildLeavesTheProgramFoldersSettingsAlone) {
    const fs::path settings = kBuild / "bin" / "RX47.dat";
    const fs::path supplied = kBuild / "share" / "rx47-monitor" / "RX47.dat";
    const std::vector<std::string> rebuild = {RX47_CMAKE_COMMAND,    "--build",         kBuild.string(), "--target",
                                              "rx47-settings-files", "rx47-alarm-sound"};
    test::Finished build = test::runProgram(rebuild);
    ASSERT_EQ(build.exitCode, 0) << build.output;
    ASSERT_TRUE(fs::exists(settings));
    const std::string before = test::bytesOf(settings);
    const std::string suppliedBefore = test::bytesOf(supplied);

    // As after a change to rx47-make-settings: the supplied file is made again (every new file
    // differs, by its salt), and the program folder's file stays as it was.
    fs::remove(supplied);
    build = test::runProgram(rebuild);
    ASSERT_EQ(build.exitCode, 0) << build.output;
    ASSERT_TRUE(fs::exists(supplied));
    EXPECT_NE(test::bytesOf(supplied), suppliedBefore);
    EXPECT_EQ(test::bytesOf(settings), before);
}

TEST(Build, APackageBuildMakesTheSameSuppliedSettingsFileEveryTime) {
    // dpkg-buildpackage sets SOURCE_DATE_EPOCH: two builds then make the same RX47.dat, and the
    // program reads it as the supplied settings.
    const fs::path folder = fs::temp_directory_path() / ("rx47-reproducible-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    std::vector<std::string> files;
    for (const char* name : {"one", "two"}) {
        fs::create_directories(folder / name);
        const std::string file = (folder / name / "RX47.dat").string();
        const test::Finished made = test::runProgram({(kBuild / "tools" / "rx47-make-settings").string(), file},
                                                     {"SOURCE_DATE_EPOCH=1796731200"});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        files.push_back(test::bytesOf(file));
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_NE(files[0].substr(0, 16), std::string(16, '\0'));
    {
        const test::StoredSettings settings(folder / "two");
        EXPECT_EQ(settings.int16("gkeisuu"), 120);
        EXPECT_EQ(settings.int16("warnCPMlevel"), 100);
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace rx47
