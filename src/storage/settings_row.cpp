// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/settings_row.h"

#include <fcntl.h>
#include <nettle/pbkdf2.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "base/log.h"
#include "base/number.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

[[noreturn]] void databaseFailure(sqlite3* db, const std::string& what) {
    throw DatabaseError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

[[noreturn]] void fileFailure(const std::string& what, int error) {
    throw FileError(what + ": " + std::strerror(error));
}

std::string lowerCase(std::string_view s) {
    std::string lower(s);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string quotedName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

Statement prepare(sqlite3* db, const std::string& sql, const std::string& what) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        databaseFailure(db, what);
    }
    return Statement(stmt);
}

void execute(sqlite3* db, const char* sql, const std::string& what) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) databaseFailure(db, what);
}

/// The file format of "RX47.dat" for the schema: SQLCipher 3's (page size, key derivation, HMAC),
/// whatever the library's own default. SQLCipher 4 reads and writes a 3 file only when told so, and
/// this tells it; a 3.x library does not know the pragma and ignores it. So the file opens on either.
std::string cipherFormat(const char* schema) {
    return std::string("PRAGMA ") + schema + ".cipher_compatibility = 3";
}

/// A commit ends when the rollback journal is deleted. By default the library syncs the journal and
/// the file but not the folder that loses the journal's name, so a power cut soon after a commit can
/// bring the journal back and undo the commit at the next open. EXTRA syncs the folder too. Read
/// back, so that a library that does not know the level fails here rather than losing a setting.
void keepCommitsAcrossPowerCut(sqlite3* db, const char* schema, const fs::path& file) {
    const std::string what = "cannot make the commits of " + file.string() + " durable";
    execute(db, (std::string("PRAGMA ") + schema + ".synchronous = EXTRA").c_str(), what);
    Statement stmt = prepare(db, std::string("PRAGMA ") + schema + ".synchronous", what);
    constexpr int kExtra = 3;
    if (sqlite3_step(stmt.get()) != SQLITE_ROW || sqlite3_column_int(stmt.get(), 0) != kExtra)
        throw DatabaseError(what + ": the database library does not sync the folder of its journal");
}

/// Opens an existing database file (never creating it) and unlocks it with the given key. A wrong
/// key only shows at the first read, so the schema is read once here.
Database openWithKey(const fs::path& file, std::string_view key) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) databaseFailure(raw, "cannot open " + file.string());
    if (sqlite3_key(raw, key.data(), static_cast<int>(key.size())) != SQLITE_OK)
        databaseFailure(raw, "cannot set the key of " + file.string());
    execute(raw, cipherFormat("main").c_str(), "cannot set the format of " + file.string());
    keepCommitsAcrossPowerCut(raw, "main", file);
    // Another reader of the file (a backup, say) holds it only briefly: wait for it rather than
    // fail the commit that keeps a setting.
    sqlite3_busy_timeout(raw, 1000);
    execute(raw, "SELECT count(*) FROM sqlite_master", "cannot read " + file.string());
    return db;
}

/// Opens an existing database file (never creating it) and unlocks it with the settings key: first
/// with the key derived here from the password, then, should that not open it (a file made with
/// other key settings), with the password itself.
Database openKeyed(const fs::path& file) {
    if (const std::string derived = derivedSettingsKey(file); !derived.empty()) {
        try {
            return openWithKey(file, derived);
        } catch (const DatabaseError&) {
        }
    }
    return openWithKey(file, kSettingsPassword);
}

/// The first row of `setting` (lowest rowid) with its column names as stored. A value longer than
/// any setting is not read: it stands as empty, and `refused` names it.
struct StoredRow {
    std::int64_t rowid = 0;
    std::vector<std::string> names;
    std::vector<SettingValue> values;
    std::vector<std::string> refused;
};

// ---- what a settings file may hold ----

/// The longest value a setting may have, in bytes. Every valid one (a number, a colour, a scale
/// text) is far shorter; a longer one is left in the file unread.
constexpr int kLongestSettingValue = 1024;
static_assert([] {
    for (const ColumnInfo& c : kSettingsColumns)
        if (c.supplied.size() > kLongestSettingValue) return false;
    return true;
}());

