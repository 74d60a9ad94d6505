// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings database against real encrypted files: each test works on a copy of the supplied
// RX47.dat in a program folder of its own.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/failure.h"
#include "base/log.h"
#include "storage/settings_row.h"
#include "support/fakes.h"
#include "support/file_checks.h"
#include "support/program_folder.h"

namespace fs = std::filesystem;
using rx47::SettingsRow;
using rx47::SettingValue;
using rx47::test::bytesOf;

namespace {

const fs::path kSuppliedFile = fs::path(RX47_SUPPLIED_FOLDER) / "RX47.dat";
const fs::path kLegacyFile = fs::path(RX47_TEST_DATA) / "RX47_legacy.dat";

/// A connection of the plain SQLite API to a file, with a key (none: without one).
struct Raw {
    sqlite3* db = nullptr;
    int opened;
    explicit Raw(const fs::path& file, const char* key = "tamelox",
                 int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
        : opened(sqlite3_open_v2(file.c_str(), &db, flags, nullptr)) {
        if (opened == SQLITE_OK && key) opened = sqlite3_key(db, key, static_cast<int>(std::strlen(key)));
    }
    ~Raw() { sqlite3_close_v2(db); }
    int exec(const std::string& sql) {
        return opened != SQLITE_OK ? opened : sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    /// The given columns of a query's rows, row by row, as text.
    std::vector<std::string> values(const char* sql, std::initializer_list<int> columns = {0}) {
        std::vector<std::string> all;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            for (int i : columns) all.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
        sqlite3_finalize(stmt);
        return all;
    }
};

/// Opens a file read-only, optionally with a key, and runs one query.
int queryWithKey(const fs::path& file, const char* key, const char* sql) {
    return Raw(file, key, SQLITE_OPEN_READONLY).exec(sql);
}

/// Runs SQL on a settings file with its key.
void alter(const fs::path& file, const std::string& sql) {
    EXPECT_EQ(Raw(file).exec(sql), SQLITE_OK) << sql;
}

/// Every column of the row by its stored name.
std::map<std::string, SettingValue> allValues(const fs::path& folder) {
    const rx47::test::StoredSettings row(folder);
    std::map<std::string, SettingValue> values;
    for (const rx47::ColumnInfo& c : rx47::kSettingsColumns) values[std::string(c.name)] = row.value(c.name);
    return values;
}

class SettingsTest : public ::testing::Test {
protected:
    fs::path file() const { return folder.path() / "RX47.dat"; }
    fs::path temp() const { return folder.path() / "RX47_tmp.dat"; }
    void reopen() {
        row.close();
        row.open(folder.path());
    }
    /// Writes and commits one column through a row of its own.
    void store(const char* column, SettingValue value) {
        SettingsRow writer;
        writer.open(folder.path());
        writer.write(column, std::move(value));
        writer.commit();
    }
    /// The settings file replaced by a copy of `source`.
    void replaceFile(const fs::path& source) {
        fs::remove(file());
        fs::copy_file(source, file());
    }

    rx47::test::TempProgramFolder folder;  // with the supplied settings file
    rx47::test::RecordingLogSink lines;
    rx47::FailureLog log{&lines};
    SettingsRow row;
    SettingsTest() { row.setLog(&log); }
};

// ---- the supplied file ----

TEST_F(SettingsTest, TheFileIsEncryptedWithThePasswordOrTheKeyTheLibraryDerivesFromIt) {
    EXPECT_EQ(queryWithKey(file(), nullptr, "SELECT * FROM setting"), SQLITE_NOTADB);
    EXPECT_EQ(queryWithKey(file(), "wrong", "SELECT * FROM setting"), SQLITE_NOTADB);
    EXPECT_EQ(queryWithKey(file(), "tamelox", "SELECT * FROM setting"), SQLITE_OK);
    EXPECT_EQ(Raw(file(), "tamelox", SQLITE_OPEN_READONLY).values("SELECT count(*) FROM setting"),
              std::vector<std::string>{"1"});

    // The supplied file, the legacy one and a compacted one (a new salt) all open with the derived
    // key directly.
    const std::string derived = rx47::derivedSettingsKey(file());
    ASSERT_EQ(derived.size(), 2 + 64 + 1u);
    EXPECT_EQ(queryWithKey(file(), derived.c_str(), "SELECT * FROM setting"), SQLITE_OK);
    const fs::path legacy = folder.path() / "legacy.dat";
    fs::copy_file(kLegacyFile, legacy);
    EXPECT_EQ(queryWithKey(legacy, rx47::derivedSettingsKey(legacy).c_str(), "SELECT * FROM setting"), SQLITE_OK);
    rx47::compactSettingsDatabase(folder.path());
    EXPECT_NE(rx47::derivedSettingsKey(file()), derived);
    EXPECT_EQ(queryWithKey(file(), rx47::derivedSettingsKey(file()).c_str(), "SELECT * FROM setting"), SQLITE_OK);
    EXPECT_EQ(rx47::derivedSettingsKey(folder.path() / "missing.dat"), "");

    // A library whose own key derivation differs (fewer rounds here, for every new connection of
    // this process) made the file: the derived key does not open it, the password does.
    fs::remove(file());
    ASSERT_EQ(Raw(":memory:", nullptr).exec("PRAGMA cipher_default_kdf_iter = 4000"), SQLITE_OK);
    ASSERT_EQ(Raw(file()).exec("CREATE TABLE setting (COMport SMALLINT); INSERT INTO setting VALUES (5);"), SQLITE_OK);
    EXPECT_NE(queryWithKey(file(), rx47::derivedSettingsKey(file()).c_str(), "SELECT * FROM setting"), SQLITE_OK);
    row.open(folder.path());
    EXPECT_EQ(row.int16("COMport"), 5);
    row.close();
    Raw(":memory:", nullptr).exec("PRAGMA cipher_default_kdf_iter = 64000");
}

TEST_F(SettingsTest, SuppliedFileHoldsEveryDefault) {
    row.open(folder.path());
    std::map<std::string, SettingValue> expected{
        {"CPMscale", std::string("100")}, {"LINEscale", std::string("0.400")}, {"warnLineLevel", 0.5}};
    const std::pair<std::int64_t, std::vector<const char*>> numbers[] = {
        {1, {"COMport", "running"}},
        {0x00C08000, {"graphcolor"}},
        {0x000080FF, {"linecolor"}},
        {0x000000FF, {"warnlinecolor"}},
        {120, {"gkeisuu"}},
        {100, {"warnCPMlevel"}},
        {0, {"buzzer", "startup", "tasktray"}},
        {-1, {"warning", "warnline", "popup", "sound", "flash", "record", "masterrecord", "dailyrecord"}}};
    for (const auto& [value, names] : numbers)
        for (const char* name : names) expected[name] = value;
    EXPECT_EQ(allValues(folder.path()), expected);
    EXPECT_TRUE(row.isTrue("popup"));
    EXPECT_TRUE(row.isFalse("buzzer"));
    EXPECT_FALSE(row.isTrue("buzzer"));
    EXPECT_EQ(row.int32("graphcolor"), 0x00C08000);
    EXPECT_EQ(row.text("warnLineLevel"), "0.5");
    EXPECT_DOUBLE_EQ(row.number("LINEscale"), 0.4);
}

TEST_F(SettingsTest, TheTableOfColumnsIsTheSuppliedFileAndALegacyFileLacksTheRecordingColumns) {
    // Every column of the supplied file is in the program's table, in the same order, with the type
    // the file declares and the value it supplies; and every column of the table is in the file.
    std::vector<std::string> table;  // name, declared type, name...
    for (const rx47::ColumnInfo& c : rx47::kSettingsColumns)
        table.insert(table.end(), {std::string(c.name), std::string(c.storedType)});
    const std::vector<std::string> stored =
        Raw(file(), "tamelox", SQLITE_OPEN_READONLY).values("PRAGMA table_info(setting)", {1, 2});
    EXPECT_EQ(stored, table);

    row.open(folder.path());
    for (const rx47::ColumnInfo& c : rx47::kSettingsColumns) {
        const SettingValue value = row.value(c.name);
        switch (c.kind) {
            case rx47::ColumnKind::Text:
                EXPECT_TRUE(std::holds_alternative<std::string>(value)) << c.name;
                break;
            case rx47::ColumnKind::Decimal:
                EXPECT_TRUE(std::holds_alternative<double>(value)) << c.name;
                break;
            default:
                EXPECT_TRUE(std::holds_alternative<std::int64_t>(value)) << c.name;
        }
        EXPECT_EQ(row.text(c.name), c.supplied) << c.name;
        if (c.range) {
            EXPECT_GE(row.number(c.name), c.range->lowest) << c.name;
            EXPECT_LE(row.number(c.name), c.range->highest) << c.name;
        }
    }

    // A file of an older version lacks exactly the recording switches, and they are neither read
    // nor written.
    row.close();
    replaceFile(kLegacyFile);
    row.open(folder.path());
    for (const rx47::ColumnInfo& c : rx47::kSettingsColumns)
        EXPECT_EQ(row.hasColumn(c.name), c.presence == rx47::Presence::Always) << c.name;
    for (const char* name : {"record", "masterrecord", "dailyrecord"}) {
        EXPECT_FALSE(row.hasColumn(name)) << name;
        EXPECT_THROW(row.isTrue(name), rx47::MissingColumn) << name;
        EXPECT_THROW(row.write(name, std::int64_t{0}), rx47::MissingColumn) << name;
    }
}

// ---- opening ----

TEST_F(SettingsTest, AMissingUnreadableOrEmptyDatabaseFailsToOpen) {
    // No file (none is made); a database readable without the key is not ours; the right key but no row.
    const std::pair<const char*, const char*> files[] = {
        {nullptr, nullptr},
        {nullptr, "CREATE TABLE setting (COMport SMALLINT); INSERT INTO setting VALUES (1);"},
        {"tamelox", "DELETE FROM setting"}};
    for (const auto& [key, sql] : files) {
        SCOPED_TRACE(sql ? sql : "missing");
        fs::remove(file());
        if (key) fs::copy_file(kSuppliedFile, file());
        if (sql) {
            ASSERT_EQ(Raw(file(), key).exec(sql), SQLITE_OK);
        }
        EXPECT_THROW(row.open(folder.path()), rx47::DatabaseError);
        EXPECT_FALSE(row.isOpen());
        EXPECT_EQ(fs::exists(file()), sql != nullptr);
        EXPECT_EQ(fs::is_empty(folder.path()), sql == nullptr);
    }
}

TEST_F(SettingsTest, OpenedAheadOnAWorkerTheRowIsTheSameAndFailsTheSame) {
    // The library must let a connection move to another thread.
    ASSERT_NE(sqlite3_threadsafe(), 0);
    std::map<std::string, SettingValue> expected = allValues(folder.path());
    {
        rx47::SettingsOpenedAhead ahead(folder.path());
        row.setOpener(ahead.opener());
        row.open(folder.path());  // takes the worker's connection
        EXPECT_EQ(row.value("COMport"), expected["COMport"]);
        EXPECT_EQ(row.int16("gkeisuu"), 120);
        row.write("gkeisuu", std::int64_t{95});
        row.commit();  // on this thread
        store("COMport", std::string("4"));
        reopen();  // opens anew: the worker's result is taken once only
        EXPECT_EQ(row.text("COMport"), "4");
        EXPECT_EQ(row.int16("gkeisuu"), 95);
        row.close();
    }

    // A missing file is the same failure through the worker.
    fs::remove(file());
    rx47::SettingsOpenedAhead ahead(folder.path());
    SettingsRow other;
    other.setOpener(ahead.opener());
    EXPECT_THROW(other.open(folder.path()), rx47::DatabaseError);
    EXPECT_FALSE(other.isOpen());
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(SettingsTest, AFileWithMoreThanTheSettingsTableIsRefusedAndLeftAsItIs) {
    struct Crafted {
        const char* sql;
        const char* named;  // what the refusal names
    };
    const Crafted crafted[] = {
        // Switches the alarms off at the next save of any setting.
        {"CREATE TRIGGER quiet AFTER UPDATE ON setting BEGIN UPDATE setting SET warnCPMlevel=30000, warning=0; END",
         "trigger \"quiet\""},
        {"CREATE TABLE ballast (x); CREATE TRIGGER grow AFTER UPDATE ON setting BEGIN "
         "INSERT INTO ballast VALUES (zeroblob(20000000)); END",
         "besides the settings table"},
        {"CREATE VIEW shown AS SELECT * FROM setting", "view \"shown\""},
        {"CREATE TABLE other (x)", "table \"other\""},
        {"CREATE INDEX byPort ON setting (COMport)", "index \"byPort\""},
    };
    for (const Crafted& c : crafted) {
        SCOPED_TRACE(c.sql);
        replaceFile(kSuppliedFile);
        alter(file(), c.sql);
        const std::string before = bytesOf(file());
        try {
            row.open(folder.path());
            ADD_FAILURE() << "opened";
        } catch (const rx47::DatabaseError& e) {
            const std::string message = e.what();
            for (const std::string& part : {file().string(), std::string(c.named), std::string("Move it away")})
                EXPECT_NE(message.find(part), std::string::npos) << message;
        }
        EXPECT_FALSE(row.isOpen());
        EXPECT_THROW(row.commit(), rx47::DatabaseError);
        EXPECT_EQ(bytesOf(file()), before);
        EXPECT_FALSE(fs::exists(file().string() + "-journal"));
    }
    EXPECT_EQ(lines.count(rx47::LogCategory::Settings, "is not used and is left as it is"), 1);  // once until it opens

    // What the library keeps of its own does not act.
    replaceFile(kSuppliedFile);
    alter(file(),
          "ANALYZE; CREATE TABLE counted (id INTEGER PRIMARY KEY AUTOINCREMENT, u UNIQUE);"
          "INSERT INTO counted (u) VALUES (1); DROP TABLE counted;");
    row.open(folder.path());
    EXPECT_EQ(row.int16("gkeisuu"), 120);
}

TEST_F(SettingsTest, AValueLongerThanAnySettingIsNotReadAndStaysInTheFile) {
    alter(file(), "UPDATE setting SET CPMscale = '100' || zeroblob(5000), LINEscale = printf('%1024s', '0.3')");
    row.open(folder.path());
    EXPECT_THROW(row.text("CPMscale"), rx47::TypeMismatch);  // as an empty value: the step is skipped
    EXPECT_EQ(lines.count(rx47::LogCategory::Settings, "setting CPMscale holds 5003 bytes"), 1);
    EXPECT_EQ(row.text("LINEscale").size(), 1024u);  // as long as a value may be
    EXPECT_EQ(row.int16("gkeisuu"), 120);

    // Saving another setting leaves it alone; writing it replaces it.
    row.write("gkeisuu", std::int64_t{95});
    row.commit();
    EXPECT_EQ(queryWithKey(file(), "tamelox", "SELECT 1 FROM setting WHERE length(CPMscale) = 5003"), SQLITE_OK);
    row.write("CPMscale", std::string("200"));
    row.commit();
    reopen();
    EXPECT_EQ(row.text("CPMscale"), "200");
    EXPECT_EQ(row.int16("gkeisuu"), 95);
}

TEST_F(SettingsTest, EveryOperationFailsWhenNotOpen) {
    EXPECT_THROW(row.value("COMport"), rx47::DatabaseError);
    EXPECT_THROW(row.int16("COMport"), rx47::DatabaseError);
    EXPECT_THROW(row.isTrue("popup"), rx47::DatabaseError);
    EXPECT_THROW(row.hasColumn("popup"), rx47::DatabaseError);
    EXPECT_THROW(row.write("COMport", std::int64_t{2}), rx47::DatabaseError);
    EXPECT_THROW(row.commit(), rx47::DatabaseError);
    EXPECT_THROW(rx47::countExit(row), rx47::DatabaseError);

    row.open(folder.path());
    row.close();
    EXPECT_THROW(row.text("COMport"), rx47::DatabaseError);
}

// ---- writing ----

TEST_F(SettingsTest, NamesMatchWithoutRegardToCaseAndOnlyCommittedChangesReachTheFile) {
    row.open(folder.path());
    row.write("warnLineLevel", 1.25);
    EXPECT_EQ(row.number("warnLinelevel"), 1.25);
    EXPECT_TRUE(row.hasColumn("COMPORT"));
    EXPECT_THROW(row.value("nosuchcolumn"), rx47::MissingColumn);
    EXPECT_THROW(row.write("nosuchcolumn", std::int64_t{1}), rx47::MissingColumn);
    row.write("gkeisuu", std::int64_t{150});
    row.writeFlag("buzzer", true);
    row.commit();
    row.write("gkeisuu", std::int64_t{999});  // dropped by close
    reopen();
    EXPECT_EQ(row.value("WARNLINELEVEL"), SettingValue(1.25));
    EXPECT_EQ(row.int16("gkeisuu"), 150);
    EXPECT_TRUE(row.isTrue("buzzer"));
}

TEST_F(SettingsTest, FailedCommitKeepsTheChangesForTheNextCommit) {
    row.open(folder.path());
    row.write("warnCPMlevel", std::int64_t{250});
    {
        // Another connection holding the write lock makes the commit fail.
        Raw other(file());
        ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        EXPECT_THROW(row.commit(), rx47::DatabaseError);
        EXPECT_THROW(row.commit(), rx47::DatabaseError);
        other.exec("ROLLBACK");
    }
    // Never silent, never flooding: one line for the failure, one when it is over.
    EXPECT_EQ(lines.count(rx47::LogCategory::Settings, "not saved"), 1);
    EXPECT_EQ(row.int16("warnCPMlevel"), 250);
    row.commit();
    EXPECT_EQ(lines.count(rx47::LogCategory::Settings, "saved again"), 1);
    reopen();
    EXPECT_EQ(row.int16("warnCPMlevel"), 250);
}

// ---- conversions ----

TEST_F(SettingsTest, TextsConvertOnlyWhenTheyAreNumbersAndAPortWrittenAsTextReadsAsNumberAndText) {
    row.open(folder.path());
    row.write("CPMscale", std::string(" 12.5 "));
    EXPECT_EQ(row.int16("CPMscale"), 12);  // halves go to the even neighbour
    EXPECT_DOUBLE_EQ(row.number("CPMscale"), 12.5);
    row.write("CPMscale", std::string("13.5"));
    EXPECT_EQ(row.int16("CPMscale"), 14);
    for (const char* text : {"", " ", "abc", "12abc", "1 2", "&H10", "inf", "nan", "-"}) {
        row.write("CPMscale", std::string(text));
        EXPECT_THROW(row.int16("CPMscale"), rx47::TypeMismatch) << '"' << text << '"';
        EXPECT_THROW(row.number("CPMscale"), rx47::TypeMismatch) << '"' << text << '"';
        EXPECT_EQ(row.text("CPMscale"), text);
    }
    row.write("warnLineLevel", 0.1 + 0.2);
    EXPECT_EQ(row.text("warnLineLevel"), "0.3");

    row.write("COMport", std::string("3"));
    for (const char* when : {"written", "committed", "reopened"}) {
        if (when[0] == 'c') row.commit();
        if (when[0] == 'r') reopen();
        EXPECT_EQ(row.int16("COMport"), 3) << when;
        EXPECT_EQ(row.text("COMport"), "3") << when;
    }
}

TEST_F(SettingsTest, NumbersOutsideSixteenBitsOverflowAndAnEmptyValueIsNeitherTrueNorFalseNorANumber) {
    store("COMport", std::int64_t{40000});
    store("warnCPMlevel", std::string("-32769"));
    store("buzzer", std::monostate{});
    row.open(folder.path());
    EXPECT_THROW(row.int16("COMport"), rx47::Overflow);
    EXPECT_EQ(row.int32("COMport"), 40000);
    EXPECT_THROW(row.int16("warnCPMlevel"), rx47::Overflow);
    row.write("COMport", std::int64_t{-32768});
    EXPECT_EQ(row.int16("COMport"), -32768);

    EXPECT_EQ(row.value("buzzer"), SettingValue(std::monostate{}));
    EXPECT_FALSE(row.isTrue("buzzer"));
    EXPECT_FALSE(row.isFalse("buzzer"));
    EXPECT_THROW(row.text("buzzer"), rx47::TypeMismatch);
    EXPECT_THROW(row.int16("buzzer"), rx47::TypeMismatch);
    row.write("buzzer", -1.0);
    EXPECT_TRUE(row.isTrue("buzzer"));
}

TEST_F(SettingsTest, ExitCounterComesDueAfterHundredExits) {
    struct Case {
        std::int64_t before, after;
        bool due;
    };
    for (const Case c : {Case{1, 2, false}, Case{99, 100, false}, Case{100, 1, true}}) {
        store("running", c.before);
        row.open(folder.path());
        EXPECT_EQ(rx47::countExit(row), c.due) << c.before;
        row.commit();
        reopen();
        EXPECT_EQ(row.int16("running"), c.after) << c.before;
        row.close();
    }
}

// ---- compaction ----

class CompactionTest : public SettingsTest {
protected:
    void SetUp() override {
        // Settings that differ from the defaults, so a copy of the supplied file would not pass.
        row.open(folder.path());
        row.write("COMport", std::string("3"));
        row.write("warnLineLevel", 0.75);
        row.write("LINEscale", std::string("0.600"));
        row.writeFlag("dailyrecord", false);
        row.commit();
        row.close();
        before = allValues(folder.path());
        std::ofstream(temp()) << "stale half-written copy";
    }
    std::map<std::string, SettingValue> before;
};

TEST_F(CompactionTest, ReplacesTheFileKeepingEverySettingAndTheModeAndWritesThroughALink) {
    const auto inode = [](const fs::path& f) {
        struct stat st {};
        ::stat(f.c_str(), &st);
        return st.st_ino;
    };
    const auto mode = [](const fs::path& f) {
        struct stat st {};
        EXPECT_EQ(::stat(f.c_str(), &st), 0);
        return st.st_mode & 07777;
    };
    const auto oldInode = inode(file());
    ::chmod(file().c_str(), 0600);
    rx47::compactSettingsDatabase(folder.path());
    EXPECT_FALSE(fs::exists(temp()));
    EXPECT_NE(inode(file()), oldInode);  // a new file took the place of the old one
    EXPECT_EQ(mode(file()), 0600u);
    EXPECT_EQ(queryWithKey(file(), nullptr, "SELECT * FROM setting"), SQLITE_NOTADB);
    EXPECT_EQ(allValues(folder.path()), before);

    // RX47.dat a link to the settings kept elsewhere: the target is compacted, the link stays.
    const fs::path elsewhere = folder.path() / "kept";
    fs::create_directory(elsewhere);
    fs::rename(file(), elsewhere / "settings.dat");
    fs::create_symlink("kept/settings.dat", file());
    ::chmod((elsewhere / "settings.dat").c_str(), 0640);
    rx47::compactSettingsDatabase(folder.path());
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(fs::read_symlink(file()), fs::path("kept/settings.dat"));
    EXPECT_FALSE(fs::exists(elsewhere / rx47::kSettingsTempFileName));
    EXPECT_EQ(mode(elsewhere / "settings.dat"), 0640u);
    EXPECT_EQ(queryWithKey(elsewhere / "settings.dat", nullptr, "SELECT * FROM setting"), SQLITE_NOTADB);
    EXPECT_EQ(allValues(folder.path()), before);
}

class CompactionFailureTest : public CompactionTest, public ::testing::WithParamInterface<rx47::CompactionStep> {};

TEST_P(CompactionFailureTest, FailingStepLeavesEverySettingReadable) {
    const auto failing = GetParam();
    std::vector<rx47::CompactionStep> reached;
    EXPECT_THROW(rx47::compactSettingsDatabase(folder.path(),
                                               [&](rx47::CompactionStep step) {
                                                   reached.push_back(step);
                                                   if (step == failing) throw rx47::FileError("injected");
                                               }),
                 rx47::FileError);
    // The steps ran in order up to the failing one.
    ASSERT_EQ(reached.size(), static_cast<std::size_t>(failing) + 1);
    for (std::size_t i = 0; i < reached.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(reached[i]), i);
    EXPECT_EQ(allValues(folder.path()), before);

    // The next compaction clears whatever the failed one left behind.
    rx47::compactSettingsDatabase(folder.path());
    EXPECT_FALSE(fs::exists(temp()));
    EXPECT_EQ(allValues(folder.path()), before);
}

std::string stepName(const ::testing::TestParamInfo<rx47::CompactionStep>& info) {
    static const char* const names[] = {"RemoveStaleTemp", "Export", "SyncTemp", "VerifyTemp", "Replace", "SyncFolder"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EachStep, CompactionFailureTest,
                         ::testing::Values(rx47::CompactionStep::RemoveStaleTemp, rx47::CompactionStep::Export,
                                           rx47::CompactionStep::SyncTemp, rx47::CompactionStep::VerifyTemp,
                                           rx47::CompactionStep::Replace, rx47::CompactionStep::SyncFolder),
                         stepName);

TEST_F(CompactionTest, UnreadableSettingsFileFailsTheExportAndStaysUntouched) {
    fs::remove(temp());
    std::ofstream(file(), std::ios::trunc) << "not a database";
    EXPECT_THROW(rx47::compactSettingsDatabase(folder.path()), rx47::DatabaseError);
    EXPECT_FALSE(fs::exists(temp()));
    EXPECT_EQ(bytesOf(file()), "not a database");

    fs::remove(file());
    EXPECT_THROW(rx47::compactSettingsDatabase(folder.path()), rx47::DatabaseError);
    EXPECT_FALSE(fs::exists(file()));
}

}  // namespace
