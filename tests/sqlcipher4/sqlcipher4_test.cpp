// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings file opens on SQLCipher 3.4 (the library of this build) and on 4.x, both ways: the
// program's settings code and settings-file maker built against a SQLCipher 4 library (the
// sqlcipher4 fixture builds them) against the same code on 3.4 here.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "storage/settings_row.h"
#include "support/process.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;

const fs::path kTools = RX47_SQLCIPHER4_TOOLS;

const std::vector<std::string> kColumns = {
    "COMport",       "graphcolor", "linecolor", "warnlinecolor", "CPMscale", "LINEscale",    "buzzer",
    "startup",       "tasktray",   "running",   "gkeisuu",       "warning",  "warnline",     "warnCPMlevel",
    "warnLineLevel", "popup",      "sound",     "flash",         "record",   "masterrecord", "dailyrecord"};

/// Runs a SQLCipher 4 tool; its output, and a test failure when it fails.
std::string on4(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), (kTools / "settings-sqlcipher4").string());
    const test::Finished run = test::runProgram(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return run.output;
}

/// Every column as "name=text" lines, read here (3.4).
std::string columnsOn3(const fs::path& folder) {
    SettingsRow row;
    row.open(folder);
    std::string lines;
    for (const auto& column : kColumns) lines += column + "=" + row.text(column) + "\n";
    return lines;
}

std::string columnsOn4(const fs::path& folder) {
    std::vector<std::string> arguments = {"read", folder.string()};
    arguments.insert(arguments.end(), kColumns.begin(), kColumns.end());
    return on4(arguments);
}

TEST(SettingsFileOnSqlCipher4, TheOtherLibraryIsSqlCipher4) {
    EXPECT_EQ(on4({"version"}).substr(0, 2), "4.");
}

TEST(SettingsFileOnSqlCipher4, AFileThisProgramWroteOpensThereAndComesBack) {
    // Made by rx47-make-settings, changed and compacted by the program, as over years of use.
    test::TempProgramFolder folder;
    {
        SettingsRow row;
        row.open(folder.path());
        row.write("warnLineLevel", 0.75);
        row.write("CPMscale", std::string("200"));
        row.commit();
    }
    compactSettingsDatabase(folder.path());
    const std::string written = columnsOn3(folder.path());
    EXPECT_EQ(columnsOn4(folder.path()), written);

    // SQLCipher 4 writes, commits and compacts it; this program still reads every column.
    on4({"write", folder.path().string(), "warnCPMlevel", "321"});
    on4({"compact", folder.path().string()});
    SettingsRow row;
    ASSERT_NO_THROW(row.open(folder.path()));
    EXPECT_EQ(row.int16("warnCPMlevel"), 321);
    EXPECT_EQ(row.text("warnLineLevel"), "0.75");
    EXPECT_EQ(row.text("CPMscale"), "200");
}

TEST(SettingsFileOnSqlCipher4, AFileMadeThereOpensHere) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    const test::Finished made =
        test::runProgram({(kTools / "rx47-make-settings-sqlcipher4").string(), folder.settingsFile().string()});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    test::TempProgramFolder supplied;
    EXPECT_EQ(columnsOn3(folder.path()), columnsOn3(supplied.path()));

    // What the pinned format prevents: a file in 4.x's own format does not open here.
    test::TempProgramFolder native(test::TempProgramFolder::Settings::None);
    on4({"native", native.settingsFile().string()});
    SettingsRow row;
    EXPECT_THROW(row.open(native.path()), DatabaseError);
}

}  // namespace
}  // namespace rx47