/// Why a settings file is refused, and what the user can do.
[[noreturn]] void refuseSettingsFile(const fs::path& file, const std::string& why) {
    throw DatabaseError(file.string() + " is not used and is left as it is: it " + why +
                        ". Move it away, and the next start puts the supplied settings in its place");
}

/// Checks that the file holds the settings table and nothing that acts on its own: a plain table
/// `setting`, its automatic indexes, the library's own tables, and no trigger, view, other table or
/// index of its own. A trigger would run at every save of a setting (switching an alarm off, say).
void checkSettingsSchema(sqlite3* db, const fs::path& file) {
    Statement stmt = prepare(db, "SELECT type, name, tbl_name, sql FROM sqlite_master",
                             "cannot read the settings of " + file.string());
    const auto text = [&](int i) {
        const unsigned char* t = sqlite3_column_text(stmt.get(), i);
        return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    bool table = false;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const std::string type = text(0), name = text(1), sql = text(3);
        const bool ofSetting = lowerCase(text(2)) == "setting";
        if (type == "table" && lowerCase(name) == "setting") {
            // A virtual table runs a module's code: only a plain table is the settings table.
            if (lowerCase(sql).rfind("create table", 0) != 0) refuseSettingsFile(file, "holds no plain settings table");
            table = true;
        } else if (type == "table" && lowerCase(name).rfind("sqlite_", 0) == 0) {
            // The library's own (the counters of AUTOINCREMENT, the planner's statistics).
        } else if (type == "index" && ofSetting && sqlite3_column_type(stmt.get(), 3) == SQLITE_NULL) {
            // An index the library made for a UNIQUE or PRIMARY KEY column.
        } else {
            refuseSettingsFile(file, "holds a " + type + " \"" + name + "\" besides the settings table" +
                                         (type == "trigger" ? ", which would run at every save of a setting" : ""));
        }
    }
    if (rc != SQLITE_DONE) databaseFailure(db, "cannot read the settings of " + file.string());
    if (!table) refuseSettingsFile(file, "holds no settings table");
}

/// The stored names of the settings table's columns, in order.
std::vector<std::string> settingsColumns(sqlite3* db, const fs::path& file) {
    Statement stmt = prepare(db, "PRAGMA table_info(setting)", "cannot read the settings of " + file.string());
    std::vector<std::string> names;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1)));
    if (rc != SQLITE_DONE) databaseFailure(db, "cannot read the settings of " + file.string());
    return names;
}

SettingValue columnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return std::int64_t{sqlite3_column_int64(stmt, i)};
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, i);
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(stmt, i);
            const int size = sqlite3_column_bytes(stmt, i);
            return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
        }
        default:
            return std::monostate{};
    }
}

void bindValue(sqlite3_stmt* stmt, int i, const SettingValue& value) {
    if (const auto* n = std::get_if<std::int64_t>(&value))
        sqlite3_bind_int64(stmt, i, *n);
    else if (const auto* d = std::get_if<double>(&value))
        sqlite3_bind_double(stmt, i, *d);
    else if (const auto* s = std::get_if<std::string>(&value))
        sqlite3_bind_text(stmt, i, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(stmt, i);
}

/// The size in bytes of a text or blob value, read from the row's header without fetching the value;
/// 0 for a number or an empty value.
std::int64_t storedSize(sqlite3* db, const std::string& column, std::int64_t rowid) {
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(db, "main", "setting", column.c_str(), rowid, 0, &blob) != SQLITE_OK) {
        sqlite3_blob_close(blob);
        return 0;
    }
    const std::int64_t size = sqlite3_blob_bytes(blob);
    sqlite3_blob_close(blob);
    return size;
}

