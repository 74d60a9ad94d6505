// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The measurement records: once a minute one line of the readout captions is appended to
// "record/master record.csv" and to "record/<month folder>/<date>.csv" under the program folder,
// in code page 932 with CR LF line ends. A new file starts with the two header lines.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace rx47 {

inline constexpr const char* kRecordFolder = "record";
inline constexpr const char* kMasterRecordFile = "master record.csv";
/// The two lines a new record file starts with (UTF-8 here; code page 932 in the file).
inline constexpr const char* kRecordHeader1 = "日付,時刻,検出数,空間平均,,直近平均,,直近最大,,直近最小";
inline constexpr const char* kRecordHeader2 = ",,,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h";

/// The fields of a record line, in file order: the date, the time of day, then the minute's nine
/// figures as the window shows them (the dose texts as doseText writes them).
enum RecordField : int {
    kDateField,
    kTimeField,
    kTotalCountField,  ///< 検出数
    kRunningCpmField,  ///< 空間平均: the running average since start or reset
    kRunningDoseField,
    kAverageCpmField,  ///< 直近平均: the minute's CPM
    kAverageDoseField,
    kMaxCpmField,  ///< 直近最大
    kMaxDoseField,
    kMinCpmField,  ///< 直近最小
    kMinDoseField,
    kRecordFields
};

/// One minute's record line: its moment and its figures, from the total count on.
struct RecordLine {
    LocalDateTime time;
    std::array<std::string, kRecordFields - kTotalCountField> figures;
    std::string& operator[](RecordField field) { return figures[field - kTotalCountField]; }
    const std::string& operator[](RecordField field) const { return figures[field - kTotalCountField]; }
};

/// Which record files take a line.
struct RecordFiles {
    bool master = false;  ///< "record/master record.csv"
    bool daily = false;   ///< "record/<month folder>/<date>.csv"
};

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

/// A record line as text (UTF-8, without its line end): "2026-05-07,09:05:00,1234,25,0.208,...".
std::string recordLineText(const RecordLine& line);

/// Appends a line to each record file named (a new file gets the header lines first, in the same
/// write). The first failing file ends it with a Failure (a full disk, a deleted folder).
void appendRecordLine(const std::filesystem::path& programFolder, const std::string& monthFolder,
                      const RecordLine& line, RecordFiles files);

}  // namespace rx47
