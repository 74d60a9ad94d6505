// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's settings row on a SQLCipher 4 library, driven from the command line by the test
// that the settings file opens on both 3.x and 4.x.
//
//   settings-sqlcipher4 version                 the library's version
//   settings-sqlcipher4 read FOLDER COLUMN...   "COLUMN=text" for each column of FOLDER/RX47.dat
//   settings-sqlcipher4 write FOLDER COLUMN N   writes a whole number into a column and commits
//   settings-sqlcipher4 compact FOLDER          compacts FOLDER/RX47.dat
//   settings-sqlcipher4 native FILE             a settings-like file in 4.x's own format (which a
//                                               3.x library cannot open)
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/failure.h"
#include "storage/settings_row.h"

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "settings-sqlcipher4: %s\n", what.c_str());
    return 1;
}

int version() {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA cipher_version", -1, &stmt, nullptr);
    if (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        std::printf("%s\n", reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    else
        rc = SQLITE_ERROR;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : fail("no cipher version");
}

int native(const char* file) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open(file, &db);
    if (rc == SQLITE_OK) rc = sqlite3_key(db, rx47::kSettingsPassword, 7);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "CREATE TABLE setting (running SMALLINT); INSERT INTO setting VALUES (1);", nullptr,
                          nullptr, nullptr);
    const std::string error = rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : fail(error);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "version" && argc == 2) return version();
        if (command == "native" && argc == 3) return native(argv[2]);
        if (command == "compact" && argc == 3) {
            rx47::compactSettingsDatabase(argv[2]);
            return 0;
        }
        rx47::SettingsRow row;
        if (command == "read" && argc >= 3) {
            row.open(argv[2]);
            for (int i = 3; i < argc; ++i) std::printf("%s=%s\n", argv[i], row.text(argv[i]).c_str());
            return 0;
        }
        if (command == "write" && argc == 5) {
            row.open(argv[2]);
            row.write(argv[3], std::int64_t{std::stoll(argv[4])});
            row.commit();
            return 0;
        }
    } catch (const rx47::Failure& failure) {
        return fail(failure.what());
    }
    return fail("usage: version | read FOLDER COLUMN... | write FOLDER COLUMN N | compact FOLDER | native FILE");
}
