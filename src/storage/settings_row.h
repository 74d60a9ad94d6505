// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings row: the one row of table `setting` in the encrypted database "RX47.dat" in the
// program folder. Reads come from the row loaded at open; writes change the row; commit() writes the
// changed columns in one transaction. Column names are matched without regard to case.
//
// A column is named by its constant in storage/settings_columns.h, whose kind says which accessors
// apply: a yes/no column is read with isTrue()/isFalse(), a colour with int32(), and so on.
//
// Every operation on a row that is not open, and every read of a column the row does not have,
// throws a Failure, so a handler skips that statement and goes on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "storage/settings_columns.h"

struct sqlite3;

namespace rx47 {

class FailureLog;

inline constexpr const char* kSettingsFileName = "RX47.dat";
inline constexpr const char* kSettingsTempFileName = "RX47_tmp.dat";
inline constexpr const char* kSettingsPassword = "tamelox";

/// A yes/no column as the file stores it: -1 for true, 0 for false. The program holds bool; the
/// stored values live only here, where the file is read and written.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

/// A stored value: empty (NULL), a whole number, a double or a text.
using SettingValue = std::variant<std::monostate, std::int64_t, double, std::string>;

/// The settings key of a file, as the database library derives it from the password and the salt
/// at the start of the file (PBKDF2-HMAC-SHA1, 64000 rounds), in its raw-key form "x'…'". The
/// library's own derivation takes about three times as long. Empty when the file cannot be read.
std::string derivedSettingsKey(const std::filesystem::path& file);

/// The settings file opened with its key and its row read, not yet in use by a SettingsRow. Opening
/// is the slow part (the key derivation), and it needs nothing of the program: it may run on another
/// thread, and the row then adopts the connection on the thread that uses it.
class PreparedSettings {
public:
    PreparedSettings() = default;
    ~PreparedSettings();
    PreparedSettings(PreparedSettings&& other) noexcept;
    PreparedSettings& operator=(PreparedSettings&& other) noexcept;
    PreparedSettings(const PreparedSettings&) = delete;
    PreparedSettings& operator=(const PreparedSettings&) = delete;

private:
    friend class SettingsRow;
    friend PreparedSettings prepareSettings(const std::filesystem::path& programFolder);

    sqlite3* db_ = nullptr;
    std::int64_t rowid_ = 0;
    std::vector<std::string> names_;
    std::vector<SettingValue> values_;
    std::vector<std::string> refused_;  ///< values too long to be settings, left unread
};

/// Opens "RX47.dat" in the program folder with the password as key and reads the first row of
/// `setting`. Never creates the file. Throws DatabaseError when the file is missing, the key is
/// wrong, the table has no row, or the file holds more than the settings table (a trigger, a view,
/// another table): such a file is not used, so nothing in it runs, and it is not changed. A value
/// longer than any setting is not read: it reads as empty.
PreparedSettings prepareSettings(const std::filesystem::path& programFolder);

class SettingsRow {
public:
    /// How open() gets the file opened; by default prepareSettings(), at once.
    using Opener = std::function<PreparedSettings(const std::filesystem::path& programFolder)>;

    SettingsRow() = default;
    ~SettingsRow();
    SettingsRow(const SettingsRow&) = delete;
    SettingsRow& operator=(const SettingsRow&) = delete;

    /// Where a failed open or commit is logged (once until it works again); none by default.
    void setLog(FailureLog* log) { log_ = log; }

    /// Opens "RX47.dat" in the program folder with the password as key and loads the first row of
    /// `setting` (through the opener, when one is set). Never creates the file. Throws DatabaseError
    /// when the file is missing, the key is wrong or the table has no row.
    void open(const std::filesystem::path& programFolder);
    /// Takes an opened file as its own, closing what it had.
    void adopt(PreparedSettings prepared);
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    bool isOpen() const { return db_ != nullptr; }
    /// Closes the database. Changes not committed are dropped.
    void close();

    // ---- by the columns of the table (storage/settings_columns.h) ----

    /// Whether a yes/no column equals true (-1). NULL is not true.
    bool isTrue(FlagColumn c) const { return isTrue(c.name()); }
    /// Whether a yes/no column equals false (0). NULL is not false.
    bool isFalse(FlagColumn c) const { return isFalse(c.name()); }
    /// Writes a yes/no column as the file stores it (kTrue or kFalse).
    void writeFlag(FlagColumn c, bool value) { writeFlag(c.name(), value); }

    std::int16_t int16(WholeColumn c) const { return int16(c.name()); }
    std::int32_t int32(ColourColumn c) const { return int32(c.name()); }
    double number(WholeColumn c) const { return number(c.name()); }
    double number(DecimalColumn c) const { return number(c.name()); }
    template <ColumnKind K>
    std::string text(Column<K> c) const {
        return text(c.name());
    }
    template <ColumnKind K>
    SettingValue value(Column<K> c) const {
        return value(c.name());
    }
    template <ColumnKind K>
    bool hasColumn(Column<K> c) const {
        return hasColumn(c.name());
    }

