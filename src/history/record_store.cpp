// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/record_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>

#include "history/minute_cache.h"
#include "storage/records.h"

namespace rx47::history {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;
/// Text worth keeping in the cache: about two weeks of minutes, a few milliseconds to read.
constexpr std::uint64_t kCacheWorthy = 1 << 20;

std::int64_t minuteOf(std::int64_t t) {
    return t >= 0 ? t / 60 : -((-t + 59) / 60);
}

bool byTime(const Minute& a, const Minute& b) {
    return a.time < b.time;
}

/// How many distinct minutes of [from, to) the minutes from position `i` on have, counting those
/// `take` accepts.
template <class Take>
std::int64_t distinctMinutes(std::span<const Minute> minutes, std::size_t i, std::int64_t from, std::int64_t to,
                             Take take) {
    std::int64_t count = 0, counted = minuteOf(from) - 1;
    for (; i < minutes.size() && minutes[i].time < to; ++i) {
        const std::int64_t minute = minuteOf(minutes[i].time);
        if (take(i) && minute != counted) {
            ++count;
            counted = minute;
        }
    }
    return count;
}

bool shaped(const std::string& name, const char* pattern) {
    // '9' stands for a digit; everything else for itself.
    const std::size_t n = std::char_traits<char>::length(pattern);
    if (name.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (pattern[i] == '9' ? (name[i] < '0' || name[i] > '9') : name[i] != pattern[i]) return false;
    }
    return true;
}

/// The daily files: "record/<yyyy_mm>/<yyyy-mm-dd>.csv". Other files in the record folder are not
/// the monitor's and are left alone.
std::vector<fs::path> dailyFiles(const fs::path& recordFolder, std::size_t& unreadable) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator month(recordFolder, ec), end; !ec && month != end; month.increment(ec)) {
        std::error_code typeError;
        if (!shaped(month->path().filename().string(), "9999_99") || !month->is_directory(typeError)) continue;
        std::error_code dayError;
        for (fs::directory_iterator day(month->path(), dayError), dayEnd; !dayError && day != dayEnd;
             day.increment(dayError)) {
            if (shaped(day->path().filename().string(), "9999-99-99.csv")) found.push_back(day->path());
        }
        if (dayError) ++unreadable;
    }
    if (ec) ++unreadable;
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

RecordStore::RecordStore(fs::path programFolder, fs::path cacheFolder)
    : programFolder_(std::move(programFolder)), cacheFolder_(std::move(cacheFolder)) {
    index_.setSource(&minutes_);
}

fs::path RecordStore::recordFolder() const {
    return programFolder_ / kRecordFolder;
}

std::vector<fs::path> RecordStore::files() const {
    std::vector<fs::path> paths;
    for (const File& f : files_) paths.push_back(f.path);
    return paths;
}

LineCounts RecordStore::counts() const {
    LineCounts total;
    for (const File& f : files_) {
        total += f.counts;
        if (f.tornTail) ++total.torn;
    }
    return total;
}

void RecordStore::clear() {
    files_.clear();
    known_.clear();
    minutes_ = {};
    sources_.clear();
    sources_.shrink_to_fit();
    index_ = {};
    index_.setSource(&minutes_);
    wholeDays_.clear();
    if (toKeep_.fd >= 0) ::close(std::exchange(toKeep_.fd, -1));
}

bool RecordStore::refresh() {
    try {
        unreadable_ = 0;
        const fs::path folder = recordFolder();
        std::error_code ec;
        hasRecordFolder_ = fs::is_directory(folder, ec);
        if (!hasRecordFolder_) return false;

        // Files as found now, the master first; those already known keep their place.
        std::vector<std::pair<fs::path, Source>> found;
        const fs::path master = folder / kMasterRecordFile;
        if (fs::exists(master, ec)) found.emplace_back(master, Master);
        for (fs::path& p : dailyFiles(folder, unreadable_)) found.emplace_back(std::move(p), Daily);
        for (auto& [path, source] : found) {
            // Ten years are 3,653 daily files: looked up by hash, not compared one by one.
            if (known_.insert(path.native()).second) {
                File file;
                file.path = path;
                file.source = source;
                files_.push_back(std::move(file));
            }
        }
        std::stable_partition(files_.begin(), files_.end(), [](const File& f) { return f.source == Master; });

        bool changed = false;
        adopted_ = false;
        // The master's new minutes go in first, so that a daily line of the same minute finds them.
        for (Source source : {Master, Daily}) {
            std::vector<Minute> batch;
            for (File& f : files_) {
                if (f.source != source) continue;
                switch (readNew(f, batch)) {
                    case Outcome::Replaced:
                        // Rotated, cut back or rewritten: what was read from it no longer holds.
                        clear();
                        refresh();
                        return true;
                    case Outcome::Unreadable:
                        ++unreadable_;
                        break;
                    case Outcome::Read:
                    case Outcome::Unchanged:
                        break;
                }
            }
            if (!batch.empty()) {
                merge(batch, source);
                changed = true;
            }
            // The minutes move to the cache's mapping: the series is a new one to whoever holds it.
            if (source == Master && toKeep_.fd >= 0 && keepMaster()) changed = true;
        }
        return changed || adopted_;
    } catch (const std::exception&) {
        // Out of memory or a path the file system refuses: keep what was read.
        if (toKeep_.fd >= 0) ::close(std::exchange(toKeep_.fd, -1));
        ++unreadable_;
        return adopted_;
    }
}

