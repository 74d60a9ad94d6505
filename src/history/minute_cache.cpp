// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/minute_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

namespace rx47::history {

namespace fs = std::filesystem;

namespace {

static_assert(std::is_trivially_copyable_v<Minute> && sizeof(Minute) == 32);
static_assert(std::is_trivially_copyable_v<SeriesIndex::Block> && sizeof(SeriesIndex::Block) == 56);

constexpr char kMagic[8] = {'R', 'X', '4', '7', 'M', 'I', 'N', '3'};
/// How much of the file before the cached part's end must still be the same bytes.
constexpr std::uint64_t kTail = 64 * 1024;
/// Content is hashed in pieces of this size, so that it can be read through a small buffer.
constexpr std::size_t kPiece = 1 << 20;

struct Header {
    char magic[8];
    std::uint32_t minuteSize;
    std::uint32_t blockSize;
    std::uint64_t device;
    std::uint64_t inode;
    std::uint64_t size;
    std::int64_t modifiedSeconds;
    std::int64_t modifiedNanoseconds;
    std::uint64_t consumed;
    std::uint64_t counts[5];
    std::int64_t previous;
    std::uint64_t hasPrevious;
    std::uint64_t tailHash;
    std::uint64_t minutes;
    std::uint64_t blocks;
    std::uint64_t days;
    std::uint64_t minutesOffset;  // the first page after the header: the minutes, then the blocks and days
    std::uint64_t contentHash;
    std::uint64_t zoneHash;
};
static_assert(std::is_trivially_copyable_v<Header>);

std::size_t pageSize() {
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::uint64_t roundUp(std::uint64_t n, std::uint64_t to) {
    return (n + to - 1) / to * to;
}

std::uint64_t hashOf(std::string_view bytes) {
    return std::hash<std::string_view>{}(bytes);
}

/// A hash of bytes taken in pieces, the same whether they are in memory or read from a file.
struct PieceHash {
    std::uint64_t value = 0xcbf29ce484222325ULL;
    void add(std::string_view piece) { value = (value ^ hashOf(piece)) * 0x100000001b3ULL; }
    void addAll(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        for (std::size_t at = 0; at < size; at += kPiece) add({bytes + at, std::min(kPiece, size - at)});
        add({});  // where one part ends
    }
};

bool readAt(int fd, void* into, std::size_t size, std::uint64_t offset) {
    auto* at = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t n = ::pread(fd, at, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

/// The hash of `size` bytes of a file from `offset`, read through a small buffer (so that reading
/// them costs no memory of this process).
std::optional<std::uint64_t> hashOfFile(int fd, std::uint64_t offset, std::uint64_t size, PieceHash& hash) {
    std::string buffer(std::min<std::uint64_t>(size, kPiece), '\0');
    for (std::uint64_t at = 0; at < size; at += kPiece) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size - at));
        if (!readAt(fd, buffer.data(), n, offset + at)) return std::nullopt;
        hash.add({buffer.data(), n});
    }
    hash.add({});
    return hash.value;
}

/// The hash of the file's bytes that end where the cached part ends; nothing when they cannot be read.
std::optional<std::uint64_t> tailHash(int fd, std::uint64_t consumed) {
    const std::uint64_t from = consumed > kTail ? consumed - kTail : 0;
    std::string bytes(consumed - from, '\0');
    if (!readAt(fd, bytes.data(), bytes.size(), from)) return std::nullopt;
    return hashOf(bytes);
}

/// The machine's UTC offset at every hour the minutes span: the minutes' moments were worked out
/// from local times with it, so a cache made under another time zone (or other rules of this one)
/// does not fit.
std::uint64_t zoneHash(std::int64_t first, std::int64_t last, bool any) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    if (!any) return hash;
    for (std::int64_t t = first / 3600 * 3600; t <= last + 3600; t += 3600) {
        const auto seconds = static_cast<std::time_t>(t);
        std::tm tm{};
        const long offset = ::localtime_r(&seconds, &tm) ? tm.tm_gmtoff : 1L << 40;
        hash = (hash ^ static_cast<std::uint64_t>(offset)) * 0x100000001b3ULL;
    }
    return hash;
}

std::uint64_t zoneHash(std::span<const Minute> minutes) {
    return minutes.empty() ? zoneHash(0, 0, false) : zoneHash(minutes.front().time, minutes.back().time, true);
}

fs::path cacheFile(const fs::path& folder, const fs::path& file) {
    std::error_code ec;
    fs::path absolute = fs::absolute(file, ec);
    if (ec) absolute = file;
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.minutes",
                  static_cast<unsigned long long>(hashOf(absolute.lexically_normal().native())));
    return folder / name;
}