    void write(WholeColumn c, std::int64_t value) { write(c.name(), value); }
    /// A text into a whole-number column (the port list's entry): the column's type makes it a
    /// number when it is one.
    void write(WholeColumn c, std::string value) { write(c.name(), std::move(value)); }
    void write(ColourColumn c, std::int64_t value) { write(c.name(), value); }
    void write(DecimalColumn c, double value) { write(c.name(), value); }
    void write(TextColumn c, std::string value) { write(c.name(), std::move(value)); }

    // ---- by stored name, for the readers not yet on the table and for tests of the file ----

    /// The raw value of a column. Throws MissingColumn, or DatabaseError when not open.
    SettingValue value(std::string_view column) const;
    /// A column as text: numbers in their shortest decimal text. Throws TypeMismatch for NULL.
    std::string text(std::string_view column) const;
    /// A column as a 16-bit integer (rounded halves to even; Overflow outside the range; a text
    /// that is not a number is a TypeMismatch).
    std::int16_t int16(std::string_view column) const;
    std::int32_t int32(std::string_view column) const;
    double number(std::string_view column) const;
    /// Whether a yes/no column equals true (-1). NULL is not true.
    bool isTrue(std::string_view column) const;
    /// Whether a yes/no column equals false (0). NULL is not false.
    bool isFalse(std::string_view column) const;
    /// Whether the row has the column.
    bool hasColumn(std::string_view column) const;

    /// Changes a column of the row; on disk after the next commit(). Throws MissingColumn.
    void write(std::string_view column, SettingValue value);
    /// Writes a yes/no column as the file stores it (kTrue or kFalse).
    void writeFlag(std::string_view column, bool value) { write(column, std::int64_t{value ? kTrue : kFalse}); }
    /// Writes every changed column in one transaction. On failure the changes stay pending, so the
    /// next commit tries them again. Throws DatabaseError.
    void commit();

private:
    struct Column {
        std::string name;  // as stored
        SettingValue value;
        bool dirty = false;
    };
    const Column& column(std::string_view name) const;

    void openRow(const std::filesystem::path& programFolder);
    void commitRow();

    FailureLog* log_ = nullptr;
    sqlite3* db_ = nullptr;
    std::int64_t rowid_ = 0;
    std::map<std::string, Column> columns_;  // keyed by lower-case name
    Opener opener_;
};

/// Opens a program folder's settings file ahead of its use, on a worker thread started at once, so
/// that the key derivation runs while the rest of the program starts. The first open() through
/// opener() of that folder takes the result (waiting for it; a failure is the same failure open()
/// would have thrown); any other open() opens the file anew. Where the database library does not
/// allow a connection to move between threads, nothing is opened ahead.
class SettingsOpenedAhead {
public:
    explicit SettingsOpenedAhead(std::filesystem::path programFolder);
    /// Waits for the worker.
    ~SettingsOpenedAhead();
    SettingsOpenedAhead(const SettingsOpenedAhead&) = delete;
    SettingsOpenedAhead& operator=(const SettingsOpenedAhead&) = delete;

    /// For SettingsRow::setOpener(); refers to this object.
    SettingsRow::Opener opener();

private:
    std::filesystem::path programFolder_;
    std::future<PreparedSettings> prepared_;
};

/// Whether a file exists at the full path. Creates nothing.
bool fileExists(const std::filesystem::path& path);

/// Counts one exit: `running` + 1, and back to 1 after 100; the caller commits. Returns whether
/// compaction is due. Throws a Failure when the column cannot be read or written (nothing is due).
bool countExit(SettingsRow& settings);

/// The steps of compaction, in order; a test hook may fail any of them.
enum class CompactionStep { RemoveStaleTemp, Export, SyncTemp, VerifyTemp, Replace, SyncFolder };

/// Compacts "RX47.dat" (closed) into "RX47_tmp.dat" with the same key, syncs it and puts it in
/// place of "RX47.dat" by an atomic rename, with the mode and owner of the file it replaces. A
/// "RX47.dat" that is a link is followed: its target is replaced (the copy is made beside the
/// target), and the link stays. A stale "RX47_tmp.dat" is removed first. The first
/// failing step ends the procedure with a Failure; "RX47.dat" is then untouched and still holds
/// every setting. `beforeStep`, for tests, runs before each step and may throw.
void compactSettingsDatabase(const std::filesystem::path& programFolder,
                             const std::function<void(CompactionStep)>& beforeStep = {});

}  // namespace rx47
