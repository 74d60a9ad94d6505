// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-history: the long-term history of a program folder's records, in a window or, with --png or
// --csv, written to files without a window (and without a display).
#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "history/alarm_levels.h"
#include "history/csv_export.h"
#include "history/local_time.h"
#include "history/minute_cache.h"
#include "history/qt/history_window.h"
#include "history/qt/plot_painter.h"
#include "history/record_store.h"
#include "history/series.h"
#include "storage/program_folder.h"
#include "ui/startup.h"

namespace {

namespace fs = std::filesystem;
using namespace rx47::history;

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr QSize kImageSize{1600, 900};
/// The menu entry of the viewer, and the icon it shares with the monitor.
constexpr const char* kHistoryDesktopId = "io.github.rx47.history";
constexpr const char* kIconName = "io.github.rx47.monitor";

void say(const std::string& message) {
    std::fprintf(stderr, "rx47-history: %s\n", message.c_str());
}

std::optional<std::int64_t> timeOption(const QCommandLineParser& parser, const QString& name, bool& bad) {
    if (!parser.isSet(name)) return std::nullopt;
    const std::string text = parser.value(name).toStdString();
    auto t = parseIsoTime(text);
    if (!t) {
        say("--" + name.toStdString() + ": \"" + text +
            "\" is not an ISO 8601 date or date-time (for example 2026-05-05 or 2026-05-05T12:00)");
        bad = true;
    }
    return t;
}

std::string skippedText(const RecordStore& store) {
    const LineCounts c = store.counts();
    std::string text = std::to_string(store.minutes().size()) + " minutes read, " + std::to_string(c.skipped()) +
                       " lines skipped (" + std::to_string(c.malformed) + " malformed, " + std::to_string(c.torn) +
                       " torn, " + std::to_string(c.foreign) + " foreign)";
    if (store.unreadable()) text += ", " + std::to_string(store.unreadable()) + " files or folders unreadable";
    return text;
}

int writeFiles(const RecordStore& store, const fs::path& folder, TimeSpan span, const QString& png,
               const QString& csv) {
    int status = 0;
    if (!csv.isEmpty()) {
        std::size_t lines = 0;
        if (csv == QStringLiteral("-")) {
            lines = writeCsv(std::cout, store.minutes(), span, store.index().source());
            std::cout.flush();
        } else {
            std::ofstream out(csv.toStdString(), std::ios::binary | std::ios::trunc);
            if (out) lines = writeCsv(out, store.minutes(), span, store.index().source());
            out.close();
            if (!out) {
                say("cannot write " + csv.toStdString());
                status = kFailure;
            }
        }
        if (status == 0) say("wrote " + std::to_string(lines) + " minutes to " + csv.toStdString());
    }
    if (!png.isEmpty()) {
        QImage image(kImageSize, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            paintPlot(painter, image.rect(), {store.minutes(), span, readAlarmLevels(folder), &store.index()});
        }
        if (!image.save(png, "PNG")) {
            say("cannot write " + png.toStdString());
            status = kFailure;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("rx47-history"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(rx47::kVersionText));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the CPM and dose rate recorded in a program folder's record files over time.\n"
                       "With --png or --csv it writes them to files instead, without a window or a display."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("from"),
                      QStringLiteral("Start of the range (inclusive), local time unless an offset is given."),
                      QStringLiteral("DATE")});
    parser.addOption({QStringLiteral("to"), QStringLiteral("End of the range (exclusive)."), QStringLiteral("DATE")});
    parser.addOption(
        {QStringLiteral("png"), QStringLiteral("Draw the plot of the range into a PNG file."), QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("csv"),
         QStringLiteral("Write the range as UTF-8 CSV, one line per recorded minute (- for standard output)."),
         QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("PROGRAM-FOLDER"),
                                 QStringLiteral("The folder holding record/ (default: the monitor's own)."),
                                 QStringLiteral("[PROGRAM-FOLDER]"));

    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) {
        say(parser.errorText().toStdString() + "\nrx47-history --help lists the options.");
        return kUsageError;
    }
    // --help and --version need no display and no platform.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        QCoreApplication app(argc, argv);
        if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
        parser.showVersion();
    }
    const bool headless = parser.isSet(QStringLiteral("png")) || parser.isSet(QStringLiteral("csv"));
    // Files only: no window, so no display is needed (a plain ssh session has none).
    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    // The desktop (a Wayland one by this name) matches the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kHistoryDesktopId));
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kIconName)));
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(QFont(QStringLiteral("IPAPGothic"), 10));

    // One value each: a repeated option is a mistake rather than the last one silently winning.
    static constexpr std::pair<const char*, const char*> kOneValue[] = {
        {"from", "date"}, {"to", "date"}, {"png", "file"}, {"csv", "file"}};
    for (const auto& [name, what] : kOneValue) {
        if (parser.values(QString::fromLatin1(name)).size() > 1) {
            say(std::string("--") + name + " names one " + what);
            return kUsageError;
        }
    }
    if (parser.positionalArguments().size() > 1) {
        say("one program folder at most");
        return kUsageError;
    }

    bool bad = false;
    const auto from = timeOption(parser, QStringLiteral("from"), bad);
    const auto to = timeOption(parser, QStringLiteral("to"), bad);
    if (bad) return kUsageError;
    if (from && to && *from >= *to) {
        say("--from must be before --to");
        return kUsageError;
    }

    const bool named = !parser.positionalArguments().isEmpty();
    const fs::path folder = named ? fs::path(parser.positionalArguments().front().toStdString())
                                  : rx47::defaultProgramFolder(QCoreApplication::applicationDirPath().toStdString());
    std::error_code ec;
    // Started from the menu before the monitor ever ran: the window opens, says that there are no
    // records yet, and shows them once the monitor writes them (a menu has nowhere to say an error).
    const bool waitForMonitor = !named && !headless && !fs::exists(folder, ec);
    if (waitForMonitor) {
        say("no program folder " + folder.string() + " yet: the window shows its records once the monitor writes them");
    } else if (!fs::is_directory(folder, ec)) {
        say("cannot read the program folder " + folder.string() + (ec ? ": " + ec.message() : ": no such folder"));
        return kFailure;
    }
    if (!waitForMonitor) {
        const fs::directory_iterator probe(folder, ec);
        if (ec) {
            say("cannot read the program folder " + folder.string() + ": " + ec.message());
            return kFailure;
        }
    }

    if (headless) {
        RecordStore store(folder, userCacheFolder());
        store.refresh();
        if (!store.hasRecordFolder()) {
            say("no record folder in " + folder.string());
            return kFailure;
        }
        const TimeSpan span = requestedSpan(from, to, extent(store.minutes()), std::time(nullptr));
        say(skippedText(store));
        if (const std::string problem = recordHeaderProblem(); !problem.empty())
            say("the header lines are counted as foreign: " + problem);
        return writeFiles(store, folder, span, parser.value(QStringLiteral("png")),
                          parser.value(QStringLiteral("csv")));
    }

    if (const std::string problem = recordHeaderProblem(); !problem.empty())
        say("the header lines are counted as foreign: " + problem);
    HistoryWindow window(folder, from, to);
    window.show();
    return app.exec();
}