StoredRow readFirstRow(sqlite3* db, const fs::path& file) {
    checkSettingsSchema(db, file);
    const std::string what = "cannot read the settings of " + file.string();
    Statement stmt = prepare(db, "SELECT rowid FROM setting ORDER BY rowid LIMIT 1", what);
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) throw DatabaseError("the settings table of " + file.string() + " has no row");
    if (rc != SQLITE_ROW) databaseFailure(db, what);
    StoredRow row;
    row.rowid = sqlite3_column_int64(stmt.get(), 0);
    row.names = settingsColumns(db, file);
    row.values.resize(row.names.size());
    // A value longer than any setting is never fetched: its size comes from the row's header.
    std::vector<std::size_t> fetched;
    std::string select = "SELECT rowid";
    for (std::size_t i = 0; i < row.names.size(); ++i) {
        const std::int64_t size = storedSize(db, row.names[i], row.rowid);
        if (size > kLongestSettingValue) {
            row.refused.push_back("setting " + row.names[i] + " holds " + std::to_string(size) +
                                  " bytes, more than any setting: it is not read, and reads as empty");
            continue;
        }
        fetched.push_back(i);
        select += ", " + quotedName(row.names[i]);
    }
    stmt = prepare(db, select + " FROM setting WHERE rowid=?", what);
    sqlite3_bind_int64(stmt.get(), 1, row.rowid);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) databaseFailure(db, what);
    for (std::size_t k = 0; k < fetched.size(); ++k)
        row.values[fetched[k]] = columnValue(stmt.get(), 1 + static_cast<int>(k));
    return row;
}

/// The number in a text: blanks around it are allowed, nothing else. Not locale dependent.
double numberOfText(const std::string& text, std::string_view column) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t first = 0, last = text.size();
    while (first < last && blank(text[first])) ++first;
    while (last > first && blank(text[last - 1])) --last;
    const char* begin = text.data() + first;
    const char* end = text.data() + last;
    bool negative = false;
    if (begin != end && (*begin == '+' || *begin == '-')) negative = *begin++ == '-';
    // from_chars would also take "inf" and "nan"; a number starts with a digit or a point.
    if (begin == end || !(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '.'))
        throw TypeMismatch("setting " + std::string(column) + " is not a number: \"" + text + "\"");
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) throw Overflow("setting " + std::string(column) + " is too large");
    if (ec != std::errc() || ptr != end)
        throw TypeMismatch("setting " + std::string(column) + " is not a number: \"" + text + "\"");
    return negative ? -value : value;
}

/// A value as a number; NULL is a TypeMismatch.
double numberOfValue(const SettingValue& value, std::string_view column) {
    if (const auto* n = std::get_if<std::int64_t>(&value)) return static_cast<double>(*n);
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* s = std::get_if<std::string>(&value)) return numberOfText(*s, column);
    throw TypeMismatch("setting " + std::string(column) + " is empty");
}

/// Whether a yes/no value equals the given flag. NULL and texts that are not numbers equal nothing.
bool equalsFlag(const SettingValue& value, Flag flag) {
    if (const auto* n = std::get_if<std::int64_t>(&value)) return *n == flag;
    if (const auto* d = std::get_if<double>(&value)) return *d == flag;
    if (const auto* s = std::get_if<std::string>(&value)) {
        try {
            return numberOfText(*s, {}) == flag;
        } catch (const Failure&) {
            return false;
        }
    }
    return false;
}

/// Writes a file's or folder's data to the disk.
void syncPath(const fs::path& path, int flags, const std::string& what) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fileFailure("cannot open " + what + " " + path.string(), error);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        fileFailure("cannot sync " + what + " " + path.string(), error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        fileFailure("cannot close " + what + " " + path.string(), error);
    }
}

