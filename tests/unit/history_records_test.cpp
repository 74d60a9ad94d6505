// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Reading the record files back for the history viewer: golden bytes in code page 932 written here,
// independently of the monitor's writer, read into the expected series; the daily files standing in
// for a master that is off; a minute in both counted once (a day the master has whole is not taken
// from its daily file); a large master's minutes kept in a cache that the file always overrules; a
// growing file followed; and bytes of every kind read without a failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "base/number.h"
#include "history/local_time.h"
#include "history/minute_cache.h"
#include "history/record_reader.h"
#include "history/record_store.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/time_zone.h"

namespace rx47::history {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

const std::string& kHeaders = test::kRecordHeaders;

// Seconds since the epoch of these local times in Japan (UTC+9), worked out beforehand.
constexpr std::int64_t k0530_2358 = 1780153080;
constexpr std::int64_t k0530_2359 = 1780153140;
constexpr std::int64_t k0601_0000_01 = 1780239601;
constexpr std::int64_t k0601_0001 = 1780239660;
constexpr std::int64_t k0601_0002 = 1780239720;

void write(const fs::path& file, const std::string& bytes, std::ios::openmode mode = std::ios::trunc) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | mode) << bytes;
}

/// A record line of 2026 with the other figures of 30 May 23:58.
std::string recordLine(int month, int day, int minuteOfDay, int second, long long total, int cpm,
                       const char* dose = "0.208") {
    char text[112];
    std::snprintf(text, sizeof text, "2026-%02d-%02d,%02d:%02d:%02d,%lld,24,0.200,%d,%s,30,0.250,20,0.166\r\n", month,
                  day, minuteOfDay / 60, minuteOfDay % 60, second, total, cpm, dose);
    return text;
}

/// The lines of the minutes [from, to) of a day but `skip`, each written `second` into its minute.
std::string minutesOf(int month, int day, int from, int to, int second, int cpm, int skip = -1) {
    std::string text;
    for (int m = from; m < to; ++m)
        if (m != skip) text += recordLine(month, day, m, second, 5432, cpm);
    return text;
}

template <class Minutes>
bool inTimeOrder(const Minutes& minutes) {
    return std::is_sorted(minutes.begin(), minutes.end(), [](auto& a, auto& b) { return a.time < b.time; });
}

std::string countsText(const LineCounts& c) {
    return std::to_string(c.records) + " records, " + std::to_string(c.headers) + " headers, " +
           std::to_string(c.foreign) + " foreign, " + std::to_string(c.malformed) + " malformed, " +
           std::to_string(c.torn) + " torn";
}

struct Expected {
    std::int64_t time;
    float cpm, dose, averageCpm, averageDose;
    double total;
};

