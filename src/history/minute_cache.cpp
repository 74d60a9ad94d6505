// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/minute_cache.h"

#include <fcntl.h>
#include <unistd.h>

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

namespace rx47::history {

namespace fs = std::filesystem;

namespace {

static_assert(std::is_trivially_copyable_v<Minute>);

constexpr char kMagic[8] = {'R', 'X', '4', '7', 'M', 'I', 'N', '2'};
/// How much of the file before the cached part's end must still be the same bytes.
constexpr std::uint64_t kTail = 64 * 1024;

struct Header {
    char magic[8];
    std::uint32_t minuteSize;
    std::uint32_t reserved;
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
    std::uint64_t contentHash;
    std::uint64_t zoneHash;
};
static_assert(std::is_trivially_copyable_v<Header>);

std::uint64_t hashOf(std::string_view bytes) {
    return std::hash<std::string_view>{}(bytes);
}

std::uint64_t contentHash(const std::vector<Minute>& minutes) {
    return hashOf({reinterpret_cast<const char*>(minutes.data()), minutes.size() * sizeof(Minute)});
}

/// The hash of the file's bytes that end where the cached part ends; nothing when they cannot be read.
std::optional<std::uint64_t> tailHash(int fd, std::uint64_t consumed) {
    const std::uint64_t from = consumed > kTail ? consumed - kTail : 0;
    std::string bytes(consumed - from, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(from + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        got += static_cast<std::size_t>(n);
    }
    return hashOf(bytes);
}

/// The machine's UTC offset at every hour the minutes span: the minutes' moments were worked out
/// from local times with it, so a cache made under another time zone (or other rules of this one)
/// does not fit.
std::uint64_t zoneHash(const std::vector<Minute>& minutes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    if (minutes.empty()) return hash;
    for (std::int64_t t = minutes.front().time / 3600 * 3600; t <= minutes.back().time + 3600; t += 3600) {
        const auto seconds = static_cast<std::time_t>(t);
        std::tm tm{};
        const long offset = ::localtime_r(&seconds, &tm) ? tm.tm_gmtoff : 1L << 40;
        hash = (hash ^ static_cast<std::uint64_t>(offset)) * 0x100000001b3ULL;
    }
    return hash;
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

bool readAll(int fd, void* into, std::size_t size) {
    auto* at = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t n = ::read(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
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

}  // namespace

fs::path userCacheFolder() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') return fs::path(xdg) / "rx47-history";
    if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home) / ".cache" / "rx47-history";
    return {};
}

std::optional<CachedPart> loadCachedPart(const fs::path& folder, const fs::path& file, int fd, const struct stat& st) {
    if (folder.empty()) return std::nullopt;
    try {
        const int cache = ::open(cacheFile(folder, file).c_str(), O_RDONLY | O_CLOEXEC);
        if (cache < 0) return std::nullopt;
        struct stat cacheStatus {};
        Header h{};
        const bool headerRead = ::fstat(cache, &cacheStatus) == 0 && readAll(cache, &h, sizeof h);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const bool fits = headerRead && std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 &&
                          h.minuteSize == sizeof(Minute) && h.device == static_cast<std::uint64_t>(st.st_dev) &&
                          h.inode == static_cast<std::uint64_t>(st.st_ino) && h.consumed <= size &&
                          h.consumed <= h.size &&
                          // Not grown: it must not have changed at all. Grown: the monitor appended to it.
                          (size > h.size || (size == h.size && h.modifiedSeconds == st.st_mtim.tv_sec &&
                                             h.modifiedNanoseconds == st.st_mtim.tv_nsec)) &&
                          h.minutes <= h.consumed / 20 &&
                          static_cast<std::uint64_t>(cacheStatus.st_size) == sizeof h + h.minutes * sizeof(Minute);
        if (!fits || tailHash(fd, h.consumed) != h.tailHash) {
            ::close(cache);
            return std::nullopt;
        }
        CachedPart part;
        // With room for what the file grew by since, so the minutes are not copied to append them.
        part.minutes.reserve(h.minutes + (size - h.consumed) / 40 + 1);
        part.minutes.resize(h.minutes);
        const bool read = readAll(cache, part.minutes.data(), h.minutes * sizeof(Minute));
        ::close(cache);
        if (!read || contentHash(part.minutes) != h.contentHash || zoneHash(part.minutes) != h.zoneHash)
            return std::nullopt;
        part.consumed = h.consumed;
        part.counts = {h.counts[0], h.counts[1], h.counts[2], h.counts[3], h.counts[4]};
        if (h.hasPrevious) part.previous = h.previous;
        return part;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void storeCachedPart(const fs::path& folder, const fs::path& file, int fd, const struct stat& st,
                     const CachedPart& part) {
    if (folder.empty()) return;
    try {
        const auto tail = tailHash(fd, part.consumed);
        if (!tail) return;
        std::error_code ec;
        fs::create_directories(folder, ec);
        const fs::path target = cacheFile(folder, file);
        std::string temporary = target.string() + ".XXXXXX";
        const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (out < 0) return;
        Header h{};
        std::memcpy(h.magic, kMagic, sizeof kMagic);
        h.minuteSize = sizeof(Minute);
        h.device = static_cast<std::uint64_t>(st.st_dev);
        h.inode = static_cast<std::uint64_t>(st.st_ino);
        h.size = static_cast<std::uint64_t>(st.st_size);
        // A file changed within the clock's last ticks could change again with the same time stamp:
        // its time is not kept, so the cache is only taken for it once it has grown.
        const bool recent = st.st_mtim.tv_sec + 2 >= static_cast<std::int64_t>(std::time(nullptr));
        h.modifiedSeconds = recent ? -1 : st.st_mtim.tv_sec;
        h.modifiedNanoseconds = recent ? -1 : st.st_mtim.tv_nsec;
        h.consumed = part.consumed;
        const LineCounts& c = part.counts;
        h.counts[0] = c.records, h.counts[1] = c.headers, h.counts[2] = c.foreign, h.counts[3] = c.malformed,
        h.counts[4] = c.torn;
        h.previous = part.previous.value_or(0);
        h.hasPrevious = part.previous.has_value();
        h.tailHash = *tail;
        h.minutes = part.minutes.size();
        h.contentHash = contentHash(part.minutes);
        h.zoneHash = zoneHash(part.minutes);
        const bool written =
            writeAll(out, &h, sizeof h) && writeAll(out, part.minutes.data(), part.minutes.size() * sizeof(Minute));
        if (::close(out) == 0 && written && ::rename(temporary.c_str(), target.c_str()) == 0) return;
        ::unlink(temporary.c_str());
    } catch (const std::exception&) {
    }
}

}  // namespace rx47::history
