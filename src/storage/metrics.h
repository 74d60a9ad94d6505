// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The metrics file: the program's figures in the Prometheus text exposition format, for the textfile
// collector of node_exporter, which turns a fleet of counters into one dashboard without the program
// opening a network port. The file is replaced whole (written beside it, synced, renamed over it),
// so its reader never sees half of it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace rx47 {

/// What the metrics file shows. The figures are the captions the window shows and the records
/// hold; an empty caption leaves its metric out (it is not yet known, which is not 0).
struct MetricsFigures {
    std::string folder;          ///< the program folder: one counter's series apart from another's
    std::string cpm;             ///< the last minute's CPM
    std::string dose;            ///< its dose rate, μSv/h
    std::string runningCpm;      ///< the running average since start or reset
    std::string runningDose;     ///< its dose rate
    std::string totalCount;      ///< the counter's total count
    std::string reading;         ///< the last reading's CPM, live
    std::string readingDose;     ///< its dose rate
    std::string cpmAlarmLevel;   ///< the CPM alarm level
    std::string doseAlarmLevel;  ///< the dose alarm level, μSv/h
    std::string version;         ///< the program's version
    bool linkUp = false;         ///< the counter is heard on its port; while not, the counter's figures are left out
    bool cpmAlarm = false;       ///< a CPM alarm is shown (until acknowledged)
    bool doseAlarm = false;      ///< a dose alarm is shown
    std::optional<std::int64_t> lastMinuteTime;  ///< Unix time of the update that entered the figures
};

/// The file's text: HELP and TYPE lines, then one sample for each metric (two for the alarm, one
/// per kind), every sample labelled with the folder. The counter's figures only while it is heard.
std::string metricsText(const MetricsFigures& figures);

/// A label value as the format writes it: backslash, double quote and line feed escaped, bytes that
/// are not UTF-8 (a folder name in another encoding) replaced by U+FFFD.
std::string labelValue(std::string_view text);

/// Whether the metrics file is safe from other users where it is: its folder is the user's (or
/// root's) and no one else can write into it, or it is a sticky folder (such as /tmp) where the file
/// is the user's own or not there yet. Throws FileError saying why not and what to do.
void checkMetricsPlace(const std::filesystem::path& file, uid_t user);

/// Replaces `file` by `bytes`: written to a new file of a name the library picks beside it
/// (temporaryNameTemplate), synced, and renamed over it; refused where checkMetricsPlace refuses.
/// Throws FileError (and leaves no temporary file) when any step fails.
void replaceFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace rx47
