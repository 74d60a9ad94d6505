// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The plotted series without drawing: the reduction into screen columns against a direct
// computation (minute by minute and from block summaries), gaps, and what the window shows (ranges,
// zoom about the pointer, panning, following new minutes, value scales, time marks and their zone,
// tool tips).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <tuple>

#include "history/local_time.h"
#include "history/series.h"
#include "history/view.h"
#include "support/time_zone.h"

namespace rx47::history {
namespace {

Minute minute(std::int64_t time, float cpm, float dose = kNoValue) {
    Minute m;
    m.time = time;
    m.cpm = cpm;
    m.dose = dose;
    return m;
}

/// Minutes from `start`, one a minute written a second or two into it, with gaps of random length
/// and now and then an empty caption.
std::vector<Minute> randomSeries(std::mt19937& random, std::int64_t start, int count) {
    std::vector<Minute> minutes;
    std::int64_t t = start;
    std::uniform_real_distribution<float> cpm(5, 60);
    for (int i = 0; i < count; ++i) {
        t += random() % 50 == 0 ? 60 * (2 + random() % 300) : 60;
        const float value = random() % 40 == 0 ? kNoValue : cpm(random);
        minutes.push_back(minute(t + random() % 3, value, value / 120));
    }
    return minutes;
}

TEST(Reduction, EachColumnHoldsTheMinimumMaximumAndMeanOfItsMinutes) {
    std::mt19937 random(15);
    const std::vector<Minute> minutes = randomSeries(random, 1'780'000'000, 8000);
    const TimeSpan all = extent(minutes);
    // Every other round sums wide columns from block summaries, built as a followed file grows; every
    // fourth reads the minutes at the columns' edges from a source, as a mapped cache file's are read.
    SeriesIndex index;
    index.update(std::span(minutes).first(5000), 0);
    index.update(minutes, 4990);
    struct Copies final : MinuteSource {
        std::span<const Minute> minutes;
        mutable std::size_t copied = 0;
        void copy(std::size_t first, std::size_t count, Minute* out) const override {
            ASSERT_LE(first + count, minutes.size());
            std::copy_n(minutes.begin() + static_cast<std::ptrdiff_t>(first), count, out);
            copied += count;
        }
    } source;
    source.minutes = minutes;
    for (int round = 0; round < 40; ++round) {
        index.setSource(round % 4 == 3 ? &source : nullptr);
        // Views of every size, some reaching past the records, and column counts of every kind.
        const std::int64_t length = 600 + random() % (all.length() + 86400);
        const std::int64_t from = all.from - 43200 + static_cast<std::int64_t>(random() % (all.length() + 43200));
        const TimeSpan view{from, from + length};
        const bool blocks = round % 2 == 1;
        const int columns = 1 + static_cast<int>(random() % (blocks ? 40 : 1800));
        const std::vector<Bucket> buckets = reduce(minutes, view, columns, blocks ? &index : nullptr);
        ASSERT_EQ(buckets.size(), static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            const std::int64_t start = view.from + c * view.length() / columns;
            const std::int64_t end = view.from + (c + 1) * view.length() / columns;
            float lo = INFINITY, hi = -INFINITY;
            double sum = 0;
            std::size_t count = 0, inside = 0, last = 0;
            for (std::size_t i = 0; i < minutes.size(); ++i) {
                if (minutes[i].time < start || minutes[i].time >= end) continue;
                ++inside;
                last = i;
                if (std::isnan(minutes[i].cpm)) continue;
                lo = std::min(lo, minutes[i].cpm);
                hi = std::max(hi, minutes[i].cpm);
                sum += minutes[i].cpm;
                ++count;
            }
            const Bucket& b = buckets[c];
            ASSERT_EQ(std::tuple(b.span, b.minutes.size(), b.cpm.count),
                      std::tuple(TimeSpan{start, end}, inside, count))
                << c;
            if (count) {
                ASSERT_EQ(std::tie(b.cpm.min, b.cpm.max), std::tie(lo, hi));
                ASSERT_NEAR(b.cpm.mean(), sum / count, 1e-9);
            }
            // A line leaves the column when the next recorded minute in view follows without a gap.
            const bool next = inside && last + 1 < minutes.size() && minutes[last + 1].time < view.to;
            ASSERT_EQ(b.joinsNext, next && minutes[last + 1].time - minutes[last].time <= 90) << c;
            // The tool tip's bucket is the same one.
            if (c % 97 == 0) {
                const Bucket single = bucketAt(minutes, view, columns, c, blocks ? &index : nullptr);
                ASSERT_EQ(std::tie(single.minutes.first, single.minutes.last, single.joinsNext),
                          std::tie(b.minutes.first, b.minutes.last, b.joinsNext));
            }
        }
    }
    EXPECT_GT(source.copied, 0u);
}

TEST(Reduction, AOneMinuteSpikeShowsInAYearOnAThousandColumns) {
    std::vector<Minute> minutes;
    const std::int64_t start = 1'767'225'600;
    for (std::int64_t i = 0; i < 365 * 1440; ++i) minutes.push_back(minute(start + i * 60, i == 200'000 ? 900 : 25));
    SeriesIndex index;
    index.update(minutes, 0);
    const std::vector<Bucket> buckets = reduce(minutes, extent(minutes), 1000, &index);
    const auto spike = std::find_if(buckets.begin(), buckets.end(), [](const Bucket& b) { return b.cpm.max == 900; });
    ASSERT_NE(spike, buckets.end());
    EXPECT_EQ(spike->cpm.min, 25);
    EXPECT_LT(spike->cpm.mean(), 27);
    EXPECT_EQ(std::count_if(buckets.begin(), buckets.end(), [](const Bucket& b) { return b.cpm.max == 900; }), 1);
    EXPECT_TRUE(std::all_of(buckets.begin(), buckets.end() - 1, [](const Bucket& b) { return b.joinsNext; }));
}

TEST(Reduction, AGapIsNeverJoined) {
    // Two minutes, then nothing for a day, then two more; a minute and a half is not yet a gap.
    const std::int64_t t = 1'780'000'020;
    const std::vector<Minute> minutes = {minute(t, 10), minute(t + 90, 11), minute(t + 86400, 12),
                                         minute(t + 86460, 13)};
    const TimeSpan view{t - 60, t + 86520};
    const auto joins = [&](int columns) {
        std::vector<int> result;
        for (const Bucket& b : reduce(minutes, view, columns))
            if (!b.empty()) result.push_back(b.joinsNext);
        return result;
    };
    // A column a minute wide: the first two are joined, then the day's gap, then the last two.
    EXPECT_EQ(joins(1441), (std::vector<int>{1, 0, 1, 0}));
    // Half-hour columns: the first two share one, which joins nothing, for a day follows.
    EXPECT_EQ(joins(48), (std::vector<int>{0, 0}));
    EXPECT_EQ(reduce(minutes, view, 48).front().cpm.count, 2u);
}

TEST(View, RangesZoomAboutThePointerPanAndFollowTheRecords) {
    const TimeSpan records{1'780'000'000, 1'780'000'000 + 40 * kDaySeconds};
    EXPECT_EQ(rangeSpan(Range::Day, records, 0), (TimeSpan{records.to - kDaySeconds, records.to}));
    EXPECT_EQ(rangeSpan(Range::Week, records, 0).length(), 7 * kDaySeconds);
    EXPECT_EQ(rangeSpan(Range::Month, records, 0).length(), 30 * kDaySeconds);
    EXPECT_EQ(rangeSpan(Range::All, records, 0), records);
    // Nothing recorded yet: the day up to now.
    EXPECT_EQ(rangeSpan(Range::All, {}, 1'780'000'030), (TimeSpan{1'780'000'080 - kDaySeconds, 1'780'000'080}));

    // The moment under the pointer stays under it.
    const TimeSpan week = rangeSpan(Range::Week, records, 0);
    const TimeSpan in = zoomed(week, 0.5, 0.25, records);
    EXPECT_EQ(in.length(), week.length() / 2);
    EXPECT_EQ(in.from + in.length() / 4, week.from + week.length() / 4);
    EXPECT_EQ(zoomed(week, 1e-6, 0.5, records).length(), kNarrowestView);
    EXPECT_LE(zoomed(week, 1e6, 0.5, records).length(), 365 * kDaySeconds);

    // A drag moves the view, but not off the records.
    EXPECT_EQ(panned(week, -3600, records).from, week.from - 3600);
    const TimeSpan far = panned(week, 100 * kDaySeconds, records);
    EXPECT_EQ(far.from + far.length() / 2, records.to);
    EXPECT_EQ(far.length(), week.length());

    // New minutes: a view at the end moves with them; one looking back stays.
    const TimeSpan later{records.from, records.to + 120};
    EXPECT_EQ(followed(week, records, later), (TimeSpan{week.from + 120, week.to + 120}));
    const TimeSpan back = panned(week, -kDaySeconds, records);
    EXPECT_EQ(followed(back, records, later), back);

    // The command line's range: either end may be left to the records.
    EXPECT_EQ(requestedSpan(records.from + 60, std::nullopt, records, 0), (TimeSpan{records.from + 60, records.to}));
    EXPECT_EQ(requestedSpan(std::nullopt, records.from + 60, records, 0), (TimeSpan{records.from, records.from + 60}));
    EXPECT_EQ(requestedSpan(records.to + 60, std::nullopt, records, 0).length(), kDaySeconds);
}

TEST(View, TheValueScaleHoldsTheDataAndTheAlarmLevel) {
    const ValueScale cpm = valueScale(37, 100.0);
    EXPECT_GT(cpm.top, 100);
    EXPECT_LE(cpm.top, 140);
    EXPECT_EQ(cpm.step, 20);
    const ValueScale dose = valueScale(0.31, std::nullopt);
    EXPECT_GT(dose.top, 0.31);
    EXPECT_NEAR(dose.step, 0.1, 1e-12);
    EXPECT_EQ(std::tuple(valueText(0.3, dose.step), valueText(0.25, 0.05), valueText(40, 20)),
              std::tuple("0.3", "0.25", "40"));
    EXPECT_EQ(valueScale(0, std::nullopt).top, 1);
}

TEST(View, TimeMarksFallOnRoundLocalTimes) {
    test::TimeZone zone(test::kCentralEurope);
    // 29 March 2026 is the day summer time begins: 02:00 does not exist.
    const TimeSpan day{*localSeconds(2026, 3, 29), *localSeconds(2026, 3, 30)};
    const std::vector<TimeTick> ticks = timeTicks(day, 1000, 90);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().label, "03-29");
    EXPECT_TRUE(ticks.front().major);
    for (const TimeTick& tick : ticks) {
        const LocalFields f = localFields(tick.time);
        EXPECT_EQ(f.minute, 0);
        if (!tick.major) {
            EXPECT_EQ(tick.label, (f.hour < 10 ? "0" : "") + std::to_string(f.hour) + ":00");
        }
    }
    EXPECT_EQ(ticks.back().label, "03-30");

    const TimeSpan year{*localSeconds(2026, 1, 1), *localSeconds(2027, 1, 1)};
    const std::vector<TimeTick> months = timeTicks(year, 1200, 80);
    ASSERT_EQ(months.size(), 13u);
    EXPECT_EQ(months[1].label, "2026-02");
}

TEST(View, TheTimeAxisNamesItsZoneAndBothWhereTheClockChanges) {
    {
        test::TimeZone zone(test::kJapan);
        EXPECT_EQ(zoneText({*localSeconds(2026, 1, 1), *localSeconds(2027, 1, 1)}), "JST (+09:00)");
    }
    test::TimeZone zone(test::kNewYork);
    EXPECT_EQ(zoneText({*localSeconds(2026, 1, 5), *localSeconds(2026, 1, 12)}), "EST (-05:00)");
    // The day the clock is set forward, and a year: its marks are in both zones, in the order they hold.
    EXPECT_EQ(zoneText({*localSeconds(2026, 3, 8), *localSeconds(2026, 3, 9)}), "EST (-05:00) / EDT (-04:00)");
    EXPECT_EQ(zoneText({*localSeconds(2026, 7, 1), *localSeconds(2027, 7, 1)}), "EDT (-04:00) / EST (-05:00)");
    // Ten years, sampled sparsely, still finds each.
    EXPECT_EQ(zoneText({*localSeconds(2020, 1, 1), *localSeconds(2030, 1, 1)}), "EST (-05:00) / EDT (-04:00)");
    // A zone known only by its offset, west of UTC by a half hour.
    test::TimeZone offsetOnly("<-0330>3:30");
    EXPECT_EQ(zoneText({0, 86400}), "UTC-03:30");
}

TEST(View, TheToolTipShowsTheMinuteOrTheSpreadOfTheColumn) {
    test::TimeZone zone(test::kJapan);
    const std::int64_t t = *localSeconds(2026, 5, 7, 9, 5, 0);
    std::vector<Minute> minutes = {minute(t, 25, 0.208f), minute(t + 60, 31, 0.258f), minute(t + 120, 20, 0.166f)};
    for (Minute& m : minutes) m.averageCpm = 24, m.averageDose = 0.2f, m.totalCount = 5432;
    minutes.back().totalCount = 5480;

    const Bucket one = reduce(minutes, {t, t + 60}, 1).front();
    EXPECT_EQ(tooltipText(one, minutes),
              "2026-05-07 09:05\n直近平均  25 CPM  0.208 μSv/h\n空間平均  24 CPM  0.200 μSv/h\n検出数  5432");
    const Bucket three = reduce(minutes, {t, t + 180}, 1).front();
    EXPECT_EQ(tooltipText(three, minutes),
              "2026-05-07 09:05 〜 09:07  (3 分)\n"
              "直近平均 CPM  最小 20 / 平均 25.3 / 最大 31\n"
              "直近平均 μSv/h  最小 0.166 / 平均 0.211 / 最大 0.258\n"
              "空間平均 (09:07)  24 CPM  0.200 μSv/h\n"
              "検出数 (09:07)  5480");
    EXPECT_EQ(tooltipText(reduce(minutes, {t - 600, t}, 1).front(), minutes), "");
}

}  // namespace
}  // namespace rx47::history
