// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/file_checks.h"

#include <iconv.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "support/program_folder.h"

namespace rx47::test {

namespace fs = std::filesystem;

namespace {

const char* const kHeader1 = "日付,時刻,検出数,空間平均,,直近平均,,直近最大,,直近最小";
const char* const kHeader2 = ",,,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h";

/// The text in UTF-8, or nothing when it is not code page 932 throughout.
bool fromCodePage932(const std::string& bytes, std::string& utf8) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    utf8.assign(bytes.size() * 3 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = utf8.data();
    std::size_t outLeft = utf8.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    utf8.resize(utf8.size() - outLeft);
    return true;
}

bool matches(const std::string& text, const char* pattern) {
    // '9' stands for a digit, anything else for itself.
    if (text.size() != std::strlen(pattern)) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
            return false;
    }
    return true;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

/// A figure as the window shows it: empty, or the decimal text of a number.
bool isFigure(const std::string& field) {
    for (char c : field)
        if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr(".E+-", c)) return false;
    return true;
}

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

SettingValue valueOf(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return std::int64_t{sqlite3_column_int64(stmt, i)};
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, i);
        case SQLITE_NULL:
            return std::monostate{};
        default: {
            const void* data = sqlite3_column_blob(stmt, i);
            return data ? std::string(static_cast<const char*>(data), sqlite3_column_bytes(stmt, i)) : std::string();
        }
    }
}

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool numeric(const SettingValue& v, double& out) {
    if (const auto* n = std::get_if<std::int64_t>(&v)) return out = static_cast<double>(*n), true;
    if (const auto* d = std::get_if<double>(&v)) return out = *d, true;
    return false;
}

bool sameSetting(const SettingValue& a, const SettingValue& b) {
    double x = 0, y = 0;
    if (numeric(a, x) && numeric(b, y)) return x == y;
    return a == b;
}

std::string settingText(const SettingValue& value) {
    if (const auto* n = std::get_if<std::int64_t>(&value)) return std::to_string(*n);
    if (const auto* d = std::get_if<double>(&value)) return std::to_string(*d);
    if (const auto* s = std::get_if<std::string>(&value)) return "\"" + *s + "\"";
    return "NULL";
}

}  // namespace

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

RecordFileCheck checkRecordFile(const fs::path& file) {
    RecordFileCheck check;
    const auto fail = [&check](std::string problem) {
        check.problem = std::move(problem);
        return check;
    };
    const std::string bytes = bytesOf(file);
    if (bytes.empty()) {
        check.empty = true;
        return check;
    }
    std::string text;
    if (!fromCodePage932(bytes, text)) return fail("not code page 932");
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return fail("does not end with CR LF (a torn line)");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == 0 || text[end - 1] != '\r') return fail("a line without CR before its LF");
        lines.push_back(text.substr(start, end - 1 - start));
        start = end + 1;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find('\r') != std::string::npos) return fail("a stray CR in line " + std::to_string(i + 1));
    if (lines.size() < 2 || lines[0] != kHeader1 || lines[1] != kHeader2)
        return fail("does not start with the two header lines");
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::vector<std::string> fields = fieldsOf(lines[i]);
        const std::string where = "line " + std::to_string(i + 1) + " \"" + lines[i] + "\": ";
        if (fields.size() != 11) return fail(where + std::to_string(fields.size()) + " fields");
        if (!matches(fields[0], "9999-99-99") || !matches(fields[1], "99:99:99"))
            return fail(where + "no date and time");
        for (std::size_t f = 2; f < fields.size(); ++f)
            if (!isFigure(fields[f])) return fail(where + "field " + std::to_string(f + 1) + " is not a figure");
        check.lastTime = fields[0] + " " + fields[1];
        ++check.dataLines;
    }
    return check;
}

RecordFolderCheck checkRecordFolder(const fs::path& folder) {
    RecordFolderCheck check;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return check;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".csv") continue;
        ++check.files;
        const RecordFileCheck file = checkRecordFile(entry.path());
        if (file.empty) ++check.emptyFiles;
        check.dataLines += file.dataLines;
        if (!file.problem.empty()) check.problems.push_back(entry.path().string() + ": " + file.problem);
    }
    return check;
}

SettingsFileCheck checkSettingsFile(const fs::path& file) {
    SettingsFileCheck check;
    const auto fail = [&check](std::string problem) {
        check.problem = std::move(problem);
        return check;
    };
    static std::atomic<int> counter{0};
    const fs::path scratch =
        fs::temp_directory_path() / ("rx47-check-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    struct Remove {
        fs::path path;
        ~Remove() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } remove{scratch};

    std::error_code ec;
    if (!fs::exists(file, ec)) return fail("missing");
    const fs::path copy = scratch / file.filename();
    fs::copy_file(file, copy, ec);
    if (ec) return fail("cannot be copied: " + ec.message());
    const fs::path journal = file.string() + "-journal";
    if (fs::exists(journal, ec)) fs::copy_file(journal, copy.string() + "-journal", ec);

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        check.problem = "does not open";
        sqlite3_close_v2(raw);
        return check;
    }
    std::unique_ptr<sqlite3, CloseDatabase> db(raw);
    sqlite3_key(raw, kSettingsPassword, static_cast<int>(std::strlen(kSettingsPassword)));

    const auto query = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& onRow) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(raw, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return std::string(sqlite3_errmsg(raw));
        }
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) onRow(stmt);
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(raw));
    };

    std::string integrity;
    std::string error = query("PRAGMA integrity_check", [&](sqlite3_stmt* stmt) {
        if (!integrity.empty()) integrity += "; ";
        integrity += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    });
    if (!error.empty() || integrity != "ok") return fail("integrity check: " + (error.empty() ? integrity : error));
    error =
        query("SELECT count(*) FROM setting", [&](sqlite3_stmt* stmt) { check.rows = sqlite3_column_int(stmt, 0); });
    if (!error.empty()) return fail("no settings table: " + error);
    error = query("SELECT * FROM setting ORDER BY rowid", [&](sqlite3_stmt* stmt) {
        auto& row = check.everyRow.emplace_back();
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) row[sqlite3_column_name(stmt, i)] = valueOf(stmt, i);
    });
    if (!check.everyRow.empty()) check.row = check.everyRow.front();
    if (!error.empty())
        check.problem = "the row cannot be read: " + error;
    else if (check.rows != 1)
        check.problem = std::to_string(check.rows) + " rows";
    return check;
}

const std::map<std::string, SettingValue>& suppliedSettings() {
    static const std::map<std::string, SettingValue> supplied = checkSettingsFile(suppliedSettingsFile()).row;
    return supplied;
}

std::vector<std::string> settingDifferences(const std::map<std::string, SettingValue>& row,
                                            const std::map<std::string, SettingValue>& expected,
                                            const std::vector<std::string>& ignore) {
    std::map<std::string, const SettingValue*> found;
    for (const auto& [name, value] : row) found[lowerCase(name)] = &value;
    std::vector<std::string> differences;
    for (const auto& [name, value] : expected) {
        bool ignored = false;
        for (const std::string& i : ignore) ignored = ignored || lowerCase(i) == lowerCase(name);
        if (ignored) continue;
        const auto it = found.find(lowerCase(name));
        if (it == found.end())
            differences.push_back(name + ": missing");
        else if (!sameSetting(*it->second, value))
            differences.push_back(name + ": found " + settingText(*it->second) + ", expected " + settingText(value));
    }
    return differences;
}

}  // namespace rx47::test