void expectSeries(std::span<const Minute> minutes, const std::vector<Expected>& expected) {
    ASSERT_EQ(minutes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(minutes[i].time, expected[i].time);
        const auto same = [](float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
        EXPECT_PRED2(same, minutes[i].cpm, expected[i].cpm);
        EXPECT_PRED2(same, minutes[i].dose, expected[i].dose);
        EXPECT_PRED2(same, minutes[i].averageCpm, expected[i].averageCpm);
        EXPECT_PRED2(same, minutes[i].averageDose, expected[i].averageDose);
        EXPECT_TRUE((std::isnan(minutes[i].totalCount) && std::isnan(expected[i].total)) ||
                    minutes[i].totalCount == expected[i].total);
    }
}

struct Records : ::testing::Test {
    test::TimeZone zone{test::kJapan};
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
    fs::path record = folder.path() / "record";
};

TEST_F(Records, DailyFilesOfAMonitorWithoutMasterReadIntoTheSeries) {
    // A run started in May: its 1 June file is still in the May folder. Nothing on 31 May (a day's
    // gap); a line of another program's export, a garbled line and a last line cut short.
    write(record / "2026_05/2026-05-30.csv", kHeaders +
                                                 "2026-05-30,23:58:00,5432,24,0.200,25,0.208,30,0.250,20,0.166\r\n"
                                                 "2026-05-30,23:59:00,5440,24,0.200,23,0.191,30,0.250,20,0.166\r\n");
    write(record / "2026_05/2026-06-01.csv", kHeaders +
                                                 "Date,Time,Count,Average CPM,uSv/h\r\n"
                                                 "2026-06-01,00:00:01,5460,24,0.200,1000,8.333,1000,8.333,20,0.166\r\n"
                                                 "2026-06-01,00:00:30,5461,24,zero,,,,,,\r\n"
                                                 "2026-06-01,00:01:00,,,,12,0.100,,,,\r\n"
                                                 "2026-06-01,00:02:00,5470,24,0.2");
    // Files that are not the monitor's are left alone.
    write(record / "2026_05/notes.csv", "2026-05-30,12:00:00,1,1,1,1,1,1,1,1,1\r\n");
    write(record / "archive/2026-05-29.csv", kHeaders + "2026-05-29,12:00:00,1,1,1,1,1,1,1,1,1\r\n");

    RecordStore store(folder.path());
    EXPECT_TRUE(store.refresh());
    expectSeries(store.minutes(), {{k0530_2358, 25, 0.208f, 24, 0.2f, 5432},
                                   {k0530_2359, 23, 0.191f, 24, 0.2f, 5440},
                                   {k0601_0000_01, 1000, 8.333f, 24, 0.2f, 5460},
                                   {k0601_0001, 12, 0.1f, NAN, NAN, NAN}});
    EXPECT_EQ(countsText(store.counts()), "4 records, 4 headers, 1 foreign, 1 malformed, 1 torn");
    EXPECT_EQ(store.counts().skipped(), 3u);
    EXPECT_EQ(store.unreadable(), 0u);
}

TEST_F(Records, TheMasterComesFirstAndTheDailyFilesFillWhatItLacks) {
    // The master was switched off for 23:59; the daily file has every minute, its time texts a
    // second later (their own clock readings).
    write(record / "master record.csv", kHeaders +
                                            "2026-05-30,23:58:00,5432,24,0.200,25,0.208,30,0.250,20,0.166\r\n"
                                            "2026-06-01,00:01:00,5500,24,0.200,26,0.216,30,0.250,20,0.166\r\n");
    write(record / "2026_05/2026-05-30.csv", kHeaders +
                                                 "2026-05-30,23:58:01,5432,24,0.200,25,0.208,30,0.250,20,0.166\r\n"
                                                 "2026-05-30,23:59:00,5440,24,0.200,23,0.191,30,0.250,20,0.166\r\n");
    write(record / "2026_05/2026-06-01.csv",
          kHeaders + "2026-06-01,00:01:01,5500,24,0.200,26,0.216,30,0.250,20,0.166\r\n");
    RecordStore store(folder.path());
    store.refresh();
    expectSeries(store.minutes(), {{k0530_2358, 25, 0.208f, 24, 0.2f, 5432},
                                   {k0530_2359, 23, 0.191f, 24, 0.2f, 5440},
                                   {k0601_0001, 26, 0.216f, 24, 0.2f, 5500}});

    // A running monitor appends the next minute to both; it is read once, from the master.
    const std::string next = "2026-06-01,00:02:00,5510,24,0.200,27,0.225,30,0.250,20,0.166\r\n";
    write(record / "master record.csv", next, std::ios::app);
    write(record / "2026_05/2026-06-01.csv", next, std::ios::app);
    EXPECT_TRUE(store.refresh());
    ASSERT_EQ(store.minutes().size(), 4u);
    EXPECT_EQ(store.minutes().back().time, k0601_0002);
    EXPECT_FALSE(store.refresh());
}

TEST_F(Records, ADayTheMasterHasWholeComesFromItButMinutesOnlyInDailyFilesAreStillShown) {
    // The master has every minute of 29 and 30 May, and 31 May from midnight but for 00:05; the
    // daily files have the same minutes a second later, with a CPM of 26 where the master has 25.
    write(record / "master record.csv", kHeaders + minutesOf(5, 29, 0, 1440, 0, 25) + minutesOf(5, 30, 0, 1440, 0, 25) +
                                            minutesOf(5, 31, 0, 10, 0, 25, 5));
    write(record / "2026_05/2026-05-29.csv", kHeaders + minutesOf(5, 29, 0, 1440, 1, 26));
    write(record / "2026_05/2026-05-31.csv", kHeaders + minutesOf(5, 31, 0, 10, 1, 26));
    // A line of another day in a file the master has whole: it is read, and its minute shown.
    write(record / "2026_05/2026-05-30.csv", kHeaders + minutesOf(5, 30, 0, 1440, 1, 26) +
                                                 "2026-06-01,00:02:00,5510,24,0.200,27,0.225,30,0.250,20,0.166\r\n");
    RecordStore store(folder.path());
    store.refresh();
    const std::span<const Minute> minutes = store.minutes();
    ASSERT_EQ(minutes.size(), 2880u + 9 + 1 + 1);
    EXPECT_TRUE(inTimeOrder(minutes));
    EXPECT_EQ(std::count_if(minutes.begin(), minutes.end(), [](const Minute& m) { return m.cpm == 25; }), 2889);
    // 31 May 00:05, only in its daily file, and the last minute.
    EXPECT_EQ(std::tie(minutes[2880 + 5].cpm, minutes.back().time, minutes.back().cpm), std::tuple(26, k0601_0002, 27));
    EXPECT_EQ(countsText(store.counts()),
              std::to_string(2889 + 1440 + 1441 + 10) + " records, 8 headers, 0 foreign, 0 malformed, 0 torn");

    // The window's next check finds nothing new, then a line appended to a day the master has.
    EXPECT_FALSE(store.refresh());
    write(record / "2026_05/2026-05-29.csv", minutesOf(5, 29, 1439, 1440, 1, 26), std::ios::app);
    EXPECT_FALSE(store.refresh());
    EXPECT_EQ(std::tuple(store.minutes().size(), store.counts().records), std::tuple(2891u, 2889u + 1441 + 1441 + 10));
}

TEST_F(Records, ALargeMasterIsKeptInTheCacheButNeverTrustedOverTheFile) {
    // Two weeks of minutes from 1 May, the CPM counting up; the file last changed an hour ago.
    const auto line = [](int i, int cpm) { return recordLine(5, 1 + i / 1440, i % 1440, 0, 5000 + i, cpm); };
    const int count = 20000;
    std::string text = kHeaders;
    for (int i = 0; i < count; ++i) text += line(i, 10 + i % 80);
    const fs::path master = record / "master record.csv";
    write(master, text);
    fs::last_write_time(master, fs::file_time_type::clock::now() - 1h);
    const fs::path cache = folder.path() / "cache";
    const auto read = [&] {
        RecordStore store(folder.path(), cache);
        store.refresh();
        return std::pair(std::vector<Minute>(store.minutes().begin(), store.minutes().end()), store.counts());
    };
    const auto [minutes, counts] = read();
    ASSERT_EQ(minutes.size(), static_cast<std::size_t>(count));
    ASSERT_EQ(std::distance(fs::directory_iterator(cache), fs::directory_iterator()), 1);
    const fs::path kept = fs::directory_iterator(cache)->path();
    const std::uintmax_t size = fs::file_size(kept);
    const auto sameAs = [](const std::vector<Minute>& a, const std::vector<Minute>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Minute)) == 0;
    };
    {
        const auto [again, againCounts] = read();
        EXPECT_TRUE(sameAs(again, minutes));
        EXPECT_EQ(std::tie(againCounts.records, againCounts.headers), std::tuple(counts.records, 2u));
    }
    {
        // A window open before the master appears: its minutes come from the cache, and are news.
        fs::rename(master, folder.path() / "aside.csv");
        RecordStore store(folder.path(), cache);
        EXPECT_FALSE(store.refresh());
        fs::rename(folder.path() / "aside.csv", master);
        EXPECT_TRUE(store.refresh());
        EXPECT_TRUE(sameAs({store.minutes().begin(), store.minutes().end()}, minutes));
        EXPECT_FALSE(store.refresh());
    }

    // A figure of a minute in the middle of the cache changed: a cache that does not match its own
    // hash is ignored.
    {
        std::fstream f(kept, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(size / 2 / sizeof(Minute) * sizeof(Minute) + offsetof(Minute, cpm)));
        const float wrong = 9999;
        f.write(reinterpret_cast<const char*>(&wrong), sizeof wrong);
    }
    EXPECT_TRUE(sameAs(read().first, minutes));
    // Cut short, or another program's bytes under its name: read from the file, and made again.
    fs::resize_file(kept, fs::file_size(kept) / 2);
    EXPECT_TRUE(sameAs(read().first, minutes));
    EXPECT_EQ(fs::file_size(kept), size);
    fs::resize_file(kept, 40);
    EXPECT_TRUE(sameAs(read().first, minutes));
    for (std::size_t length : {std::size_t{4096}, size}) {
        std::string garbage(length, '\0');
        std::mt19937 random(static_cast<unsigned>(length));
        for (char& c : garbage) c = static_cast<char>(random());
        garbage.replace(0, 8, "RX47MIN3");  // even with the right first bytes
        write(kept, garbage);
        EXPECT_TRUE(sameAs(read().first, minutes));
    }
    EXPECT_TRUE(sameAs(read().first, minutes));

    // With the minutes from the cache, the daily file of a day the master has whole still gives
    // none of its own, and those of a day before the master's first and after its last give all
    // of theirs (the earlier ones merged into the mapped minutes).
    write(record / "2026_05/2026-05-03.csv", kHeaders + minutesOf(5, 3, 0, 1440, 30, 7777));
    write(record / "2026_05/2026-05-20.csv", kHeaders + minutesOf(5, 20, 0, 1440, 30, 7777));
    write(record / "2026_04/2026-04-30.csv", kHeaders + minutesOf(4, 30, 0, 1440, 30, 6666));
    {
        const auto [withDays, withDaysCounts] = read();
        ASSERT_EQ(withDays.size(), minutes.size() + 2 * 1440);
        EXPECT_TRUE(inTimeOrder(withDays));
        EXPECT_TRUE(sameAs({withDays.begin() + 1440, withDays.begin() + 1440 + count}, minutes));
        EXPECT_EQ(std::tie(withDays.front().cpm, withDays.back().cpm, withDaysCounts.records),
                  std::tuple(6666, 7777, counts.records + 3 * 1440));
    }
    fs::remove_all(record / "2026_04");
    fs::remove_all(record / "2026_05");
    // The merged minutes' file is gone from the cache folder: only the master's cache is there.
    EXPECT_EQ(std::distance(fs::directory_iterator(cache), fs::directory_iterator()), 1);
    {
        // Read once in New York: the local times are moments of that zone, not the cached ones.
        test::TimeZone newYork(test::kNewYork);
        read();
        const auto [there, thereCounts] = read();
        ASSERT_EQ(there.size(), minutes.size());
        EXPECT_EQ(there.front().time - minutes.front().time, 13 * 3600);
    }
    EXPECT_TRUE(sameAs(read().first, minutes));

    // A line in the middle changed in place, the size the same: the file's time says so.
    std::string changed = text;
    const std::size_t at = changed.find(line(5000, 10 + 5000 % 80));
    changed.replace(at, line(5000, 99).size(), line(5000, 99));
    write(master, changed);
    {
        const auto [now, nowCounts] = read();
        ASSERT_EQ(now.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(std::tie(now[5000].cpm, now[4999].cpm), std::tuple(99, minutes[4999].cpm));
    }

    // The monitor appends; then the last cached line is rewritten with the file grown further.
    fs::last_write_time(master, fs::file_time_type::clock::now() - 1h);
    read();
    write(master, line(count, 42), std::ios::app);
    EXPECT_EQ(read().first.back().cpm, 42);
    changed.replace(changed.size() - line(count - 1, 10 + (count - 1) % 80).size(), std::string::npos,
                    line(count - 1, 98) + line(count, 42) + line(count + 1, 43));
    write(master, changed);
    {
        const auto [now, nowCounts] = read();
        ASSERT_EQ(now.size(), static_cast<std::size_t>(count + 2));
        EXPECT_EQ(std::tie(now[count - 1].cpm, now[5000].cpm, now.back().cpm, nowCounts.records),
                  std::tuple(98, 99, 43, static_cast<std::size_t>(count + 2)));
    }
    // Nothing was written into the record folder.
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(record), fs::recursive_directory_iterator()), 1);

    // A master whose clock was set back an hour half way: its lines cannot go to the cache as they are
    // read, so they are read into memory, put in order and kept from there.
    std::string setBack = kHeaders;
    for (int i = 0; i < count; ++i) setBack += line(i < count / 2 ? i : i - 60, 10 + i % 80);
    const auto cachedBefore = fs::last_write_time(kept);
    write(master, setBack);
    fs::last_write_time(master, fs::file_time_type::clock::now() - 1h);
    const auto [first, firstCounts] = read();
    EXPECT_GT(fs::last_write_time(kept), cachedBefore);
    const auto [second, secondCounts] = read();
    ASSERT_EQ(first.size(), static_cast<std::size_t>(count));
    EXPECT_TRUE(inTimeOrder(first));
    EXPECT_TRUE(sameAs(second, first));
    EXPECT_EQ(secondCounts.records, firstCounts.records);
}