/// Copies the whole of `source` into a new file `target` encrypted with the same key.
StoredRow exportSettings(const fs::path& source, const fs::path& target) {
    Database db = openKeyed(source);
    StoredRow row = readFirstRow(db.get(), source);
    // The connection may not create files (so a missing settings file is never made), and an attached
    // database inherits that; an empty file, though, is a new database.
    // Private until it takes the place of the original, whose mode it gets then.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        fileFailure("cannot create " + target.string(), error);
    }
    ::close(fd);
    Statement attach = prepare(db.get(), "ATTACH DATABASE ?1 AS compacted KEY ?2", "cannot create " + target.string());
    const std::string targetName = target.string();
    sqlite3_bind_text(attach.get(), 1, targetName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(attach.get(), 2, kSettingsPassword, -1, SQLITE_STATIC);
    if (sqlite3_step(attach.get()) != SQLITE_DONE) databaseFailure(db.get(), "cannot create " + targetName);
    attach.reset();
    execute(db.get(), cipherFormat("compacted").c_str(), "cannot set the format of " + targetName);
    keepCommitsAcrossPowerCut(db.get(), "compacted", target);
    bool exported =
        sqlite3_exec(db.get(), "SELECT sqlcipher_export('compacted')", nullptr, nullptr, nullptr) == SQLITE_OK;
    std::string error = exported ? std::string() : sqlite3_errmsg(db.get());
    if (sqlite3_exec(db.get(), "DETACH DATABASE compacted", nullptr, nullptr, nullptr) != SQLITE_OK && exported) {
        exported = false;
        error = sqlite3_errmsg(db.get());
    }
    if (!exported) throw DatabaseError("cannot export the settings into " + targetName + ": " + error);
    if (sqlite3_close_v2(db.release()) != SQLITE_OK) throw DatabaseError("cannot close " + source.string());
    return row;
}

}  // namespace

// ---- the key ----

std::string derivedSettingsKey(const fs::path& file) {
    // The encryption key is derived from the password and the salt the file starts with.
    constexpr std::size_t kSaltSize = 16;
    constexpr std::size_t kKeySize = 32;
    constexpr unsigned kRounds = 64000;
    std::uint8_t salt[kSaltSize];
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t got = ::read(fd, salt, sizeof salt);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof salt)) return {};
    std::uint8_t key[kKeySize];
    pbkdf2_hmac_sha1(std::strlen(kSettingsPassword), reinterpret_cast<const std::uint8_t*>(kSettingsPassword), kRounds,
                     sizeof salt, salt, sizeof key, key);
    static const char* const digits = "0123456789ABCDEF";
    std::string text = "x'";
    for (std::uint8_t byte : key) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text + "'";
}

// ---- PreparedSettings ----

PreparedSettings::~PreparedSettings() {
    if (db_) sqlite3_close_v2(db_);
}

PreparedSettings::PreparedSettings(PreparedSettings&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      rowid_(other.rowid_),
      names_(std::move(other.names_)),
      values_(std::move(other.values_)),
      refused_(std::move(other.refused_)) {}

PreparedSettings& PreparedSettings::operator=(PreparedSettings&& other) noexcept {
    if (this != &other) {
        if (db_) sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
        rowid_ = other.rowid_;
        names_ = std::move(other.names_);
        values_ = std::move(other.values_);
        refused_ = std::move(other.refused_);
    }
    return *this;
}

PreparedSettings prepareSettings(const fs::path& programFolder) {
    const fs::path file = programFolder / kSettingsFileName;
    Database db = openKeyed(file);
    StoredRow row = readFirstRow(db.get(), file);
    PreparedSettings prepared;
    prepared.rowid_ = row.rowid;
    prepared.names_ = std::move(row.names);
    prepared.values_ = std::move(row.values);
    prepared.refused_ = std::move(row.refused);
    prepared.db_ = db.release();
    return prepared;
}

// ---- SettingsRow ----

SettingsRow::~SettingsRow() {
    close();
}

void SettingsRow::open(const fs::path& programFolder) {
    try {
        openRow(programFolder);
        if (log_) log_->clear(LogCategory::Settings, "settings", "the settings are read again");
    } catch (const Failure& e) {
        if (log_)
            log_->fail(LogCategory::Settings, "settings",
                       std::string("the settings cannot be read, so every setting is skipped: ") + e.what());
        throw;
    }
}

void SettingsRow::commit() {
    try {
        commitRow();
        if (log_) log_->clear(LogCategory::Settings, "settings commit", "the settings are saved again");
    } catch (const Failure& e) {
        if (log_)
            log_->fail(
                LogCategory::Settings, "settings commit",
                std::string("a change of the settings is not saved (it is tried again with the next): ") + e.what());
        throw;
    }
}

void SettingsRow::openRow(const fs::path& programFolder) {
    close();
    adopt(opener_ ? opener_(programFolder) : prepareSettings(programFolder));
}

void SettingsRow::adopt(PreparedSettings prepared) {
    close();
    if (!prepared.db_) throw DatabaseError("the settings database is not open");
    std::map<std::string, Column> columns;
    for (std::size_t i = 0; i < prepared.names_.size(); ++i)
        columns.emplace(lowerCase(prepared.names_[i]),
                        Column{prepared.names_[i], std::move(prepared.values_[i]), false});
    columns_ = std::move(columns);
    rowid_ = prepared.rowid_;
    db_ = std::exchange(prepared.db_, nullptr);
    if (log_)
        for (const std::string& refusal : prepared.refused_) log_->warn(LogCategory::Settings, refusal);
}

// ---- SettingsOpenedAhead ----

SettingsOpenedAhead::SettingsOpenedAhead(fs::path programFolder) : programFolder_(std::move(programFolder)) {
    // A connection may be handed to another thread only when the library serialises or at least
    // allows that (threading mode 1 or 2); mode 0 leaves all the locking out.
    if (sqlite3_threadsafe() != 0) prepared_ = std::async(std::launch::async, prepareSettings, programFolder_);
}

SettingsOpenedAhead::~SettingsOpenedAhead() {
    if (prepared_.valid()) prepared_.wait();
}

SettingsRow::Opener SettingsOpenedAhead::opener() {
    return [this](const fs::path& programFolder) {
        if (prepared_.valid() && programFolder == programFolder_) return prepared_.get();  // valid() once only
        return prepareSettings(programFolder);
    };
}

void SettingsRow::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    rowid_ = 0;
    columns_.clear();
}

