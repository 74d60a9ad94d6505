// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Which folder the program keeps its files in when none is named, and how a program folder gets the
// supplied files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "storage/folder_trust.h"
#include "storage/leftovers.h"
#include "storage/program_folder.h"
#include "support/file_checks.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;

/// An environment variable for one test, put back after.
struct Environment {
    explicit Environment(const char* name) : name(name) {
        if (const char* v = std::getenv(name)) old = v;
    }
    ~Environment() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    void set(const char* value) { ::setenv(name, value, 1); }
    void unset() { ::unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ProgramFolder, AWritableProgramFolderIsItsOwnElseTheUsersDataFolder) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    Environment xdg("XDG_DATA_HOME");
    Environment home("HOME");
    xdg.set("/srv/data");
    EXPECT_EQ(defaultProgramFolder(folder.path()), folder.path());
    // A folder the program may not write to (here one that is not there at all; as root every
    // existing folder is writable) sends it to the user's data folder.
    EXPECT_EQ(defaultProgramFolder(folder.path() / "usr" / "bin"), fs::path("/srv/data/rx47-monitor"));

    // An installed program: bin/ beside share/rx47-monitor. Writable or not (root, an install under
    // ~/.local), it keeps its files in the user's data folder...
    const fs::path bin = folder.path() / "prefix" / "bin";
    fs::create_directories(bin);
    fs::create_directories(folder.path() / "prefix" / "share" / "rx47-monitor");
    EXPECT_EQ(suppliedFilesFolder(bin), folder.path() / "prefix" / "share" / "rx47-monitor");
    EXPECT_EQ(defaultProgramFolder(bin), fs::path("/srv/data/rx47-monitor"));
    // ...unless its folder holds the program's files, as the build's bin/ does (even when the settings
    // file was deleted to start again from the supplied one).
    test::writeBytes(bin / "RX47.wav", "sound");
    EXPECT_EQ(defaultProgramFolder(bin), bin);

    // Without XDG_DATA_HOME, or with a relative one (which does not count), it lies under the home.
    home.set("/home/someone");
    xdg.unset();
    EXPECT_EQ(userDataFolder(), fs::path("/home/someone/.local/share/rx47-monitor"));
    xdg.set("relative/data");
    EXPECT_EQ(userDataFolder(), fs::path("/home/someone/.local/share/rx47-monitor"));
}

TEST(ProgramFolder, SeedingCopiesTheSuppliedFilesOnlyWhereNoneIs) {
    test::TempProgramFolder temp(test::TempProgramFolder::Settings::None);
    const fs::path supplied = temp.path() / "share";
    fs::create_directories(supplied);
    test::writeBytes(supplied / "RX47.dat", "supplied settings");
    test::writeBytes(supplied / "RX47.wav", "supplied sound");

    // First start: the folder is made and gets both.
    const fs::path folder = temp.path() / "data" / "rx47-monitor";
    SeedReport report = seedProgramFolder(folder, supplied);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.copied.size(), 2u);
    EXPECT_EQ(test::bytesOf(folder / "RX47.dat"), "supplied settings");
    EXPECT_EQ(test::bytesOf(folder / "RX47.wav"), "supplied sound");
    EXPECT_EQ(entries(folder), (std::vector<std::string>{"RX47.dat", "RX47.wav"}));  // no temporary left

    // The user's settings stay; a deleted file comes back.
    test::writeBytes(folder / "RX47.dat", "the user's settings");
    fs::remove(folder / "RX47.wav");
    report = seedProgramFolder(folder, supplied);
    EXPECT_EQ(report.copied, std::vector<fs::path>{folder / "RX47.wav"});
    EXPECT_EQ(test::bytesOf(folder / "RX47.dat"), "the user's settings");

    // A link named RX47.dat, even to nothing, is the user's too.
    fs::remove(folder / "RX47.dat");
    fs::create_symlink(temp.path() / "elsewhere.dat", folder / "RX47.dat");
    report = seedProgramFolder(folder, supplied);
    EXPECT_TRUE(report.copied.empty());
    EXPECT_TRUE(fs::is_symlink(folder / "RX47.dat"));

    // Nothing supplied: a folder without settings says so; a missing sound is no failure.
    const fs::path bare = temp.path() / "bare";
    report = seedProgramFolder(bare, temp.path() / "nothing");
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("RX47.dat"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(bare));

    // A folder that cannot be made.
    test::writeBytes(temp.path() / "a file", "");
    report = seedProgramFolder(temp.path() / "a file" / "rx47-monitor", supplied);
    EXPECT_EQ(report.failures.size(), 1u);
}

