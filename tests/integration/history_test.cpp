// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-history as a user runs it: the built executable without a display writing the PNG and the CSV
// of a week of records (the PNG read back for the series' pixels, the gap and the alarm line) and of a
// year with a one-minute spike, its command line's errors, and the window over a folder that a
// monitor is still writing to or has not made yet.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QWheelEvent>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/csv_export.h"
#include "history/local_time.h"
#include "history/qt/history_window.h"
#include "history/qt/plot_painter.h"
#include "history/view.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/time_zone.h"

namespace rx47::history {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string& kHeaders = test::kRecordHeaders;

/// A record line as the monitor writes it (dose at a coefficient of 120, truncated to thousandths).
std::string recordLine(std::int64_t t, int cpm, long total) {
    const LocalFields f = localFields(t);
    const auto dose = [](int c) {
        char b[16];
        std::snprintf(b, sizeof b, "%d.%03d", c / 120, c * 1000 / 120 % 1000);
        return std::string(b);
    };
    char line[160];
    std::snprintf(line, sizeof line, "%04d-%02d-%02d,%02d:%02d:%02d,%ld,24,0.200,%d,%s,%d,%s,20,0.166\r\n", f.year,
                  f.month, f.day, f.hour, f.minute, f.second, total, cpm, dose(cpm).c_str(), cpm, dose(cpm).c_str());
    return line;
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs the built rx47-history as from a plain ssh session: no display, no platform chosen.
RunResult runHistory(const QStringList& arguments, const char* zone = test::kJapan) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"}) env.remove(name);
    env.insert("TZ", zone);
    process.setProcessEnvironment(env);
    process.start(QString::fromUtf8(RX47_PROGRAM_FOLDER "/rx47-history"), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

/// A week of minutes from 1 May 2026 in Japan: nothing on 3 May, nothing from 10:00 to 13:00 on
/// 5 May, and a spike of 90 CPM at 6 May 12:00.
struct Week : ::testing::Test {
    test::TimeZone zone{test::kJapan};
    test::TempProgramFolder folder;  // with the supplied settings: CPM alarm level 100
    fs::path master = folder.path() / "record" / "master record.csv";
    std::int64_t start = *localSeconds(2026, 5, 1);
    std::int64_t day = 86400;
    std::int64_t last = 0;  // the last minute written
    long total = 1000;

    void SetUp() override {
        fs::create_directories(master.parent_path());
        std::ofstream out(master, std::ios::binary);
        out << kHeaders;
        for (std::int64_t t = start; t < start + 7 * day; t += 60) {
            if (t >= start + 2 * day && t < start + 3 * day) continue;
            if (t >= start + 4 * day + 10 * 3600 && t < start + 4 * day + 13 * 3600) continue;
            const int cpm = t == start + 5 * day + 12 * 3600 ? 90 : 20 + static_cast<int>(t / 60 % 17);
            out << recordLine(t + 1, cpm, total += cpm);
            last = t + 1;
        }
        out << "2026-05-07,23:59:30,garbled\r\n";
    }
};

bool bluish(QRgb c) {
    return qBlue(c) - qRed(c) >= 50;
}
bool reddish(QRgb c) {
    return qRed(c) >= 200 && qGreen(c) <= 80 && qBlue(c) <= 80;
}
bool orange(QRgb c) {
    return qRed(c) - qBlue(c) >= 60 && qGreen(c) > 90;
}
/// Whether a pixel of column x from row `top` to row `bottom` (both included) has the colour.
bool anyIn(const QImage& image, int x, int top, int bottom, bool (*colour)(QRgb)) {
    for (int y = top; y <= bottom; ++y)
        if (colour(image.pixel(x, y))) return true;
    return false;
}

TEST_F(Week, ThePngShowsTheWeekWithItsGapsAndTheAlarmLineWithoutADisplay) {
    const fs::path png = folder.path() / "week.png";
    const RunResult r =
        runHistory({"--png", QString::fromStdString(png.string()), QString::fromStdString(folder.path().string())});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("1 lines skipped (1 malformed, 0 torn, 0 foreign)"), std::string::npos) << r.err;

    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    const PlotLayout layout = plotLayout(image.rect());
    const QRect& cpm = layout.cpm;
    // All the records: from the first minute (written a second into it) to the end of the last.
    const TimeSpan view{start + 1, start + 7 * day + 1};
    const auto column = [&](std::int64_t t) {
        return cpm.left() + static_cast<int>((t - view.from) * layout.columns() / view.length());
    };
    const auto blueIn = [&](int x) { return anyIn(image, x, cpm.top() + 1, cpm.bottom() - 1, bluish); };
    // Every column of a recorded day holds the series; none within the missing day or hours does.
    for (int x = column(start + 2 * 3600); x < column(start + 2 * day) - 1; ++x) ASSERT_TRUE(blueIn(x)) << x;
    for (int x = column(start + 2 * day) + 2; x < column(start + 3 * day) - 2; ++x) ASSERT_FALSE(blueIn(x)) << x;
    for (int x = column(start + 4 * day + 10 * 3600) + 2; x < column(start + 4 * day + 13 * 3600) - 2; ++x)
        ASSERT_FALSE(blueIn(x)) << x;

    // The spike reaches above everything else: 90 on a scale that holds the alarm level 100.
    const ValueScale scale = valueScale(100, 100.0);
    const auto rowOf = [&](double v) {
        return static_cast<int>(std::lround(cpm.bottom() + 1 - v / scale.top * cpm.height()));
    };
    const int spikeX = column(start + 5 * day + 12 * 3600);
    bool spikeShown = false;
    for (int x = spikeX - 1; x <= spikeX + 1; ++x) spikeShown |= anyIn(image, x, rowOf(90) - 2, rowOf(90) + 3, bluish);
    EXPECT_TRUE(spikeShown);

    // The alarm line at 100 CPM, across the panel.
    int red = 0;
    for (int x = cpm.left(); x <= cpm.right(); ++x) red += anyIn(image, x, rowOf(100) - 1, rowOf(100) + 1, reddish);
    EXPECT_GT(red, layout.columns() / 3);

    // The dose panel has its series too (orange), and a gap on the missing day.
    const auto orangeIn = [&](int x) {
        return anyIn(image, x, layout.dose.top() + 1, layout.dose.bottom() - 1, orange);
    };
    EXPECT_TRUE(orangeIn(column(start + day)));
    EXPECT_FALSE(orangeIn(column(start + 2 * day + day / 2)));
}

TEST(Year, AOneMinuteSpikeAmongAYearOfFlatMinutesStandsOutInThePng) {
    // A year of 20 CPM, one minute of 90 in June: a column of the picture stands for about six hours.
    test::TimeZone zone{test::kJapan};
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
    const std::int64_t start = *localSeconds(2026, 1, 1), end = *localSeconds(2027, 1, 1);
    const std::int64_t spike = *localSeconds(2026, 6, 15, 12, 0);
    std::string text = kHeaders;
    long total = 0;
    for (std::int64_t t = start; t < end; t += 60)
        text += recordLine(t + 1, t == spike ? 90 : 20, total += t == spike ? 90 : 20);
    writeFile(folder.path() / "record" / "master record.csv", text);
    const fs::path png = folder.path() / "year.png";
    const RunResult r =
        runHistory({"--png", QString::fromStdString(png.string()), QString::fromStdString(folder.path().string())});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());

    const PlotLayout layout = plotLayout(image.rect());
    const QRect& cpm = layout.cpm;
    const TimeSpan view{start + 1, end + 1};
    const int spikeX = cpm.left() + static_cast<int>((spike - view.from) * layout.columns() / view.length());
    const ValueScale scale = valueScale(90, std::nullopt);
    const auto rowOf = [&](double v) {
        return static_cast<int>(std::lround(cpm.bottom() + 1 - v / scale.top * cpm.height()));
    };
    // Halfway up, and just below the top: the spike's pixels are the series' own strong colour, two
    // or more side by side, and nothing else across the panel is.
    for (const double value : {55.0, 88.0}) {
        std::vector<int> strong;
        for (int x = cpm.left() + 1; x < cpm.right(); ++x)
            if (image.pixel(x, rowOf(value)) == kCpmColour.rgb()) strong.push_back(x);
        ASSERT_GE(strong.size(), 2u) << value;
        EXPECT_EQ(strong.back() - strong.front() + 1, static_cast<int>(strong.size())) << value;
        EXPECT_LE(std::max(std::abs(strong.front() - spikeX), std::abs(strong.back() - spikeX)), 2) << value;
    }
    // The dose panel's spike too, in its colour.
    int dose = 0;
    for (int x = spikeX - 3; x <= spikeX + 3; ++x)
        dose += image.pixel(x, layout.dose.top() + layout.dose.height() / 2) == kDoseColour.rgb();
    EXPECT_GE(dose, 2);
}

TEST_F(Week, TheCsvOfARangeAndTheCommandLinesErrors) {
    const fs::path csv = folder.path() / "range.csv";
    const QString programFolder = QString::fromStdString(folder.path().string());
    RunResult r = runHistory({"--from", "2026-05-06T12:00", "--to", "2026-05-06T12:02:01+09:00", "--csv",
                              QString::fromStdString(csv.string()), programFolder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = test::bytesOf(csv);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), std::string(kCsvHeader) + "\n");
    EXPECT_NE(text.find("\n2026-05-06T12:00:01+09:00,90,0.750,24,0.200,"), std::string::npos) << text;
    EXPECT_NE(text.find("\n2026-05-06T12:01:01+09:00,"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;  // the header and two minutes
    EXPECT_NE(r.err.find("wrote 2 minutes"), std::string::npos) << r.err;

    // Both files in one run, the CSV to standard output.
    const fs::path png = folder.path() / "day.png";
    r = runHistory({"--from", "2026-05-02", "--to", "2026-05-02T00:03", "--csv", "-", "--png",
                    QString::fromStdString(png.string()), programFolder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
    EXPECT_FALSE(QImage(QString::fromStdString(png.string())).isNull());

    // Refused: a date that is not ISO 8601, a range that ends before it starts, a repeated option (not
    // the last one taken), a folder that is not there, one without records, a picture that cannot be
    // written.
    const auto refused = [&](const QStringList& arguments, int exitCode, const char* error = "") {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const RunResult run = runHistory(arguments);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    };
    refused({"--from", "6 May", "--csv", "-", programFolder}, 2, "--from: \"6 May\" is not an ISO 8601 date");
    refused({"--from", "2026-05-06", "--to", "2026-05-05", "--csv", "-", programFolder}, 2);
    refused({"--from", "2026-05-01", "--csv", "-", "--from", "2026-05-06", programFolder}, 2,
            "rx47-history: --from names one date");
    refused({"--to", "2026-05-06", "--to", "2026-05-07", "--csv", "-", programFolder}, 2,
            "rx47-history: --to names one date");
    refused({"--csv", QString::fromStdString(csv.string()), "--csv", "-", programFolder}, 2,
            "rx47-history: --csv names one file");
    refused({"--png", "x.png", programFolder + "/no such folder"}, 1, "cannot read the program folder");
    refused({"--csv", "-", QString::fromStdString((folder.path() / "record").string())}, 1, "no record folder");
    refused({"--png", QString::fromStdString((folder.path() / "missing/x.png").string()), programFolder}, 1,
            "cannot write");

    r = runHistory({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--from <DATE>"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PROGRAM-FOLDER"), std::string::npos) << r.out;
    r = runHistory({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("rx47-history 1.2"), std::string::npos) << r.out;
}

TEST(ClockChanges, TheCsvOfEachChangesDayHasEveryMinuteOnceWithTheOffsetOfItsMoment) {
    // A monitor in New York through both clock changes of 2026, master and daily files, its total
    // count passing two million at the start of 1 November.
    test::TimeZone zone{test::kNewYork};
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
    const fs::path record = folder.path() / "record";
    const std::int64_t autumn = *localSeconds(2026, 11, 1);
    std::string master = kHeaders;
    std::map<std::string, std::string> dailies;
    for (const std::int64_t from : {*localSeconds(2026, 3, 7), *localSeconds(2026, 10, 31)}) {
        for (std::int64_t t = from; t < from + 3 * 86400; t += 60) {
            const std::string line = recordLine(t + 1, 25, 2000000 + (t - autumn) / 60);
            master += line;
            std::string& daily =
                dailies[line.substr(0, 4) + "_" + line.substr(5, 2) + "/" + line.substr(0, 10) + ".csv"];
            if (daily.empty()) daily = kHeaders;
            daily += line;
        }
    }
    for (const auto& [name, bytes] : dailies) writeFile(record / name, bytes);
    writeFile(record / "master record.csv", master);

    const QString programFolder = QString::fromStdString(folder.path().string());
    const auto csvLines = [&](const char* from, const char* to) {
        const RunResult r = runHistory({"--from", from, "--to", to, "--csv", "-", programFolder}, test::kNewYork);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::istringstream in(r.out);
        std::string header;
        std::getline(in, header);
        EXPECT_EQ(header, kCsvHeader);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const auto distinctTimes = [](const std::vector<std::string>& lines) {
        std::set<std::string> times;
        for (const std::string& line : lines) times.insert(line.substr(0, line.find(',')));
        return times.size();
    };

    // The day the clock is set back has 25 hours: 01:00 to 01:59 first in summer time, then again.
    const std::vector<std::string> day = csvLines("2026-11-01", "2026-11-02");
    ASSERT_EQ(day.size(), 1500u);
    EXPECT_EQ(distinctTimes(day), 1500u);
    EXPECT_EQ(day[0], "2026-11-01T00:00:01-04:00,25,0.208,24,0.200,2000000");
    EXPECT_EQ(day[60].substr(0, 25), "2026-11-01T01:00:01-04:00");
    EXPECT_EQ(day[119].substr(0, 25), "2026-11-01T01:59:01-04:00");
    EXPECT_EQ(day[120].substr(0, 25), "2026-11-01T01:00:01-05:00");
    EXPECT_EQ(day[179].substr(0, 25), "2026-11-01T01:59:01-05:00");
    EXPECT_EQ(day[180].substr(0, 25), "2026-11-01T02:00:01-05:00");
    EXPECT_EQ(day[1499].substr(0, 25), "2026-11-01T23:59:01-05:00");
    for (const std::string& line : day) ASSERT_EQ(line.find('e'), std::string::npos) << line;

    // The day it is set forward has 23: 01:59 is followed by 03:00.
    const std::vector<std::string> spring = csvLines("2026-03-08", "2026-03-09");
    ASSERT_EQ(spring.size(), 1380u);
    EXPECT_EQ(distinctTimes(spring), 1380u);
    EXPECT_EQ(spring[119].substr(0, 25), "2026-03-08T01:59:01-05:00");
    EXPECT_EQ(spring[120].substr(0, 25), "2026-03-08T03:00:01-04:00");
}

TEST_F(Week, TheWindowFollowsTheMonitorZoomsAboutThePointerAndPans) {
    HistoryWindow window(folder.path());
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("RX47 履歴 — ") + QString::fromStdString(folder.path().string()));
    PlotWidget& plot = window.plot();
    const std::size_t count = window.store().minutes().size();
    EXPECT_EQ(plot.view(), (TimeSpan{start + 1, last + 60}));
    EXPECT_NE(window.statusText().indexOf(QStringLiteral("読み飛ばした行 1")), -1) << window.statusText().toStdString();

    // The week button, then a new line from the running monitor: the view moves with it.
    for (QAbstractButton* b : window.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("週")) b->click();
    EXPECT_EQ(plot.view().length(), 7 * day);
    std::ofstream(master, std::ios::binary | std::ios::app) << recordLine(start + 7 * day + 1, 33, total + 33);
    ASSERT_TRUE(test::runEventsUntil([&] { return window.store().minutes().size() == count + 1; }, 30s));
    EXPECT_EQ(plot.view().to, start + 7 * day + 61);

    // The tool tip of the column under the pointer: its minutes' spread.
    const PlotLayout layout = plotLayout(plot.rect());
    const QString tip = plot.tooltipAt(layout.cpm.left() + layout.columns() / 2);
    EXPECT_NE(tip.indexOf(QStringLiteral("直近平均 CPM  最小")), -1) << tip.toStdString();

    // A notch of the wheel a quarter of the way in: the moment there stays under the pointer.
    const TimeSpan before = plot.view();
    const double x = layout.cpm.left() + layout.columns() / 4.0;
    QWheelEvent wheel(QPointF(x, 200), plot.mapToGlobal(QPointF(x, 200)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&plot, &wheel);
    const TimeSpan zoomedIn = plot.view();
    EXPECT_EQ(zoomedIn.length(), std::llround(before.length() * 0.8));
    EXPECT_NEAR(zoomedIn.from + zoomedIn.length() / 4.0, before.from + before.length() / 4.0, 60);
    for (QAbstractButton* b : window.findChildren<QPushButton*>()) EXPECT_FALSE(b->isChecked());

    // A drag to the right by 100 pixels shows earlier minutes.
    const auto mouse = [&](QEvent::Type type, double px, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(px, 200), plot.mapToGlobal(QPointF(px, 200)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(&plot, &e);
    };
    mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton);
    mouse(QEvent::MouseMove, 500, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 500, Qt::NoButton);
    const double perPixel = static_cast<double>(zoomedIn.length()) / layout.columns();
    EXPECT_NEAR(plot.view().from, zoomedIn.from - 100 * perPixel, 2);
    EXPECT_EQ(plot.view().length(), zoomedIn.length());

    // A view looking back stays where it is when the next minute comes.
    const TimeSpan looking = plot.view();
    std::ofstream(master, std::ios::binary | std::ios::app) << recordLine(start + 7 * day + 61, 34, total + 67);
    ASSERT_TRUE(test::runEventsUntil([&] { return window.store().minutes().size() == count + 2; }, 30s));
    EXPECT_EQ(plot.view(), looking);
}

TEST(BeforeTheMonitor, TheWindowOverAProgramFolderNotYetMadeShowsItsRecordsOnceWritten) {
    // Started from the menu before the monitor ever ran: the user's data folder is not there yet.
    test::TimeZone zone{test::kJapan};
    const test::TempProgramFolder parent{test::TempProgramFolder::Settings::None};
    const fs::path folder = parent.path() / "rx47-monitor";
    HistoryWindow window(folder);
    window.show();
    EXPECT_TRUE(window.store().minutes().empty());
    EXPECT_NE(window.statusText().indexOf(QStringLiteral("がありません")), -1) << window.statusText().toStdString();

    const std::int64_t t = *localSeconds(2026, 5, 1, 12, 0);
    writeFile(folder / "record" / "master record.csv",
              kHeaders + recordLine(t + 1, 21, 100) + recordLine(t + 61, 22, 122));
    ASSERT_TRUE(test::runEventsUntil([&] { return window.store().minutes().size() == 2; }, 30s));
    EXPECT_EQ(window.statusText().indexOf(QStringLiteral("がありません")), -1) << window.statusText().toStdString();
}

}  // namespace
}  // namespace rx47::history
