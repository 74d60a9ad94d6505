// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The records of a program folder as one series of minutes in time order: the master file, and the
// daily files for whatever the master lacks (it may be switched off, or have been for a while). A
// minute recorded in both files counts once. It follows a running monitor: refresh() reads only the
// bytes appended since it last looked.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "history/minute_cache.h"
#include "history/record_reader.h"
#include "history/series.h"

namespace rx47::history {

class RecordStore {
public:
    /// With a `cacheFolder`, the minutes of a large master file are kept there between runs.
    explicit RecordStore(std::filesystem::path programFolder, std::filesystem::path cacheFolder = {});
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    /// Reads what is new in the record files: everything the first time, then only appended bytes and
    /// new files. A file that shrank or was replaced makes it read every file again. Returns whether
    /// the series changed. Never throws for what it finds on disk.
    bool refresh();

    /// Every minute read, in time order (those of a large master file mapped from the cache: valid
    /// until the next refresh()).
    std::span<const Minute> minutes() const { return minutes_; }
    /// The block summaries of minutes(), for reducing a wide view.
    const SeriesIndex& index() const { return index_; }
    /// The lines of every file so far; `torn` counts the files whose last line is still unterminated.
    LineCounts counts() const;
    /// Files and folders that could not be read at the last refresh.
    std::size_t unreadable() const { return unreadable_; }
    /// Whether the program folder has a "record" folder (at the last refresh).
    bool hasRecordFolder() const { return hasRecordFolder_; }
    std::filesystem::path recordFolder() const;
    /// The record files found so far, master first.
    std::vector<std::filesystem::path> files() const;

private:
    enum Source : std::uint8_t { Master, Daily };
    struct File {
        std::filesystem::path path;
        Source source = Daily;
        dev_t device = 0;
        ino_t inode = 0;
        std::uint64_t consumed = 0;  // bytes read up to the last complete line
        std::uint64_t size = 0;      // size when last read
        bool tornTail = false;
        LineCounts counts;                     // complete lines so far
        std::optional<std::int64_t> previous;  // the moment of its last record line
    };
    enum class Outcome { Unchanged, Read, Unreadable, Replaced };

    void clear();
    Outcome readNew(File& file, std::vector<Minute>& batch);
    bool coveredByOtherSource(const Minute& m, Source source) const;
    /// Keeps the master's minutes in the cache and takes them back from there, mapped; whether it did.
    bool keepMaster();
    /// Whether the master file has every minute of a daily file's day.
    bool masterHasDay(const std::filesystem::path& daily) const;
    void merge(std::vector<Minute>& batch, Source source);
    /// merge() of a batch among minutes mapped from the cache, into a new mapped file rather than
    /// into memory; false, with nothing changed, when that file cannot be made.
    bool mergeMapped(const std::vector<Minute>& batch, Source source);

    std::filesystem::path programFolder_;
    std::filesystem::path cacheFolder_;
    std::vector<File> files_;                // master first, then the daily files as found
    std::unordered_set<std::string> known_;  // the paths in files_
    MinuteArray minutes_;
    std::vector<Source> sources_;  // beside minutes_
    SeriesIndex index_;            // of minutes_
    /// The local days (the moments they start) of which the master has every minute, as the cache
    /// knew them: a subset of those it has now.
    std::vector<std::int64_t> wholeDays_;
    /// The master file just read as text, open, to be kept in the cache once its minutes are merged.
    struct ToKeep {
        int fd = -1;
        struct stat status {};
    };
    ToKeep toKeep_;
    bool adopted_ = false;  // readNew() took minutes from the cache straight into the series
    std::size_t unreadable_ = 0;
    bool hasRecordFolder_ = false;
};

}  // namespace rx47::history
