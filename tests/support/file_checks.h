// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Checks of what the program leaves on disk, made as a stranger to the program would make them: the
// settings file through SQLCipher alone, the record files byte by byte. The kill loop, the disk-fault
// tests and the soak judge every round by these.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "storage/settings_row.h"

namespace rx47::test {

/// The two header lines of a record file as they stand on disk: code page 932, byte by byte.
inline const std::string kRecordHeaders =
    "\x93\xFA\x95t,\x8E\x9E\x8D\x8F,\x8C\x9F\x8Fo\x90\x94,\x8B\xF3\x8A\xD4\x95\xBD\x8B\xCF,,"
    "\x92\xBC\x8B\xDF\x95\xBD\x8B\xCF,,\x92\xBC\x8B\xDF\x8D\xC5\x91\xE5,,\x92\xBC\x8B\xDF\x8D\xC5\x8F\xAC\r\n"
    ",,,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h\r\n";

/// A file's bytes as they stand on disk ("" when it cannot be read).
std::string bytesOf(const std::filesystem::path& file);
/// Writes a file anew with these bytes.
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

/// What a record file holds, and what is wrong with it.
struct RecordFileCheck {
    int dataLines = 0;
    bool empty = false;    ///< no byte at all: cut off between its creation and its first line
    std::string problem;   ///< empty when the file is whole
    std::string lastTime;  ///< "date time" of the last data line
};

/// A record file is whole when it is empty, or when it starts with the two header lines, every line
/// ends with CR LF, it converts from code page 932, and every data line has eleven fields with a
/// date and a time first.
RecordFileCheck checkRecordFile(const std::filesystem::path& file);

struct RecordFolderCheck {
    int files = 0;
    int emptyFiles = 0;
    int dataLines = 0;
    std::vector<std::string> problems;  ///< "<file>: <problem>"
};

/// Checks every .csv file under the folder (none when it does not exist).
RecordFolderCheck checkRecordFolder(const std::filesystem::path& folder);

/// The settings file as SQLCipher sees it with the key alone.
struct SettingsFileCheck {
    std::string problem;  ///< empty when it opens, passes the integrity check and has one row
    int rows = 0;
    std::map<std::string, SettingValue> row;                    ///< the first row, by stored column name
    std::vector<std::map<std::string, SettingValue>> everyRow;  ///< all of them, in the order of their rowid
};

/// Checks a copy of the file (and of its journal, when there is one) so that recovering an
/// interrupted transaction is left to the program itself.
SettingsFileCheck checkSettingsFile(const std::filesystem::path& file);

/// The supplied settings, as the build made them.
const std::map<std::string, SettingValue>& suppliedSettings();

/// The differences of `row` from `expected` ("column: found x, expected y"), the columns of
/// `ignore` left out. Numbers compare by value, whatever their storage class.
std::vector<std::string> settingDifferences(const std::map<std::string, SettingValue>& row,
                                            const std::map<std::string, SettingValue>& expected,
                                            const std::vector<std::string>& ignore = {});

}  // namespace rx47::test
