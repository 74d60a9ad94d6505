// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The columns of the settings table, the one place that names them: each column's name as stored,
// what it holds, the type the supplied file declares, the range of its values where one applies,
// and its supplied value. The program reads and writes a column through its constant here
// (SettingsRow takes them), so a misspelt column does not compile; the maker of the supplied file
// builds the table from the same list.
//
// Needs nothing but the standard library, so that the maker of the supplied file can use it before
// anything else of the program is built.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace rx47 {

/// What a settings column holds, as the program reads and writes it.
enum class ColumnKind {
    Flag,     ///< yes/no: -1 for yes, 0 for no
    Whole,    ///< a whole number
    Colour,   ///< a colour, 0x00BBGGRR
    Decimal,  ///< a number with a fraction
    Text,     ///< a text
};

/// The values a column may hold, both ends included.
struct ColumnRange {
    std::int64_t lowest;
    std::int64_t highest;
};

/// Whether files of every version have the column.
enum class Presence {
    Always,
    SinceRecording,  ///< the recording switches; files of older versions lack them
};

/// One column of the settings table.
struct ColumnInfo {
    std::string_view name;  ///< as stored; the row matches it without regard to case
    ColumnKind kind;
    std::string_view storedType;  ///< the type the supplied file declares
    std::string_view supplied;    ///< the supplied value, as text (the column's kind says how to store it)
    std::optional<ColumnRange> range;
    Presence presence;
};

/// A column of the settings table of a given kind; SettingsRow's accessors take one. Only the
/// constants below are columns.
template <ColumnKind K>
struct Column {
    constexpr explicit Column(std::string_view name, std::string_view storedType, std::string_view supplied,
                              std::optional<ColumnRange> range = std::nullopt, Presence presence = Presence::Always)
        : info{name, K, storedType, supplied, range, presence} {}
    constexpr std::string_view name() const { return info.name; }

    ColumnInfo info;
};

using FlagColumn = Column<ColumnKind::Flag>;
using WholeColumn = Column<ColumnKind::Whole>;
using ColourColumn = Column<ColumnKind::Colour>;
using DecimalColumn = Column<ColumnKind::Decimal>;
using TextColumn = Column<ColumnKind::Text>;

namespace column {

inline constexpr ColumnRange kYesNo{-1, 0};
inline constexpr ColumnRange kAnyColour{0, 0xFFFFFF};
/// What the counter takes for its alarm level and its gamma coefficient.
inline constexpr ColumnRange kDeviceValue{0, 65535};

// The columns in the order of the supplied file.
/// The number n of the serial port last used, COMn.
inline constexpr WholeColumn kPort{"COMport", "SMALLINT", "1"};
inline constexpr ColourColumn kBarColour{"graphcolor", "INTEGER", "12615680", kAnyColour};      // RGB 0,128,192
inline constexpr ColourColumn kDoseColour{"linecolor", "INTEGER", "33023", kAnyColour};         // RGB 255,128,0
inline constexpr ColourColumn kAlarmLineColour{"warnlinecolor", "INTEGER", "255", kAnyColour};  // red
/// The entries chosen in the graph's two scale lists.
inline constexpr TextColumn kCpmScale{"CPMscale", "TEXT", "100"};
inline constexpr TextColumn kDoseScale{"LINEscale", "TEXT", "0.400"};
inline constexpr FlagColumn kBuzzer{"buzzer", "BOOLEAN", "0", kYesNo};
/// Start with the window minimised.
inline constexpr FlagColumn kStartMinimised{"startup", "BOOLEAN", "0", kYesNo};
/// A minimised window goes to the tray.
inline constexpr FlagColumn kTaskTray{"tasktray", "BOOLEAN", "0", kYesNo};
/// The exits counted since the last compaction of the file.
inline constexpr WholeColumn kExitCount{"running", "SMALLINT", "1", ColumnRange{1, 100}};
/// CPM per 1 uSv/h.
inline constexpr WholeColumn kGammaCoefficient{"gkeisuu", "SMALLINT", "120", kDeviceValue};
/// The alarms' master switch.
inline constexpr FlagColumn kAlarms{"warning", "BOOLEAN", "-1", kYesNo};
inline constexpr FlagColumn kAlarmLine{"warnline", "BOOLEAN", "-1", kYesNo};
inline constexpr WholeColumn kCpmAlarmLevel{"warnCPMlevel", "SMALLINT", "100", kDeviceValue};
/// In uSv/h.
inline constexpr DecimalColumn kDoseAlarmLevel{"warnLineLevel", "DOUBLE", "0.5"};
/// An alarm brings the window up.
inline constexpr FlagColumn kPopup{"popup", "BOOLEAN", "-1", kYesNo};
inline constexpr FlagColumn kSound{"sound", "BOOLEAN", "-1", kYesNo};
inline constexpr FlagColumn kFlash{"flash", "BOOLEAN", "-1", kYesNo};
/// The records' master switch, and the two record files.
inline constexpr FlagColumn kRecord{"record", "BOOLEAN", "-1", kYesNo, Presence::SinceRecording};
inline constexpr FlagColumn kMasterRecord{"masterrecord", "BOOLEAN", "-1", kYesNo, Presence::SinceRecording};
inline constexpr FlagColumn kDailyRecord{"dailyrecord", "BOOLEAN", "-1", kYesNo, Presence::SinceRecording};

}  // namespace column

/// Every column of the settings table, in the order of the supplied file.
inline constexpr std::array<ColumnInfo, 21> kSettingsColumns = {
    column::kPort.info,
    column::kBarColour.info,
    column::kDoseColour.info,
    column::kAlarmLineColour.info,
    column::kCpmScale.info,
    column::kDoseScale.info,
    column::kBuzzer.info,
    column::kStartMinimised.info,
    column::kTaskTray.info,
    column::kExitCount.info,
    column::kGammaCoefficient.info,
    column::kAlarms.info,
    column::kAlarmLine.info,
    column::kCpmAlarmLevel.info,
    column::kDoseAlarmLevel.info,
    column::kPopup.info,
    column::kSound.info,
    column::kFlash.info,
    column::kRecord.info,
    column::kMasterRecord.info,
    column::kDailyRecord.info,
};

namespace detail {
constexpr bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}
constexpr bool namesDiffer() {
    for (std::size_t i = 0; i < kSettingsColumns.size(); ++i)
        for (std::size_t j = i + 1; j < kSettingsColumns.size(); ++j)
            if (sameName(kSettingsColumns[i].name, kSettingsColumns[j].name)) return false;
    return true;
}
}  // namespace detail
static_assert(detail::namesDiffer(), "two settings columns with one name (the row ignores case)");

}  // namespace rx47