TEST_F(Records, MappedMinutesTakeAppendedOnesBeyondTheirRoom) {
    // A cache's 100 minutes after a page of header, mapped; then more minutes than the room after
    // them holds, as a window left open for years would append: they all stay, in order.
    const auto minuteAt = [](std::size_t i) {
        Minute m;
        m.time = 1'780'000'000 + static_cast<std::int64_t>(i) * 60;
        m.cpm = static_cast<float>(i % 1000);
        return m;
    };
    std::vector<Minute> kept(100);
    for (std::size_t i = 0; i < kept.size(); ++i) kept[i] = minuteAt(i);
    const fs::path file = folder.path() / "minutes";
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    write(file, std::string(page, 'h') + std::string(reinterpret_cast<const char*>(kept.data()), 100 * sizeof(Minute)));
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::optional<MinuteArray> minutes = MinuteArray::map(fd, page, kept.size());
    ::close(fd);
    ASSERT_TRUE(minutes && minutes->mapped());
    std::vector<Minute> more;
    for (std::size_t i = 100; i < 200; ++i) more.push_back(minuteAt(i));
    minutes->append(more);
    EXPECT_TRUE(minutes->mapped());
    // Copied as the index copies them: from the file, then from the room.
    Minute copied[4];
    minutes->copy(98, 4, copied);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(copied[i].cpm, 98 + i);
    more.clear();
    for (std::size_t i = 200; i < MinuteArray::kRoom + 300; ++i) more.push_back(minuteAt(i));
    minutes->append(more);
    EXPECT_FALSE(minutes->mapped());
    ASSERT_EQ(minutes->size(), MinuteArray::kRoom + 300);
    for (std::size_t i :
         {std::size_t{0}, std::size_t{99}, std::size_t{100}, std::size_t{199}, MinuteArray::kRoom + 299})
        EXPECT_EQ((*minutes)[i].time, minuteAt(i).time) << i;
}

