// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Times on the command line and in the CSV export: ISO 8601 dates and date-times read in the local
// zone (or at their offset), and the export's exact bytes with the offset of each moment.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "history/csv_export.h"
#include "history/local_time.h"
#include "support/time_zone.h"

namespace rx47::history {
namespace {

TEST(IsoTimes, DatesAndDateTimesOfTheCommandLine) {
    test::TimeZone zone(test::kJapan);
    const std::int64_t may5 = 1777906800;  // 2026-05-05 00:00 in Japan
    EXPECT_EQ(parseIsoTime("2026-05-05"), may5);
    EXPECT_EQ(parseIsoTime("2026-05-05T12:00"), may5 + 12 * 3600);
    EXPECT_EQ(parseIsoTime("2026-05-05 12:00:30"), may5 + 12 * 3600 + 30);
    EXPECT_EQ(parseIsoTime("2026-05-05T03:00:00Z"), may5 + 12 * 3600);
    EXPECT_EQ(parseIsoTime("2026-05-05T12:00+09:00"), may5 + 12 * 3600);
    EXPECT_EQ(parseIsoTime("2026-05-05T05:00:00+0200"), may5 + 12 * 3600);
    EXPECT_EQ(parseIsoTime("2026-05-04T22:00-05"), may5 + 12 * 3600);
    EXPECT_EQ(parseIsoTime("2028-02-29"), 1835362800);
    for (const char* bad :
         {"", "2026", "2026-5-5", "2026-02-30", "2026-13-01", "2026-05-05T24:00", "2026-05-05T12", "2026-05-05T12:60",
          "2026-05-05T12:00:00+9", "2026-05-05T12:00:00 JST", "yesterday", "2026-05-05T12:00:00Z ", "2026-05-05X"})
        EXPECT_EQ(parseIsoTime(bad), std::nullopt) << bad;
}

TEST(IsoTimes, EachMomentCarriesTheOffsetThatHeldThen) {
    {
        test::TimeZone zone(test::kJapan);
        EXPECT_EQ(isoText(1777950000), "2026-05-05T12:00:00+09:00");
    }
    test::TimeZone zone(test::kCentralEurope);
    EXPECT_EQ(isoText(*parseIsoTime("2026-01-15T08:30")), "2026-01-15T08:30:00+01:00");
    EXPECT_EQ(isoText(*parseIsoTime("2026-07-15T08:30")), "2026-07-15T08:30:00+02:00");
    // The night summer time begins: 01:59 is winter time, the next minute 03:00 summer time.
    const std::int64_t before = *parseIsoTime("2026-03-29T01:59");
    EXPECT_EQ(isoText(before + 60), "2026-03-29T03:00:00+02:00");
}

TEST(CsvExport, OneLinePerMinuteOfTheRangeWithTheCaptionsFigures) {
    test::TimeZone zone(test::kCentralEurope);
    const auto at = [](const char* text) { return *parseIsoTime(text); };
    std::vector<Minute> minutes(4);
    minutes[0] = {at("2026-03-29T01:58:00"), 5432, 24, 0.2f, 25, 0.208f};
    minutes[1] = {at("2026-03-29T01:59:01"), 2000000, 100000, 833.333f, 1000000, 8333.333f};
    minutes[2] = {at("2026-03-29T03:00:00"), NAN, NAN, NAN, 1500, 12.5f};
    minutes[3] = {at("2026-03-29T03:01:00"), 1e16, 24, 0.2f, 25, 0.208f};

    std::ostringstream out;
    // From inclusive, to exclusive: the last minute is outside.
    EXPECT_EQ(writeCsv(out, minutes, {at("2026-03-29T01:58"), at("2026-03-29T03:01")}), 3u);
    EXPECT_EQ(out.str(),
              "time,cpm,dose_usv_h,average_cpm,average_dose_usv_h,total_count\n"
              "2026-03-29T01:58:00+01:00,25,0.208,24,0.200,5432\n"
              "2026-03-29T01:59:01+01:00,1000000,8333.333,100000,833.333,2000000\n"
              "2026-03-29T03:00:00+02:00,1500,12.50,,,\n");

    // Beyond the digits the window writes in full, the exponent it writes too.
    std::ostringstream late;
    writeCsv(late, minutes, {at("2026-03-29T03:01"), at("2026-03-30")});
    EXPECT_EQ(late.str(), std::string(kCsvHeader) + "\n2026-03-29T03:01:00+02:00,25,0.208,24,0.200,1e+16\n");
}

}  // namespace
}  // namespace rx47::history
