// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The minutes of a large record file kept beside the user's other caches, so that ten years of
// master file are neither read line by line at every start nor held in memory: the cache file is
// mapped, and only the pages a view reads are loaded. The cache only ever stands for a leading part
// of the file as it was: it is taken when the file is the same one (device and inode), that part of
// it still ends in the same bytes, and, when the file has not grown, its time of change is the same;
// its own content is checked against a hash before it is mapped. Anything else, and the file is read
// as if there were no cache. The record folder is the monitor's and is never written to.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "history/record_reader.h"
#include "history/series.h"

namespace rx47::history {

/// Minutes in one piece of memory: a vector of the heap, or a cache file's minutes mapped (its pages
/// read in as they are used, and given back by the system when memory is short) with room after
/// them for the minutes a running monitor appends. Move-only. As the index's source, it reads the
/// mapped minutes with a system call rather than through the mapping, which would bring in the
/// pages around them too.
class MinuteArray final : public MinuteSource {
public:
    MinuteArray() = default;
    explicit MinuteArray(std::vector<Minute> minutes) : heap_(std::move(minutes)) {}
    MinuteArray(MinuteArray&& other) noexcept;
    MinuteArray& operator=(MinuteArray&& other) noexcept;
    MinuteArray(const MinuteArray&) = delete;
    MinuteArray& operator=(const MinuteArray&) = delete;
    ~MinuteArray();

    /// The room after mapped minutes for the ones a running monitor appends (two years of them:
    /// address space only, until they come); beyond it the minutes move to the heap.
    static constexpr std::size_t kRoom = 1 << 20;

    /// `count` minutes at `offset` (a multiple of the page size) of the file open as `fd`; nothing
    /// when the system refuses the mapping.
    static std::optional<MinuteArray> map(int fd, std::uint64_t offset, std::size_t count);

    const Minute* data() const { return mapped_ ? mapped_ : heap_.data(); }
    std::size_t size() const { return mapped_ ? size_ : heap_.size(); }
    bool empty() const { return size() == 0; }
    const Minute* begin() const { return data(); }
    const Minute* end() const { return data() + size(); }
    const Minute& operator[](std::size_t i) const { return data()[i]; }
    const Minute& front() const { return data()[0]; }
    const Minute& back() const { return data()[size() - 1]; }
    operator std::span<const Minute>() const { return {data(), size()}; }
    /// Whether the minutes are a mapped file's.
    bool mapped() const { return mapped_ != nullptr; }

    void append(std::span<const Minute> minutes);
    void copy(std::size_t first, std::size_t count, Minute* out) const override;

private:
    void unmap();

    std::vector<Minute> heap_;
    Minute* mapped_ = nullptr;
    std::size_t size_ = 0;      // minutes in the mapping
    std::size_t capacity_ = 0;  // minutes the mapping has room for
    std::size_t mappedBytes_ = 0;
    std::size_t fromFile_ = 0;  // the mapped minutes that are the file's
    int fd_ = -1;               // the file's
    std::uint64_t offset_ = 0;  // where its minutes start
};

/// What a cache holds of a file: its minutes up to `consumed` bytes in time order, the line counts
/// and last moment that reading them gave, the block summaries of the minutes and the local days
/// (the moments they start) that have every one of their minutes.
struct CachedPart {
    std::uint64_t consumed = 0;
    LineCounts counts;
    std::optional<std::int64_t> previous;
    MinuteArray minutes;
    std::vector<SeriesIndex::Block> blocks;
    std::vector<std::int64_t> wholeDays;
};

/// The moments a local day starts and the next one starts (23 or 25 hours apart on the days the
/// clock changes); nothing for a day the C library cannot place.
std::optional<std::pair<std::int64_t, std::int64_t>> dayBounds(LocalTimes& times, std::chrono::year_month_day day);

/// A cache file being written, minute by minute in time order, so that a master file read for the
/// first time need not be held in memory: the minutes go to the file as they are read, the block
/// summaries and whole days are made on the way, and at the end the file's minutes are mapped.
class CacheWriter {
public:
    /// A new cache file for `file` in `folder`; ok() says whether it could be made.
    CacheWriter(const std::filesystem::path& folder, const std::filesystem::path& file);
    ~CacheWriter();
    CacheWriter(const CacheWriter&) = delete;
    CacheWriter& operator=(const CacheWriter&) = delete;

    bool ok() const { return fd_ >= 0; }
    /// Adds minutes after those added before; false, and nothing more kept, when one of them is
    /// earlier than the one before it (or the file cannot be written).
    bool add(std::span<const Minute> minutes);
    /// The cache file made for the file open as `fd` with status `st` (read up to `consumed`, with
    /// these line counts and last moment): it replaces the old one, and its part is returned with the
    /// minutes mapped. Nothing when it cannot be made.
    std::optional<CachedPart> finish(int fd, const struct stat& st, std::uint64_t consumed, const LineCounts& counts,
                                     std::optional<std::int64_t> previous);
    /// The minutes added (and their block summaries), mapped from a file that is removed from the
    /// folder at once and lives on while mapped: memory's stand-in for a series made in the viewer,
    /// never read again. Nothing when it cannot be made.
    std::optional<CachedPart> finishUnnamed();

private:
    bool flush();
    void closeDay();
    void fail();

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    std::vector<Minute> piece_;  // minutes not yet written
    std::uint64_t written_ = 0;  // minutes written
    std::uint64_t contentHash_ = 0;
    std::vector<SeriesIndex::Block> blocks_;
    std::vector<std::int64_t> wholeDays_;
    std::optional<std::int64_t> first_, last_;
    LocalTimes times_;
    std::int64_t dayFrom_ = 0, dayTo_ = 0, dayMinutes_ = 0, lastMinute_ = 0;
};

/// The folder for the caches: $XDG_CACHE_HOME/rx47-history, or ~/.cache/rx47-history; empty when
/// neither can be had.
std::filesystem::path userCacheFolder();

/// A file's part from the cache in `folder`, when it can be trusted for the file open as `fd` with
/// status `st`; nothing otherwise (a cache file cut short, of another program or of an older
/// layout included). Never throws.
std::optional<CachedPart> loadCachedPart(const std::filesystem::path& folder, const std::filesystem::path& file, int fd,
                                         const struct stat& st);

/// Keeps a file's part in the cache in `folder` (written to a new file and renamed over the old one)
/// from `count` minutes in time order, and returns it with its minutes mapped from there; nothing
/// when it could not be kept (the cache is only a saving).
std::optional<CachedPart> storeCachedPart(const std::filesystem::path& folder, const std::filesystem::path& file,
                                          int fd, const struct stat& st, std::uint64_t consumed,
                                          const LineCounts& counts, std::optional<std::int64_t> previous,
                                          const MinuteSource& minutes, std::size_t count);

}  // namespace rx47::history
