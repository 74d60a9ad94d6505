// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-make-settings [--legacy] OUT.dat
//
// Makes the encrypted settings file (key "tamelox") that is supplied beside the program: table
// `setting` with one row of defaults. The program itself never creates this file.
//
// Defaults:
//   COMport 1                              running 1
//   graphcolor 0x00C08000 (RGB 0,128,192)  gkeisuu 120 (CPM per 1 uSv/h)
//   linecolor 0x000080FF (RGB 255,128,0)   warning -1, warnline -1
//   warnlinecolor 0x000000FF (red)         warnCPMlevel 100
//   CPMscale "100", LINEscale "0.400"      warnLineLevel 0.5
//   buzzer 0, startup 0, tasktray 0        popup, sound, flash -1
//   record, masterrecord, dailyrecord -1 (left out with --legacy, as in files of older versions)
// Yes/no columns hold -1 for yes and 0 for no.
//
// Uses SQLCipher only, so it can run before anything else of the program is built.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kKey = "tamelox";
// SQLCipher 3's file format on any library: a 4.x one writes it only when told, and opens only such
// a file; a 3.x one ignores the pragma. The program opens the file the same way.
constexpr const char* kFormat = "PRAGMA cipher_compatibility = 3";

struct ColumnDefault {
    const char* name;
    const char* type;
    const char* value;  // SQL literal
    bool recording;     // absent from legacy files
};

constexpr ColumnDefault kColumns[] = {
    {"COMport", "SMALLINT", "1", false},        {"graphcolor", "INTEGER", "12615680", false},  // 0x00C08000
    {"linecolor", "INTEGER", "33023", false},                                                  // 0x000080FF
    {"warnlinecolor", "INTEGER", "255", false},                                                // 0x000000FF
    {"CPMscale", "TEXT", "'100'", false},       {"LINEscale", "TEXT", "'0.400'", false},
    {"buzzer", "BOOLEAN", "0", false},          {"startup", "BOOLEAN", "0", false},
    {"tasktray", "BOOLEAN", "0", false},        {"running", "SMALLINT", "1", false},
    {"gkeisuu", "SMALLINT", "120", false},      {"warning", "BOOLEAN", "-1", false},
    {"warnline", "BOOLEAN", "-1", false},       {"warnCPMlevel", "SMALLINT", "100", false},
    {"warnLineLevel", "DOUBLE", "0.5", false},  {"popup", "BOOLEAN", "-1", false},
    {"sound", "BOOLEAN", "-1", false},          {"flash", "BOOLEAN", "-1", false},
    {"record", "BOOLEAN", "-1", true},          {"masterrecord", "BOOLEAN", "-1", true},
    {"dailyrecord", "BOOLEAN", "-1", true},
};

std::string creationSql(bool legacy) {
    std::string columns, values;
    for (const auto& c : kColumns) {
        if (legacy && c.recording) continue;
        if (!columns.empty()) columns += ", ", values += ", ";
        columns += std::string("\"") + c.name + "\" " + c.type;
        values += c.value;
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