const SettingsRow::Column& SettingsRow::column(std::string_view name) const {
    if (!db_) throw DatabaseError("the settings database is not open");
    const auto it = columns_.find(lowerCase(name));
    if (it == columns_.end()) throw MissingColumn("no setting " + std::string(name));
    return it->second;
}

SettingValue SettingsRow::value(std::string_view name) const {
    return column(name).value;
}

std::string SettingsRow::text(std::string_view name) const {
    const SettingValue& v = column(name).value;
    if (const auto* n = std::get_if<std::int64_t>(&v)) return std::to_string(*n);
    if (const auto* d = std::get_if<double>(&v)) return decimalText(*d);
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    throw TypeMismatch("setting " + std::string(name) + " is empty");
}

std::int16_t SettingsRow::int16(std::string_view name) const {
    return toInt16(number(name));
}

std::int32_t SettingsRow::int32(std::string_view name) const {
    return toInt32(number(name));
}

double SettingsRow::number(std::string_view name) const {
    return numberOfValue(column(name).value, name);
}

bool SettingsRow::isTrue(std::string_view name) const {
    return equalsFlag(column(name).value, kTrue);
}

bool SettingsRow::isFalse(std::string_view name) const {
    return equalsFlag(column(name).value, kFalse);
}

bool SettingsRow::hasColumn(std::string_view name) const {
    if (!db_) throw DatabaseError("the settings database is not open");
    return columns_.count(lowerCase(name)) != 0;
}

void SettingsRow::write(std::string_view name, SettingValue value) {
    Column& c = const_cast<Column&>(column(name));
    c.value = std::move(value);
    c.dirty = true;
}