TEST_F(Records, AFollowedFileIsReadOnlyWhereItGrewAndATornLineWaitsForItsEnd) {
    const fs::path master = record / "master record.csv";
    write(master, kHeaders + "2026-05-30,23:58:00,5432,24,0.200,25,0.208,30,0.250,20,0.166\r\n2026-05-30,23:59");
    RecordStore store(folder.path());
    store.refresh();
    EXPECT_EQ(store.minutes().size(), 1u);
    EXPECT_EQ(store.counts().torn, 1u);

    // The rest of the line arrives: it is a whole line now, and nothing is read twice.
    write(master, ":00,5440,24,0.200,23,0.191,30,0.250,20,0.166\r\n", std::ios::app);
    EXPECT_TRUE(store.refresh());
    expectSeries(store.minutes(), {{k0530_2358, 25, 0.208f, 24, 0.2f, 5432}, {k0530_2359, 23, 0.191f, 24, 0.2f, 5440}});
    EXPECT_EQ(countsText(store.counts()), "2 records, 2 headers, 0 foreign, 0 malformed, 0 torn");

    // A master cut back (a user started it afresh) is read again from its start.
    write(master, kHeaders + "2026-06-01,00:02:00,5510,24,0.200,27,0.225,30,0.250,20,0.166\r\n");
    EXPECT_TRUE(store.refresh());
    expectSeries(store.minutes(), {{k0601_0002, 27, 0.225f, 24, 0.2f, 5510}});
}