RecordStore::Outcome RecordStore::readNew(File& file, std::vector<Minute>& batch) {
    struct stat st {};
    if (::stat(file.path.c_str(), &st) != 0) return errno == ENOENT ? Outcome::Unchanged : Outcome::Unreadable;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const bool seen = file.inode != 0;
    if (seen && (st.st_ino != file.inode || st.st_dev != file.device || size < file.consumed)) return Outcome::Replaced;
    if (seen && size == file.size) return Outcome::Unchanged;

    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Outcome::Unreadable;
    file.device = st.st_dev;
    file.inode = st.st_ino;
    if (!seen && file.source == Daily && size <= kChunk && masterHasDay(file.path)) {
        // Every minute of this day is the master's, so none of this file's lines would be taken:
        // they are only counted, unless a line is not of that day after all.
        std::string bytes(size, '\0');
        ssize_t n = 0;
        do n = ::pread(fd, bytes.data(), bytes.size(), 0);
        while (n < 0 && errno == EINTR);
        std::size_t consumed = 0;
        const std::string date = file.path.stem().string();
        if (n == static_cast<ssize_t>(size) && countDayLines(bytes, date, file.counts, consumed)) {
            ::close(fd);
            file.consumed = consumed;
            file.size = size;
            file.tornTail = consumed < size;
            // The moment of its last line, as far as the next line appended to it needs one.
            LocalTimes times;
            std::int64_t last = 0;
            if (consumed > 0 && times.seconds(std::stoi(date.substr(0, 4)), std::stoi(date.substr(5, 2)),
                                              std::stoi(date.substr(8, 2)), 23, 59, 59, last))
                file.previous = last;
            return Outcome::Read;
        }
    }

    ReadResult result;
    // A master file read before: its minutes up to where they were read then, when they still hold.
    std::optional<CachedPart> cached;
    if (!seen && file.source == Master) cached = loadCachedPart(cacheFolder_, file.path, fd, st);
    if (cached) {
        file.consumed = cached->consumed;
        file.counts = cached->counts;
        file.previous = cached->previous;
        if (minutes_.empty()) {
            // The series starts as the cache's mapped minutes, with their block summaries.
            minutes_ = std::move(cached->minutes);
            sources_.assign(minutes_.size(), Master);
            if (!index_.restore(std::move(cached->blocks), minutes_.size())) index_.update(minutes_, 0);
            wholeDays_ = std::move(cached->wholeDays);
            adopted_ = true;
        } else {
            result.minutes.assign(cached->minutes.begin(), cached->minutes.end());
        }
    }
    // The text after what the cache has (all of it without a cache). A large master read for the
    // first time goes straight into a new cache file rather than into memory, when its lines follow
    // the clock (they are read again into memory when they do not).
    std::optional<CacheWriter> writer;
    if (!seen && file.source == Master && !cached && minutes_.empty() && size - file.consumed >= kCacheWorthy)
        writer.emplace(cacheFolder_, file.path);
    if (writer && !writer->ok()) writer.reset();
    std::string buffer;
    std::uint64_t offset = file.consumed;
    bool failed = false;
    const auto readText = [&] {
        result = {};
        result.previous = file.previous;
        // Room for every line at once (a record line is 50 bytes or more; room never touched costs
        // no memory), so a year is not copied as it grows.
        if (!writer) result.minutes.reserve((size - file.consumed) / 40 + 1);
        buffer.clear();
        offset = file.consumed;
        failed = false;
        for (;;) {
            const std::size_t kept = buffer.size();
            buffer.resize(kept + kChunk);
            const ssize_t n = ::pread(fd, buffer.data() + kept, kChunk, static_cast<off_t>(offset + kept));
            if (n < 0) {
                if (errno == EINTR) {
                    buffer.resize(kept);
                    continue;
                }
                failed = true;
                buffer.resize(kept);
                break;
            }
            buffer.resize(kept + static_cast<std::size_t>(n));
            if (n == 0) break;
            readRecords(buffer, false, result);
            offset += result.consumed;
            buffer.erase(0, result.consumed);
            if (writer) {
                if (!writer->add(result.minutes)) return false;
                result.minutes.clear();
            }
        }
        return true;
    };
    std::optional<CachedPart> made;
    if (writer) {
        if (readText() && !failed) made = writer->finish(fd, st, offset, result.counts, result.previous);
        writer.reset();
        if (made) {
            minutes_ = std::move(made->minutes);
            sources_.assign(minutes_.size(), Master);
            if (!index_.restore(std::move(made->blocks), minutes_.size())) index_.update(minutes_, 0);
            wholeDays_ = std::move(made->wholeDays);
            adopted_ = true;
        } else {
            readText();
        }
    } else {
        std::vector<Minute> before = std::move(result.minutes);
        readText();
        if (!before.empty()) result.minutes.insert(result.minutes.begin(), before.begin(), before.end());
    }

    const std::uint64_t fromText = offset - file.consumed;
    file.consumed = offset;
    file.size = offset + buffer.size();
    // What follows the last line end is a line being written, or one cut short for good; either way
    // it is not read until its line end comes.
    file.tornTail = !buffer.empty();
    file.counts += result.counts;
    file.previous = result.previous;
    // Kept for the next run when a good part of it had to be read as text, once its minutes are
    // in the series.
    if (file.source == Master && !seen && !failed && !made && fromText >= kCacheWorthy && !cacheFolder_.empty() &&
        toKeep_.fd < 0) {
        toKeep_.fd = fd;
        toKeep_.status = st;
    } else {
        ::close(fd);
    }
    if (!minutes_.empty() && !result.minutes.empty()) {
        // Minute by minute only where the series has any minute of the file's span (a daily file of
        // days the master was off is not looked up line by line).
        const auto [earliest, latest] = std::minmax_element(result.minutes.begin(), result.minutes.end(), byTime);
        const std::size_t i = index_.lowerBound(minutes_, minuteOf(earliest->time) * 60, 0, minutes_.size());
        if (i < minutes_.size() && minuteOf(minutes_[i].time) <= minuteOf(latest->time))
            std::erase_if(result.minutes, [&](const Minute& m) { return coveredByOtherSource(m, file.source); });
    }
    // A year's file is the batch as it stands, not a copy of it.
    if (batch.empty())
        batch = std::move(result.minutes);
    else
        batch.insert(batch.end(), result.minutes.begin(), result.minutes.end());
    return failed ? Outcome::Unreadable : Outcome::Read;
}