TEST(ProgramFolder, AStartRemovesTheProgramsOwnLeftoversAndNothingElse) {
    test::TempProgramFolder folder;
    const fs::path textfiles = folder.path() / "textfiles";
    fs::create_directory(textfiles);
    const std::vector<std::string> leftovers{".RX47.dat.a1B2c3", ".RX47.wav.XyZ789", "RX47_tmp.dat",
                                             "RX47_tmp.dat-journal"};
    const std::vector<std::string> others{
        ".RX47.dat.a1B2c", ".RX47.dat.a1B2c3.bak", ".RX47.dat.a1-2c3", "RX47_tmp.dat.1", "notes.txt", "RX47.wav"};
    for (const auto& name : leftovers) test::writeBytes(folder.path() / name, "left");
    for (const auto& name : others) test::writeBytes(folder.path() / name, "kept");
    for (const auto& name : {".rx47.prom.Q8w2Ee", "rx47.prom.tmp-4711"}) test::writeBytes(textfiles / name, "left");
    for (const auto& name : {"rx47.prom", "rx47.prom.tmp-", "other.prom.tmp-4711"})
        test::writeBytes(textfiles / name, "kept");
    // A link with a leftover's name is not followed and stays, and so does its target.
    test::writeBytes(folder.path() / "target", "kept");
    fs::create_symlink(folder.path() / "target", textfiles / ".rx47.prom.L1nked");
    // Another user's file of such a name (as root, who can make one) stays.
    const bool root = ::geteuid() == 0;
    if (root) {
        test::writeBytes(textfiles / ".rx47.prom.Others", "kept");
        ASSERT_EQ(::chown((textfiles / ".rx47.prom.Others").c_str(), 1, 1), 0);
    }

    test::RecordingLogSink lines;
    FailureLog log(&lines);
    removeLeftovers(folder.path(), textfiles / "rx47.prom", log);
    std::vector<std::string> kept = others;
    kept.insert(kept.end(), {"RX47.dat", "target", "textfiles"});
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(folder.path()), kept);
    std::vector<std::string> keptMetrics{".rx47.prom.L1nked", "other.prom.tmp-4711", "rx47.prom", "rx47.prom.tmp-"};
    if (root) keptMetrics.insert(keptMetrics.begin() + 1, ".rx47.prom.Others");
    EXPECT_EQ(entries(textfiles), keptMetrics);
    EXPECT_EQ(test::bytesOf(folder.path() / "target"), "kept");
    EXPECT_EQ(lines.count(LogCategory::Program, "left by a run that did not end in order"), 6);

    // Without the settings file the compaction's copy may be all there is of the settings: it stays.
    fs::remove(folder.settingsFile());
    test::writeBytes(folder.path() / "RX47_tmp.dat", "the settings");
    removeLeftovers(folder.path(), {}, log);
    EXPECT_TRUE(fs::exists(folder.path() / "RX47_tmp.dat"));
}

TEST(ProgramFolder, CopiesStartedTogetherPutExactlyOneSettingsFileInPlace) {
    test::TempProgramFolder temp(test::TempProgramFolder::Settings::None);
    const fs::path supplied = temp.path() / "share";
    fs::create_directories(supplied);
    test::writeBytes(supplied / "RX47.dat", std::string(1 << 20, 's'));  // large enough for copies to overlap
    const fs::path folder = temp.path() / "rx47-monitor";

    std::vector<SeedReport> reports(6);
    std::vector<std::thread> starts;
    for (auto& report : reports) starts.emplace_back([&] { report = seedProgramFolder(folder, supplied); });
    for (auto& start : starts) start.join();

    std::size_t placed = 0;
    for (const auto& report : reports) {
        EXPECT_TRUE(report.failures.empty());
        placed += report.copied.size();
    }
    EXPECT_EQ(placed, 1u);
    EXPECT_EQ(test::bytesOf(folder / "RX47.dat"), test::bytesOf(supplied / "RX47.dat"));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"RX47.dat"});
}

TEST(ProgramFolder, LinksTheUserMadeAreFollowedAndJudgedExceptThePortTablesDevices) {
    test::TempProgramFolder folder;
    const uid_t user = ::geteuid();
    const fs::path elsewhere = folder.path() / "elsewhere";
    fs::create_directories(elsewhere / "2026_12");
    fs::create_directories(folder.path() / "ports");
    // The records on another disk, a port table entry that leads to a device every user may write.
    fs::create_directory_symlink(elsewhere, folder.path() / "record");
    fs::create_symlink("/dev/null", folder.path() / "ports" / "COM1");
    EXPECT_EQ(programFolderRefusal(folder.path(), user), "");

    // What a link leads to is held to the same rule.
    fs::permissions(elsewhere / "2026_12", fs::perms::all);
    EXPECT_NE(programFolderRefusal(folder.path(), user)
                  .find((folder.path() / "record" / "2026_12").string() + " can be written by every user"),
              std::string::npos);
    fs::permissions(elsewhere / "2026_12", fs::perms::others_write | fs::perms::group_write, fs::perm_options::remove);
    // A folder that is not there yet is made by the program: only the way to it is judged.
    EXPECT_EQ(programFolderRefusal(folder.path() / "new" / "folder", user), "");

    if (user != 0) GTEST_SKIP() << "links of another user need root to make";
    const uid_t other = 65534;
    fs::create_symlink("/dev/zero", folder.path() / "ports" / "COM2");
    ::lchown((folder.path() / "ports" / "COM2").c_str(), other, other);
    EXPECT_NE(programFolderRefusal(folder.path(), user)
                  .find((folder.path() / "ports" / "COM2").string() + " is a link that the user nobody put there"),
              std::string::npos);
    fs::remove(folder.path() / "ports" / "COM2");
    // A link on the way to the program folder that another user could turn elsewhere.
    const fs::path way = folder.path().string() + ".way";
    fs::create_directory_symlink(folder.path(), way);
    ::lchown(way.c_str(), other, other);
    EXPECT_NE(programFolderRefusal(way, user).find(way.string() + " is a link that the user nobody made"),
              std::string::npos);
    fs::remove(way);
}

}  // namespace
}  // namespace rx47
