// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-make-settings [--legacy] OUT.dat
//
// Makes the encrypted settings file (key "tamelox") that is supplied beside the program: table
// `setting` with one row of defaults. The program itself never creates this file.
//
// The columns, their types and their supplied values are those of the program's own table
// (src/storage/settings_columns.h); --legacy leaves out the recording switches, as files of older
// versions lack them. Yes/no columns hold -1 for yes and 0 for no.
//
// Uses SQLCipher and that header only, so it can run before anything else of the program is built.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "storage/settings_columns.h"

namespace {

constexpr const char* kKey = "tamelox";
// SQLCipher 3's file format on any library: a 4.x one writes it only when told, and opens only such
// a file; a 3.x one ignores the pragma. The program opens the file the same way.
constexpr const char* kFormat = "PRAGMA cipher_compatibility = 3";

std::string creationSql(bool legacy) {
    std::string columns, values;
    for (const rx47::ColumnInfo& c : rx47::kSettingsColumns) {
        if (legacy && c.presence != rx47::Presence::Always) continue;
        if (!columns.empty()) columns += ", ", values += ", ";
        columns += "\"" + std::string(c.name) + "\" " + std::string(c.storedType);
        // A text as an SQL literal (no supplied text holds a quote), a number as it is.
        values += c.kind == rx47::ColumnKind::Text ? "'" + std::string(c.supplied) + "'" : std::string(c.supplied);
    }
    return "BEGIN; CREATE TABLE setting (" + columns + "); INSERT INTO setting VALUES (" + values + "); COMMIT;";
}

constexpr const char* kUsage = "usage: rx47-make-settings [--legacy] OUT.dat\n";

int usage(const char* mistake = nullptr) {
    if (mistake) std::fprintf(stderr, "rx47-make-settings: %s\n", mistake);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool legacy = false;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--legacy")
            legacy = true;
        else if (!arg.empty() && arg[0] == '-')  // a mistyped option, never a file name
            return usage(("unknown option " + std::string(arg)).c_str());
        else if (out || arg.empty())
            return usage(arg.empty() ? "an empty file name" : "one file only");
        else
            out = argv[i];
    }
    if (!out) return usage("no file named");

    // Claim the name first, so an existing file is never touched; an empty file is a new database.
    const int fd = ::open(out, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            std::fprintf(stderr, "rx47-make-settings: %s already exists; not replacing it\n", out);
        else
            std::fprintf(stderr, "rx47-make-settings: cannot create %s: %s\n", out, std::strerror(errno));
        return 1;
    }
    ::close(fd);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(out, &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_key(db, kKey, static_cast<int>(std::strlen(kKey)));
    char* error = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kFormat, nullptr, nullptr, &error);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, creationSql(legacy).c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "rx47-make-settings: cannot write %s: %s\n", out,
                     error ? error : (db ? sqlite3_errmsg(db) : "out of memory"));
        sqlite3_free(error);
        sqlite3_close_v2(db);
        std::remove(out);
        return 1;
    }
    if (sqlite3_close_v2(db) != SQLITE_OK) {
        std::fprintf(stderr, "rx47-make-settings: cannot close %s\n", out);
        std::remove(out);
        return 1;
    }
    return 0;
}
