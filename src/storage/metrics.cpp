// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/metrics.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/failure.h"
#include "storage/durable.h"

namespace rx47 {

namespace {

/// Whether a caption is a number the format can carry as it stands ("25", "0.208", "1E+16").
bool isNumber(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end && std::isfinite(value);
}

/// Length of the UTF-8 sequence at `i`, or 0 when the bytes there are not one.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    std::size_t n = 0;
    std::uint32_t code = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF)
        n = 2, code = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
        n = 3, code = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
        n = 4, code = b & 0x07;
    else
        return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    if ((n == 3 && code < 0x800) || (n == 4 && code < 0x10000) || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

struct Family {
    const char* name;
    const char* help;
    const char* type = "gauge";
};

constexpr Family kCpm{"rx47_cpm", "CPM of the last minute: the mean of the counter's readings in that minute."};
constexpr Family kDose{"rx47_dose_usv_per_hour", "Dose rate of the last minute in microsieverts per hour."};
constexpr Family kRunningCpm{"rx47_running_average_cpm", "Average of the per-minute CPM since start or reset."};
constexpr Family kRunningDose{"rx47_running_average_dose_usv_per_hour",
                              "Dose rate of the running average in microsieverts per hour."};
// The device's own count only grows, until it is cleared (the reset button) or the counter is switched off:
// a counter, whose drops Prometheus reads as resets.
constexpr Family kTotalCount{"rx47_counts_total",
                             "Counts since the counter's total was last cleared, as the counter last reported them.",
                             "counter"};
constexpr Family kLinkUp{"rx47_link_up", "1 while the counter is heard on its serial port, else 0."};
constexpr Family kAlarm{"rx47_alarm", "1 while an alarm of this kind is shown (until acknowledged), else 0."};
constexpr Family kReading{"rx47_reading_cpm", "CPM of the counter's last reading, updated with each reading."};
constexpr Family kReadingDose{"rx47_reading_dose_usv_per_hour",
                              "Dose rate of the last reading in microsieverts per hour."};
constexpr Family kCpmLevel{"rx47_cpm_alarm_level", "The CPM alarm level."};
constexpr Family kDoseLevel{"rx47_dose_alarm_level_usv_per_hour", "The dose alarm level in microsieverts per hour."};
constexpr Family kBuildInfo{"rx47_build_info", "Always 1; the label version names the monitor's version."};
constexpr Family kLastMinute{"rx47_last_minute_timestamp_seconds",
                             "Unix time of the minute update that entered the figures."};

void addFamily(std::string& out, const Family& family) {
    out += "# HELP ";
    out += family.name;
    out += ' ';
    out += family.help;
    out += "\n# TYPE ";
    out += family.name;
    out += ' ';
    out += family.type;
    out += '\n';
}

void addSample(std::string& out, const Family& family, const std::string& labels, const std::string& value) {
    out += family.name;
    out += '{';
    out += labels;
    out += "} ";
    out += value;
    out += '\n';
}

void addGauge(std::string& out, const Family& family, const std::string& labels, const std::string& value) {
    if (!isNumber(value)) return;
    addFamily(out, family);
    addSample(out, family, labels, value);
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& file, int error) {
    throw FileError(what + " " + file.string() + ": " + std::strerror(error));
}

}  // namespace

std::string labelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string metricsText(const MetricsFigures& f) {
    const std::string labels = "folder=\"" + labelValue(f.folder) + "\"";
    std::string out;
    // Figures that describe the counter mean nothing while it is not heard: a dashboard shows a gap.
    if (f.linkUp) {
        addGauge(out, kCpm, labels, f.cpm);
        addGauge(out, kDose, labels, f.dose);
        addGauge(out, kRunningCpm, labels, f.runningCpm);
        addGauge(out, kRunningDose, labels, f.runningDose);
        addGauge(out, kTotalCount, labels, f.totalCount);
        addGauge(out, kReading, labels, f.reading);
        addGauge(out, kReadingDose, labels, f.readingDose);
    }
    addGauge(out, kLinkUp, labels, f.linkUp ? "1" : "0");
    addGauge(out, kCpmLevel, labels, f.cpmAlarmLevel);
    addGauge(out, kDoseLevel, labels, f.doseAlarmLevel);
    if (!f.version.empty()) {
        addFamily(out, kBuildInfo);
        addSample(out, kBuildInfo, labels + ",version=\"" + labelValue(f.version) + "\"", "1");
    }
    addFamily(out, kAlarm);
    addSample(out, kAlarm, labels + ",kind=\"cpm\"", f.cpmAlarm ? "1" : "0");
    addSample(out, kAlarm, labels + ",kind=\"dose\"", f.doseAlarm ? "1" : "0");
    if (f.lastMinuteTime) addGauge(out, kLastMinute, labels, std::to_string(*f.lastMinuteTime));
    return out;
}

void checkMetricsPlace(const std::filesystem::path& file, uid_t user) {
    // Another user who can write into the folder could put a file of their own in the place of the
    // metrics file or of its temporary file. A sticky folder (as /tmp) keeps other users' hands off
    // the names the monitor makes, so there the file only has to be the user's own, or not yet there.
    const std::filesystem::path folder = file.parent_path();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return;  // not there: writing fails and says so
    const bool ownFolder = st.st_uid == user || st.st_uid == 0;
    const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const std::string refused = "the metrics file " + file.string() + " is refused: ";
    const std::string remedy = "; name a file in a folder only you can write to";
    if (!ownFolder) throw FileError(refused + "its folder " + folder.string() + " belongs to another user" + remedy);
    if (!othersWrite) return;
    if ((st.st_mode & S_ISVTX) == 0)
        throw FileError(refused + "other users can write into its folder " + folder.string() + remedy +
                        " (or in a folder with the sticky bit, such as /tmp)");
    if (::lstat(file.c_str(), &st) == 0 && st.st_uid != user)
        throw FileError(refused + "it belongs to another user, in the shared folder " + folder.string() + remedy);
}

void replaceFile(const std::filesystem::path& file, std::string_view bytes) {
    checkMetricsPlace(file, ::geteuid());
    // A name no one can foresee, made by the library with O_EXCL: never a file or link put there.
    std::string tempName = temporaryNameTemplate(file);
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) fail("cannot create a file in", file.parent_path(), errno);
    const std::filesystem::path temp = tempName;
    int error = 0;
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0)
            error = EIO;
        else if (errno != EINTR)
            error = errno;
    }
    // Readable by the collector, which runs as a user of its own.
    if (error == 0 && ::fchmod(fd, 0644) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), file.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        fail("cannot replace", file, error);
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        fail("cannot write", temp, error);
    }
}

}  // namespace rx47