bool RecordStore::masterHasDay(const fs::path& daily) const {
    if (minutes_.empty()) return false;
    // The file's name is its day: "2026-05-07.csv".
    const std::string name = daily.filename().string();
    const int y = std::stoi(name.substr(0, 4)), m = std::stoi(name.substr(5, 2)), d = std::stoi(name.substr(8, 2));
    LocalTimes times;
    const auto bounds = dayBounds(times, std::chrono::year{y} / m / d);
    if (!bounds) return false;
    const auto [from, to] = *bounds;
    // A day the cache knew whole is still whole: its minutes need not be looked at.
    if (std::binary_search(wholeDays_.begin(), wholeDays_.end(), from)) return true;
    // The master's distinct minutes of the day, against the minutes the day has.
    const std::size_t i = index_.lowerBound(minutes_, from, 0, minutes_.size());
    return distinctMinutes(minutes_, i, from, to, [&](std::size_t at) { return sources_[at] == Master; }) ==
           (to - from) / 60;
}

bool RecordStore::coveredByOtherSource(const Minute& m, Source source) const {
    if (minutes_.empty()) return false;
    const std::int64_t minute = minuteOf(m.time);
    if (minuteOf(minutes_.back().time) < minute || minuteOf(minutes_.front().time) > minute) return false;
    for (std::size_t i = index_.lowerBound(minutes_, minute * 60, 0, minutes_.size());
         i < minutes_.size() && minuteOf(minutes_[i].time) == minute; ++i)
        if (sources_[i] != source) return true;
    return false;
}