TEST_F(Records, AClockSetBackStillGivesASeriesInTimeOrder) {
    write(record / "master record.csv", kHeaders +
                                            "2026-06-01,00:02:00,1,1,1,3,1,,,,\r\n"
                                            "2026-05-30,23:58:00,1,1,1,1,1,,,,\r\n"
                                            "2026-06-01,00:01:00,1,1,1,2,1,,,,\r\n");
    RecordStore store(folder.path());
    store.refresh();
    ASSERT_EQ(store.minutes().size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(store.minutes()[i].cpm, i + 1) << i;
}

TEST(RecordClockChanges, EveryMinuteAroundBothClockChangesReadsAsTheMomentItWasWritten) {
    test::TimeZone zone(test::kNewYork);
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
    const fs::path record = folder.path() / "record";
    const fs::path master = record / "master record.csv";
    // A monitor that ran through both clock changes of 2026 (8 March: 02:00 becomes 03:00; 1 November:
    // 02:00 becomes 01:00 again), writing a second into each minute to the master and the day's file.
    std::vector<std::int64_t> written;
    for (const auto& day : {*localSeconds(2026, 3, 7), *localSeconds(2026, 10, 31)})
        for (std::int64_t t = day; t < day + 3 * 86400; t += 60) written.push_back(t + 1);
    const auto line = [](std::int64_t t) {
        const LocalFields f = localFields(t);
        return recordLine(f.month, f.day, f.hour * 60 + f.minute, f.second, t / 60, 20 + f.hour, "0.200");
    };
    // The master is read while the monitor writes it: up to the first 01:59 of 1 November, then the rest.
    const std::int64_t firstPassEnd = *parseIsoTime("2026-11-01T01:59:30-04:00");
    std::string early = kHeaders, late;
    std::map<std::string, std::string> dailies;
    for (std::int64_t t : written) {
        const std::string text = line(t);
        (t < firstPassEnd ? early : late) += text;
        std::string& bytes = dailies[text.substr(0, 4) + "_" + text.substr(5, 2) + "/" + text.substr(0, 10) + ".csv"];
        if (bytes.empty()) bytes = kHeaders;
        bytes += text;
    }
    write(master, early);
    RecordStore store(folder.path());
    store.refresh();
    write(master, late, std::ios::app);
    store.refresh();
    // The daily files come after: their minutes are all in the master already.
    for (const auto& [name, bytes] : dailies) write(record / name, bytes);
    store.refresh();

    // Each minute once, at the moment it was written, in time order (the spring change's day has 1380
    // minutes, the autumn change's 1500).
    ASSERT_EQ(store.minutes().size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(store.minutes()[i].time, written[i])
            << isoText(written[i]) << " read as " << isoText(store.minutes()[i].time);
        ASSERT_EQ(store.minutes()[i].totalCount, static_cast<double>(written[i] / 60));
    }
    EXPECT_EQ(store.counts().records, 2 * written.size());

    // Each daily file read on its own gives the same moments, the repeated hour after the first.
    const ReadResult autumn = readRecords(dailies.at("2026_11/2026-11-01.csv"));
    ASSERT_EQ(autumn.minutes.size(), 1500u);
    for (std::size_t i = 1; i < autumn.minutes.size(); ++i)
        ASSERT_EQ(autumn.minutes[i].time - autumn.minutes[i - 1].time, 60) << i;
}

TEST(RecordLines, WhatIsNotARecordLineIsCountedByKind) {
    test::TimeZone zone(test::kJapan);
    const ReadResult r = readRecords(
        "2026-02-29,00:00:00,1,1,1,1,1,1,1,1,1\r\n"      // no such day
        "2026-05-30,24:00:00,1,1,1,1,1,1,1,1,1\r\n"      // no such hour
        "2026-05-30,23:58:00,1,1,1,1,1,1,1,1\r\n"        // ten fields
        "2026-05-30,23:58:00,1,1,1,1,1,1,1,1,1,1\r\n"    // twelve
        "2026-05-30,23:58:00,1,1,1,1,1,1,1,1,x\r\n"      // a field that is no number
        "2026-05-30,23:58:00,1,1,1,1E+99,1,1,1,1,1\r\n"  // beyond any caption
        "\r\n"
        "\x00\x00\x00\x00\r\n"
        "2028-02-29,12:00:00,1,2,0.016,3,0.025,4,0.033,1,0.008\n"  // a bare LF ends a line too
        "2026-05-30,23:58:00,1,1,1,1,1,1,1,1,1"sv);
    EXPECT_EQ(countsText(r.counts), "1 records, 0 headers, 2 foreign, 6 malformed, 1 torn");
    ASSERT_EQ(r.minutes.size(), 1u);
    EXPECT_EQ(r.minutes[0].cpm, 3.0f);
    EXPECT_EQ(r.minutes[0].dose, 0.025f);
}

TEST(RecordLines, EveryCaptionReadsAsTheNumberRuleReadsIt) {
    test::TimeZone zone(test::kJapan);
    std::mt19937 random(932);
    for (int i = 0; i < 20000; ++i) {
        // Captions of every length, with and without a point, a sign or an exponent.
        std::string caption = random() % 8 ? "" : "-";
        const int digits = 1 + static_cast<int>(random() % 18);
        for (int d = 0; d < digits; ++d) caption += static_cast<char>('0' + random() % 10);
        if (random() % 2) caption.insert(caption.size() - random() % digits, ".");
        if (random() % 10 == 0) caption += "E-0" + std::to_string(random() % 10);
        const ReadResult r = readRecords("2026-05-30,23:58:00," + caption + ",1,1,1,1,1,1,1,1\r\n");
        ASSERT_EQ(r.minutes.size(), 1u) << caption;
        ASSERT_EQ(r.minutes[0].totalCount, readNumber(caption)) << caption;
    }
}

TEST(RecordLines, AnyBytesAreReadWithoutAFailure) {
    test::TimeZone zone(test::kJapan);
    const std::string line = "2026-05-30,23:58:00,5432,24,0.200,25,0.208,30,0.250,20,0.166\r\n";
    std::mt19937 random(47);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = kHeaders + line + line + line;
        // Flip, drop and insert bytes at random, some of them line ends and separators.
        const int edits = 1 + static_cast<int>(random() % 12);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const std::size_t at = random() % bytes.size();
            const char pick[] = {',', '\r', '\n', '-', ':', '.', 'E', '9', '\0', '\x83'};
            switch (random() % 3) {
                case 0:
                    bytes[at] = static_cast<char>(random() % 4 ? pick[random() % sizeof pick] : random());
                    break;
                case 1:
                    bytes.erase(at, 1 + random() % 8);
                    break;
                default:
                    bytes.insert(at, 1, pick[random() % sizeof pick]);
            }
        }
        const ReadResult r = readRecords(bytes);
        const LineCounts& c = r.counts;
        ASSERT_EQ(c.records, r.minutes.size());
        ASSERT_LE(c.records + c.headers + c.foreign + c.malformed + c.torn,
                  static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    }
}

}  // namespace
}  // namespace rx47::history
