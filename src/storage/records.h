// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The measurement records: once a minute one line of the readout captions is appended to
// "record/master record.csv" and to "record/<month folder>/<date>.csv" under the program folder,
// in code page 932 with CR LF line ends. A new file starts with the two header lines.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace rx47 {

struct Context;

inline constexpr const char* kRecordFolder = "record";
inline constexpr const char* kMasterRecordFile = "master record.csv";
/// The two lines a new record file starts with (UTF-8 here; code page 932 in the file).
inline constexpr const char* kRecordHeader1 = "日付,時刻,検出数,空間平均,,直近平均,,直近最大,,直近最小";
inline constexpr const char* kRecordHeader2 = ",,,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h";

/// A record line's date: "2026-05-07"
std::string dateText(const LocalDateTime& t);
/// A record line's time of day, to the second: "09:05:00"
std::string recordTimeText(const LocalDateTime& t);
/// The month folder of a run started at t: "2026_05".
std::string monthFolderName(const LocalDateTime& t);

/// Creates "record" and "record/<month folder>" in the program folder; existing folders are left
/// as they are. Throws FileError on the first folder that cannot be made.
void createRecordFolders(const std::filesystem::path& programFolder, const std::string& monthFolder);

/// Text in code page 932 from UTF-8. Throws FileError for a character the code page lacks.
std::string toCodePage932(std::string_view utf8);

/// Appends bytes to a file (created when missing) in one write, synced to disk. A write that does
/// not go through whole is taken back, so the file never ends in a torn line; a last line left torn
/// (by a power cut) is ended first, in the same write. Returns whether the file was empty before,
/// so that the caller syncs the new file's name. Throws FileError.
bool appendWhole(const std::filesystem::path& file, std::string_view bytes);

/// Appends the minute's line to each record file that is switched on. The first failing step ends
/// it with a Failure (a full disk, a deleted folder); the next minute tries again.
void writeMeasurementRecord(Context& ctx);

}  // namespace rx47