bool writeAll(int fd, const void* from, std::size_t size) {
    const auto* at = static_cast<const char*>(from);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

// ---- MinuteArray ---------------------------------------------------------------------------------

MinuteArray::MinuteArray(MinuteArray&& other) noexcept
    : heap_(std::move(other.heap_)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mappedBytes_(std::exchange(other.mappedBytes_, 0)),
      fromFile_(std::exchange(other.fromFile_, 0)),
      fd_(std::exchange(other.fd_, -1)),
      offset_(std::exchange(other.offset_, 0)) {}

MinuteArray& MinuteArray::operator=(MinuteArray&& other) noexcept {
    if (this != &other) {
        unmap();
        heap_ = std::move(other.heap_);
        other.heap_.clear();
        mapped_ = std::exchange(other.mapped_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        mappedBytes_ = std::exchange(other.mappedBytes_, 0);
        fromFile_ = std::exchange(other.fromFile_, 0);
        fd_ = std::exchange(other.fd_, -1);
        offset_ = std::exchange(other.offset_, 0);
    }
    return *this;
}

MinuteArray::~MinuteArray() {
    unmap();
}

void MinuteArray::unmap() {
    if (mapped_) ::munmap(mapped_, mappedBytes_);
    if (fd_ >= 0) ::close(fd_);
    mapped_ = nullptr;
    size_ = capacity_ = mappedBytes_ = fromFile_ = 0;
    fd_ = -1;
}

std::optional<MinuteArray> MinuteArray::map(int fd, std::uint64_t offset, std::size_t count) {
    MinuteArray array;
    if (count == 0) return array;
    if (offset % pageSize() != 0) return std::nullopt;
    const std::size_t fileBytes = roundUp(count * sizeof(Minute), pageSize());
    const std::size_t total = fileBytes + MinuteArray::kRoom * sizeof(Minute);
    // Address space for the minutes and the room after them, then the file's minutes over its start:
    // the pages of both are private, so what is appended never reaches the file.
    void* base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return std::nullopt;
    if (::mmap(base, fileBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, static_cast<off_t>(offset)) ==
        MAP_FAILED) {
        ::munmap(base, total);
        return std::nullopt;
    }
    array.mapped_ = static_cast<Minute*>(base);
    array.fromFile_ = count;
    array.fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    array.offset_ = offset;
    array.size_ = count;
    array.capacity_ = total / sizeof(Minute);
    array.mappedBytes_ = total;
    return array;
}

void MinuteArray::append(std::span<const Minute> minutes) {
    if (minutes.empty()) return;
    if (!mapped_) {
        heap_.insert(heap_.end(), minutes.begin(), minutes.end());
        return;
    }
    if (size_ + minutes.size() <= capacity_) {
        std::memcpy(mapped_ + size_, minutes.data(), minutes.size_bytes());
        size_ += minutes.size();
        return;
    }
    // The room is used up: the minutes move to the heap.
    std::vector<Minute> all;
    all.reserve(size_ + minutes.size());
    all.insert(all.end(), mapped_, mapped_ + size_);
    all.insert(all.end(), minutes.begin(), minutes.end());
    unmap();
    heap_ = std::move(all);
}

void MinuteArray::copy(std::size_t first, std::size_t count, Minute* out) const {
    if (first < fromFile_ && fd_ >= 0) {
        const std::size_t n = std::min(count, fromFile_ - first);
        if (readAt(fd_, out, n * sizeof(Minute), offset_ + first * sizeof(Minute))) {
            first += n;
            count -= n;
            out += n;
        }
    }
    std::memcpy(out, data() + first, count * sizeof(Minute));
}

// ---- the cache file ------------------------------------------------------------------------------

fs::path userCacheFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') return fs::path(xdg) / "rx47-history";
    if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home) / ".cache" / "rx47-history";
    return {};
}

std::optional<std::pair<std::int64_t, std::int64_t>> dayBounds(LocalTimes& times, std::chrono::year_month_day day) {
    if (!day.ok()) return std::nullopt;
    const std::chrono::year_month_day next{std::chrono::sys_days{day} + std::chrono::days{1}};
    const auto seconds = [&](std::chrono::year_month_day d, std::int64_t& out) {
        return times.seconds(static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
                             static_cast<int>(static_cast<unsigned>(d.day())), 0, 0, 0, out);
    };
    std::int64_t from = 0, to = 0;
    if (!seconds(day, from) || !seconds(next, to) || to <= from) return std::nullopt;
    return std::pair(from, to);
}

std::optional<CachedPart> loadCachedPart(const fs::path& folder, const fs::path& file, int fd, const struct stat& st) {
    if (folder.empty()) return std::nullopt;
    try {
        Descriptor cache{::open(cacheFile(folder, file).c_str(), O_RDONLY | O_CLOEXEC)};
        if (cache.fd < 0) return std::nullopt;
        struct stat cacheStatus {};
        Header h{};
        if (::fstat(cache.fd, &cacheStatus) != 0 || !readAt(cache.fd, &h, sizeof h, 0)) return std::nullopt;
        const auto size = static_cast<std::uint64_t>(st.st_size);
        // Every count is bounded by the record file's size before any of them is multiplied.
        const bool fits =
            std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 && h.minuteSize == sizeof(Minute) &&
            h.blockSize == sizeof(SeriesIndex::Block) && h.device == static_cast<std::uint64_t>(st.st_dev) &&
            h.inode == static_cast<std::uint64_t>(st.st_ino) && h.consumed <= size && h.consumed <= h.size &&
            // Not grown: it must not have changed at all. Grown: the monitor appended to it.
            (size > h.size || (size == h.size && h.modifiedSeconds == st.st_mtim.tv_sec &&
                               h.modifiedNanoseconds == st.st_mtim.tv_nsec)) &&
            h.minutes <= h.consumed / 20 && h.blocks == (h.minutes + SeriesIndex::kFine - 1) / SeriesIndex::kFine &&
            h.days <= h.minutes / 1380 + 1 && h.minutesOffset == roundUp(sizeof h, pageSize()) &&
            static_cast<std::uint64_t>(cacheStatus.st_size) == h.minutesOffset + h.minutes * sizeof(Minute) +
                                                                   h.blocks * sizeof(SeriesIndex::Block) +
                                                                   h.days * sizeof(std::int64_t);
        if (!fits || tailHash(fd, h.consumed) != h.tailHash) return std::nullopt;

        CachedPart part;
        part.blocks.resize(h.blocks);
        part.wholeDays.resize(h.days);
        const std::uint64_t blocksAt = h.minutesOffset + h.minutes * sizeof(Minute);
        const std::size_t blockBytes = part.blocks.size() * sizeof(SeriesIndex::Block);
        const std::size_t dayBytes = part.wholeDays.size() * sizeof(std::int64_t);
        if (!readAt(cache.fd, part.blocks.data(), blockBytes, blocksAt) ||
            !readAt(cache.fd, part.wholeDays.data(), dayBytes, blocksAt + blockBytes))
            return std::nullopt;
        // The minutes are checked as read through a buffer, then mapped: only the pages a view
        // reads later are this process's memory.
        PieceHash content;
        if (!hashOfFile(cache.fd, h.minutesOffset, h.minutes * sizeof(Minute), content)) return std::nullopt;
        content.addAll(part.blocks.data(), blockBytes);
        content.addAll(part.wholeDays.data(), dayBytes);
        if (content.value != h.contentHash) return std::nullopt;
        auto minutes = MinuteArray::map(cache.fd, h.minutesOffset, h.minutes);
        if (!minutes || zoneHash(*minutes) != h.zoneHash) return std::nullopt;
        part.minutes = std::move(*minutes);
        part.consumed = h.consumed;
        part.counts = {h.counts[0], h.counts[1], h.counts[2], h.counts[3], h.counts[4]};
        if (h.hasPrevious) part.previous = h.previous;
        return part;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---- writing a cache file ------------------------------------------------------------------------

CacheWriter::CacheWriter(const fs::path& folder, const fs::path& file) {
    contentHash_ = PieceHash{}.value;
    if (folder.empty()) return;
    try {
        std::error_code ec;
        fs::create_directories(folder, ec);
        target_ = cacheFile(folder, file);
        temporary_ = target_.string() + ".XXXXXX";
        fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
        if (fd_ < 0) return;
        // The header comes last, once everything is known; the minutes start at the next page.
        if (::ftruncate(fd_, static_cast<off_t>(roundUp(sizeof(Header), pageSize()))) != 0 ||
            ::lseek(fd_, 0, SEEK_END) < 0)
            fail();
        piece_.reserve(kPiece / sizeof(Minute));
    } catch (const std::exception&) {
        fail();
    }
}

CacheWriter::~CacheWriter() {
    fail();
}

void CacheWriter::fail() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
}

bool CacheWriter::flush() {
    // Whole pieces of the hash, as PieceHash::addAll() takes them.
    const std::size_t bytes = piece_.size() * sizeof(Minute);
    PieceHash hash{contentHash_};
    hash.add({reinterpret_cast<const char*>(piece_.data()), bytes});
    contentHash_ = hash.value;
    written_ += piece_.size();
    const bool done = writeAll(fd_, piece_.data(), bytes);
    piece_.clear();
    return done;
}

void CacheWriter::closeDay() {
    if (dayTo_ > dayFrom_ && dayMinutes_ == (dayTo_ - dayFrom_) / 60) wholeDays_.push_back(dayFrom_);
}

bool CacheWriter::add(std::span<const Minute> minutes) {
    if (fd_ < 0) return false;
    for (const Minute& m : minutes) {
        if (last_ && m.time < *last_) {
            fail();
            return false;
        }
        if (!first_) first_ = m.time;
        last_ = m.time;
        // The block of 64 it belongs to.
        if (written_ + piece_.size() == blocks_.size() * SeriesIndex::kFine) {
            SeriesIndex::Block block;
            block.firstTime = m.time;
            blocks_.push_back(block);
        }
        blocks_.back().cpm.add(m.cpm);
        blocks_.back().dose.add(m.dose);
        // Its local day, and whether it is a minute of it not yet counted.
        const std::int64_t minute = m.time >= 0 ? m.time / 60 : -((-m.time + 59) / 60);
        if (m.time >= dayTo_ || m.time < dayFrom_) {
            closeDay();
            dayFrom_ = dayTo_ = dayMinutes_ = 0;
            const auto seconds = static_cast<std::time_t>(m.time);
            std::tm tm{};
            if (::localtime_r(&seconds, &tm)) {
                const auto day = std::chrono::year{tm.tm_year + 1900} / (tm.tm_mon + 1) / tm.tm_mday;
                if (const auto bounds = dayBounds(times_, day);
                    bounds && bounds->first <= m.time && m.time < bounds->second) {
                    std::tie(dayFrom_, dayTo_) = *bounds;
                    lastMinute_ = minute - 1;
                }
            }
        }
        if (dayTo_ > dayFrom_ && minute != lastMinute_) {
            ++dayMinutes_;
            lastMinute_ = minute;
        }
        piece_.push_back(m);
        if (piece_.size() * sizeof(Minute) == kPiece && !flush()) {
            fail();
            return false;
        }
    }
    return true;
}

std::optional<CachedPart> CacheWriter::finish(int fd, const struct stat& st, std::uint64_t consumed,
                                              const LineCounts& counts, std::optional<std::int64_t> previous) {
    if (fd_ < 0) return std::nullopt;
    try {
        if (!piece_.empty() && !flush()) {
            fail();
            return std::nullopt;
        }
        closeDay();
        const auto tail = tailHash(fd, consumed);
        PieceHash content{contentHash_};
        content.add({});
        content.addAll(blocks_.data(), blocks_.size() * sizeof(SeriesIndex::Block));
        content.addAll(wholeDays_.data(), wholeDays_.size() * sizeof(std::int64_t));
        Header h{};
        std::memcpy(h.magic, kMagic, sizeof kMagic);
        h.minuteSize = sizeof(Minute);
        h.blockSize = sizeof(SeriesIndex::Block);
        h.device = static_cast<std::uint64_t>(st.st_dev);
        h.inode = static_cast<std::uint64_t>(st.st_ino);
        h.size = static_cast<std::uint64_t>(st.st_size);
        // A file changed within the clock's last ticks could change again with the same time stamp:
        // its time is not kept, so the cache is only taken for it once it has grown.
        const bool recent = st.st_mtim.tv_sec + 2 >= static_cast<std::int64_t>(std::time(nullptr));
        h.modifiedSeconds = recent ? -1 : st.st_mtim.tv_sec;
        h.modifiedNanoseconds = recent ? -1 : st.st_mtim.tv_nsec;
        h.consumed = consumed;
        h.counts[0] = counts.records, h.counts[1] = counts.headers, h.counts[2] = counts.foreign,
        h.counts[3] = counts.malformed, h.counts[4] = counts.torn;
        h.previous = previous.value_or(0);
        h.hasPrevious = previous.has_value();
        h.tailHash = tail.value_or(0);
        h.minutes = written_;
        h.blocks = blocks_.size();
        h.days = wholeDays_.size();
        h.minutesOffset = roundUp(sizeof h, pageSize());
        h.contentHash = content.value;
        h.zoneHash = zoneHash(first_ ? *first_ : 0, last_ ? *last_ : 0, written_ > 0);
        const bool written = tail && writeAll(fd_, blocks_.data(), blocks_.size() * sizeof(SeriesIndex::Block)) &&
                             writeAll(fd_, wholeDays_.data(), wholeDays_.size() * sizeof(std::int64_t)) &&
                             ::pwrite(fd_, &h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
        if (!written || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
            fail();
            return std::nullopt;
        }
        auto minutes = MinuteArray::map(fd_, h.minutesOffset, written_);
        ::close(std::exchange(fd_, -1));
        if (!minutes) return std::nullopt;
        CachedPart part;
        part.consumed = consumed;
        part.counts = counts;
        part.previous = previous;
        part.minutes = std::move(*minutes);
        part.blocks = std::move(blocks_);
        part.wholeDays = std::move(wholeDays_);
        return part;
    } catch (const std::exception&) {
        fail();
        return std::nullopt;
    }
}

std::optional<CachedPart> CacheWriter::finishUnnamed() {
    if (fd_ < 0) return std::nullopt;
    if (!piece_.empty() && !flush()) {
        fail();
        return std::nullopt;
    }
    auto minutes = MinuteArray::map(fd_, roundUp(sizeof(Header), pageSize()), written_);
    fail();  // the file goes from the folder; the mapping keeps it
    if (!minutes) return std::nullopt;
    CachedPart part;
    part.minutes = std::move(*minutes);
    part.blocks = std::move(blocks_);
    return part;
}

std::optional<CachedPart> storeCachedPart(const fs::path& folder, const fs::path& file, int fd, const struct stat& st,
                                          std::uint64_t consumed, const LineCounts& counts,
                                          std::optional<std::int64_t> previous, const MinuteSource& minutes,
                                          std::size_t count) {
    CacheWriter writer(folder, file);
    // Copied a piece at a time: minutes mapped from an older cache are not all brought into memory.
    std::vector<Minute> piece;
    for (std::size_t first = 0; first < count; first += piece.size()) {
        piece.resize(std::min(kPiece / sizeof(Minute), count - first));
        minutes.copy(first, piece.size(), piece.data());
        if (!writer.add(piece)) return std::nullopt;
    }
    return writer.finish(fd, st, consumed, counts, previous);
}

}  // namespace rx47::history