bool RecordStore::keepMaster() {
    const int fd = std::exchange(toKeep_.fd, -1);
    // The cache stands for the master file alone: kept when the series is its minutes and no others.
    const File* master = !files_.empty() && files_.front().source == Master ? &files_.front() : nullptr;
    if (master && std::all_of(sources_.begin(), sources_.end(), [](Source s) { return s == Master; })) {
        // From now on the minutes are the cache's, mapped, rather than the heap's.
        if (auto kept = storeCachedPart(cacheFolder_, master->path, fd, toKeep_.status, master->consumed,
                                        master->counts, master->previous, minutes_, minutes_.size());
            kept && kept->minutes.size() == minutes_.size() &&
            index_.restore(std::move(kept->blocks), kept->minutes.size())) {
            minutes_ = std::move(kept->minutes);
            wholeDays_ = std::move(kept->wholeDays);
            ::close(fd);
            return true;
        }
    }
    ::close(fd);
    return false;
}

void RecordStore::merge(std::vector<Minute>& batch, Source source) {
    // A clock set back writes earlier times later in a file: order the batch first.
    if (!std::is_sorted(batch.begin(), batch.end(), byTime)) std::stable_sort(batch.begin(), batch.end(), byTime);
    if (minutes_.empty()) {
        minutes_ = MinuteArray(std::move(batch));
        sources_.assign(minutes_.size(), source);
        index_.update(minutes_, 0);
        return;
    }
    if (minutes_.back().time <= batch.front().time) {
        // The usual case: a running monitor's new lines follow everything read.
        const std::size_t before = minutes_.size();
        minutes_.append(batch);
        sources_.insert(sources_.end(), batch.size(), source);
        index_.update(minutes_, before);
        return;
    }
    // Daily files filling a gap in ten years of master: the merged series goes to a file as well.
    if (minutes_.mapped() && mergeMapped(batch, source)) return;
    const Minute earliest = batch.front();
    const auto unchanged = static_cast<std::size_t>(
        std::upper_bound(minutes_.begin(), minutes_.end(), earliest, byTime) - minutes_.begin());
    std::vector<Minute> merged;
    std::vector<Source> sources;
    merged.reserve(minutes_.size() + batch.size());
    sources.reserve(minutes_.size() + batch.size());
    std::size_t i = 0, j = 0;
    while (i < minutes_.size() || j < batch.size()) {
        if (j == batch.size() || (i < minutes_.size() && minutes_[i].time <= batch[j].time)) {
            merged.push_back(minutes_[i]);
            sources.push_back(sources_[i++]);
        } else {
            merged.push_back(batch[j++]);
            sources.push_back(source);
        }
    }
    minutes_ = MinuteArray(std::move(merged));
    sources_ = std::move(sources);
    index_.update(minutes_, unchanged);
}

bool RecordStore::mergeMapped(const std::vector<Minute>& batch, Source source) {
    CacheWriter writer(cacheFolder_, {});
    if (!writer.ok()) return false;
    constexpr std::size_t kPart = 1 << 15;
    const std::size_t size = minutes_.size();
    // The series is copied a part at a time, not read through its mapping.
    std::vector<Minute> part, out;
    std::size_t partEnd = 0;
    const auto at = [&](std::size_t k) -> const Minute& {
        if (k >= partEnd) {
            part.resize(std::min(kPart, size - k));
            minutes_.copy(k, part.size(), part.data());
            partEnd = k + part.size();
        }
        return part[k - (partEnd - part.size())];
    };
    std::vector<Source> sources;
    sources.reserve(size + batch.size());
    out.reserve(kPart);
    std::size_t i = 0, j = 0;
    while (i < size || j < batch.size()) {
        if (j == batch.size() || (i < size && at(i).time <= batch[j].time)) {
            out.push_back(at(i));
            sources.push_back(sources_[i++]);
        } else {
            out.push_back(batch[j++]);
            sources.push_back(source);
        }
        if (out.size() == kPart) {
            if (!writer.add(out)) return false;
            out.clear();
        }
    }
    if (!writer.add(out)) return false;
    auto merged = writer.finishUnnamed();
    if (!merged || merged->minutes.size() != size + batch.size()) return false;
    SeriesIndex index;
    if (!index.restore(std::move(merged->blocks), merged->minutes.size())) return false;
    minutes_ = std::move(merged->minutes);
    sources_ = std::move(sources);
    index_ = std::move(index);
    index_.setSource(&minutes_);
    return true;
}

}  // namespace rx47::history