void SettingsRow::commitRow() {
    if (!db_) throw DatabaseError("the settings database is not open");
    std::vector<Column*> dirty;
    for (auto& entry : columns_)
        if (entry.second.dirty) dirty.push_back(&entry.second);
    if (dirty.empty()) return;

    std::string update = "UPDATE setting SET ";
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < dirty.size(); ++i) {
        const char* separator = i ? ", " : "";
        update += separator + quotedName(dirty[i]->name) + "=?";
        select += separator + quotedName(dirty[i]->name);
    }
    update += " WHERE rowid=?";
    select += " FROM setting WHERE rowid=?";

    const std::string what = "cannot save the settings";
    execute(db_, "BEGIN IMMEDIATE", what);
    std::vector<SettingValue> stored;
    try {
        {
            Statement stmt = prepare(db_, update, what);
            int i = 1;
            for (const Column* c : dirty) bindValue(stmt.get(), i++, c->value);
            sqlite3_bind_int64(stmt.get(), i, rowid_);
            if (sqlite3_step(stmt.get()) != SQLITE_DONE) databaseFailure(db_, what);
            if (sqlite3_changes(db_) != 1) throw DatabaseError(what + ": the settings row is gone");
        }
        {
            // Read back what the column types made of the values ("3" in a SMALLINT column is 3), so
            // the row in memory stays the same as on disk.
            Statement stmt = prepare(db_, select, what);
            sqlite3_bind_int64(stmt.get(), 1, rowid_);
            if (sqlite3_step(stmt.get()) != SQLITE_ROW) databaseFailure(db_, what);
            for (int i = 0; i < static_cast<int>(dirty.size()); ++i) stored.push_back(columnValue(stmt.get(), i));
        }
        execute(db_, "COMMIT", what);
    } catch (...) {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    for (std::size_t i = 0; i < dirty.size(); ++i) {
        dirty[i]->value = std::move(stored[i]);
        dirty[i]->dirty = false;
    }
}

// ---- files ----

bool fileExists(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool countExit(SettingsRow& settings) {
    constexpr ColumnRange kCount = *column::kExitCount.info.range;
    std::int64_t running = settings.int16(column::kExitCount) + 1;
    const bool due = running > kCount.highest;
    if (due) running = kCount.lowest;
    settings.write(column::kExitCount, running);
    return due;
}

void compactSettingsDatabase(const fs::path& programFolder, const std::function<void(CompactionStep)>& beforeStep) {
    const auto before = [&](CompactionStep step) {
        if (beforeStep) beforeStep(step);
    };
    // A settings file that is a link to a file elsewhere: the target is the file replaced, and the
    // compacted copy is made beside it so that the replacement is one rename on its file system.
    fs::path file = programFolder / kSettingsFileName;
    std::error_code linkError;
    if (fs::is_symlink(file, linkError)) {
        file = fs::canonical(file, linkError);
        if (linkError)
            throw FileError("cannot follow " + (programFolder / kSettingsFileName).string() + ": " +
                            linkError.message());
    }
    const fs::path folder = file.parent_path();
    const fs::path temp = folder / kSettingsTempFileName;

    before(CompactionStep::RemoveStaleTemp);
    std::error_code ec;
    fs::remove(temp, ec);
    if (ec) throw FileError("cannot remove " + temp.string() + ": " + ec.message());

    before(CompactionStep::Export);
    StoredRow original;
    try {
        original = exportSettings(file, temp);
    } catch (const Failure&) {
        fs::remove(temp, ec);  // a half-written copy; a leftover is removed by the next compaction anyway
        throw;
    }

    before(CompactionStep::SyncTemp);
    // The compacted file keeps the mode and, where the user may give it, the owner of the original.
    struct stat originalFile {};
    if (::stat(file.c_str(), &originalFile) != 0) {
        const int error = errno;
        fileFailure("cannot read " + file.string(), error);
    }
    if (::chmod(temp.c_str(), originalFile.st_mode & 07777) != 0) {
        const int error = errno;
        fileFailure("cannot set the mode of " + temp.string(), error);
    }
    if (::chown(temp.c_str(), originalFile.st_uid, originalFile.st_gid) != 0 && errno != EPERM) {
        const int error = errno;
        fileFailure("cannot set the owner of " + temp.string(), error);
    }
    syncPath(temp, O_RDWR, "file");

    before(CompactionStep::VerifyTemp);
    {
        Database db = openKeyed(temp);
        const StoredRow copy = readFirstRow(db.get(), temp);
        if (copy.names != original.names || copy.values != original.values)
            throw DatabaseError("the compacted settings in " + temp.string() + " differ from the original");
    }

    before(CompactionStep::Replace);
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        fileFailure("cannot replace " + file.string() + " by " + temp.string(), error);
    }

    before(CompactionStep::SyncFolder);
    syncPath(folder, O_RDONLY | O_DIRECTORY, "folder");
}

}  // namespace rx47
