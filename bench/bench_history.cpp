// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Figures for rx47-history over a year of minute records (525,600 lines, about 30 MB, code page 932,
// CR LF, written here with the C library's clock, not by the viewer's code), or with --years 10
// --daily ten years in the master and the daily files (5.3 million lines, 3,653 files):
//   - the floor: reading the files once without parsing them;
//   - load and reduce: the viewer's reader over the program folder, then the whole year reduced to
//     the columns of a window;
//   - a frame: the plot of a zoomed or panned view painted into an image (what a wheel notch or a
//     drag costs);
//   - with --app, the program itself: rx47-history --png over the folder, start to end;
//   - the window: constructed, shown and painted once, and its peak memory;
//   - rx47-history --png and the window once more each as the first to open the records (no cache:
//     they read the text and make it).
// Each run is a process of its own, so its peak resident memory is its own; the runs alternate so
// that a noisy machine hurts all of them alike. Prints medians and ranges; asserts nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "history/minute_cache.h"
#include "history/qt/history_window.h"
#include "history/qt/plot_painter.h"
#include "history/record_store.h"
#include "history/series.h"
#include "history/view.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kColumns = 1520;  // the plot's columns in a 1600-pixel window

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr const char* kHeaderLines =
    "\x93\xFA\x95t,\x8E\x9E\x8D\x8F,\x8C\x9F\x8Fo\x90\x94,\x8B\xF3\x8A\xD4\x95\xBD\x8B\xCF,,"
    "\x92\xBC\x8B\xDF\x95\xBD\x8B\xCF,,\x92\xBC\x8B\xDF\x8D\xC5\x91\xE5,,\x92\xBC\x8B\xDF\x8D\xC5\x8F\xAC\r\n"
    ",,,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h,CPM,\x83\xCASv/h\r\n";

/// `lines` minutes from 1 January 2017, local time, as the monitor writes them: into the master file,
/// and with `daily` also into a file per day in its month folder (each line in both, as a monitor
/// recording both writes them). Written with the C library's clock, not by the viewer's code; the
/// lines are formatted by hand, so ten years take seconds.
void writeRecords(const fs::path& folder, long lines, bool daily) {
    const fs::path record = folder / "record";
    fs::create_directories(record);
    std::FILE* master = std::fopen((record / "master record.csv").c_str(), "wb");
    std::fputs(kHeaderLines, master);
    std::FILE* day = nullptr;
    int dayOfFile = -1;
    std::tm tm{};
    tm.tm_year = 117;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    const std::time_t start = std::mktime(&tm);
    std::mt19937 random(47);
    std::poisson_distribution<int> counts(25);
    long total = 100000, sum = 0;
    int lo = 500, hi = 0;
    char line[200];
    const auto number = [](char*& at, long v) {
        char digits[24];
        int n = 0;
        do digits[n++] = static_cast<char>('0' + v % 10);
        while ((v /= 10) > 0);
        while (n) *at++ = digits[--n];
    };
    const auto two = [](char*& at, int v) {
        *at++ = static_cast<char>('0' + v / 10);
        *at++ = static_cast<char>('0' + v % 10);
    };
    const auto pair = [&](char*& at, int cpm) {
        *at++ = ',';
        number(at, cpm);
        *at++ = ',';
        number(at, cpm / 120);
        *at++ = '.';
        const int thousandths = cpm * 1000 / 120 % 1000;
        *at++ = static_cast<char>('0' + thousandths / 100);
        two(at, thousandths % 100);
    };
    for (long i = 0; i < lines; ++i) {
        const std::time_t t = start + i * 60;
        std::tm local{};
        ::localtime_r(&t, &local);
        const int cpm = counts(random);
        total += cpm;
        sum += cpm;
        lo = std::min(lo, cpm);
        hi = std::max(hi, cpm);
        char* at = line;
        number(at, local.tm_year + 1900);
        *at++ = '-';
        two(at, local.tm_mon + 1);
        *at++ = '-';
        two(at, local.tm_mday);
        *at++ = ',';
        two(at, local.tm_hour);
        *at++ = ':';
        two(at, local.tm_min);
        *at++ = ':';
        two(at, local.tm_sec);
        *at++ = ',';
        number(at, total);
        pair(at, static_cast<int>(sum / (i + 1)));
        pair(at, cpm);
        pair(at, hi);
        pair(at, lo);
        *at++ = '\r';
        *at++ = '\n';
        const auto size = static_cast<std::size_t>(at - line);
        std::fwrite(line, 1, size, master);
        if (!daily) continue;
        if (local.tm_yday != dayOfFile) {
            if (day) std::fclose(day);
            char month[32], name[32];
            std::snprintf(month, sizeof month, "%04d_%02d", local.tm_year + 1900, local.tm_mon + 1);
            std::snprintf(name, sizeof name, "%.10s.csv", line);
            fs::create_directories(record / month);
            day = std::fopen((record / month / name).c_str(), "wb");
            std::fputs(kHeaderLines, day);
            dayOfFile = local.tm_yday;
        }
        std::fwrite(line, 1, size, day);
    }
    if (day) std::fclose(day);
    std::fclose(master);
}

// ---- the runs, each in a process of its own -------------------------------------------------------

int floorRun(const fs::path& folder) {
    const auto start = Clock::now();
    std::vector<char> buffer(1 << 20);
    unsigned long bytes = 0;
    unsigned char check = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "record")) {
        if (!entry.is_regular_file() || entry.path().extension() != ".csv") continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
            bytes += static_cast<unsigned long>(n);
            check ^= static_cast<unsigned char>(buffer[static_cast<std::size_t>(n) - 1]);
        }
        ::close(fd);
    }
    std::printf("%.6f %lu %u\n", secondsSince(start), bytes, check);
    return 0;
}

int loadRun(const fs::path& folder) {
    const auto start = Clock::now();
    rx47::history::RecordStore store(folder, rx47::history::userCacheFolder());
    store.refresh();
    const auto buckets =
        rx47::history::reduce(store.minutes(), rx47::history::extent(store.minutes()), kColumns, &store.index());
    const double load = secondsSince(start);
    // The window's check every ten seconds, with nothing new.
    const auto again = Clock::now();
    store.refresh();
    std::printf("%.6f %zu %zu %.6f\n", load, store.minutes().size(), buckets.size(), secondsSince(again));
    return 0;
}

/// The window as a user opens it: from its construction to the end of its first paint.
int windowRun(const fs::path& folder, int argc, char** argv) {
    const auto start = Clock::now();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    rx47::history::HistoryWindow window(folder);
    struct AfterPaint : QObject {
        Clock::time_point start;
        rx47::history::HistoryWindow* window = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            // The paint has been done once control is back in the event loop; then the window's
            // check every ten seconds, with nothing new.
            if (event->type() == QEvent::Paint && window)
                QTimer::singleShot(0, qApp, [this, w = std::exchange(window, nullptr)] {
                    const double painted = secondsSince(start);
                    const auto checking = Clock::now();
                    w->refresh();
                    std::printf("%.6f %.6f\n", painted, secondsSince(checking));
                    QCoreApplication::exit(0);
                });
            return false;
        }
    } afterPaint;
    afterPaint.start = start;
    afterPaint.window = &window;
    window.plot().installEventFilter(&afterPaint);
    window.show();
    return QApplication::exec();
}

int frameRun(const fs::path& folder, int argc, char** argv) {
    using namespace rx47::history;
    RecordStore store(folder, userCacheFolder());
    store.refresh();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QImage image(1600, 900, QImage::Format_RGB32);
    const TimeSpan records = extent(store.minutes());
    TimeSpan view = records;
    std::vector<double> frames;
    // The first picture of a process loads the fonts; a window has done that before its first frame.
    {
        QPainter painter(&image);
        paintPlot(painter, image.rect(), {store.minutes(), view, {100.0, 0.5}, &store.index()});
    }
    // Zoom in notch by notch towards the middle, then drag across, then zoom out again.
    for (int i = 0; i < 60; ++i) {
        if (i < 20)
            view = zoomed(view, 0.8, 0.5, records);
        else if (i < 40)
            view = panned(view, view.length() / 10, records);
        else
            view = zoomed(view, 1.25, 0.3, records);
        const auto start = Clock::now();
        QPainter painter(&image);
        paintPlot(painter, image.rect(), {store.minutes(), view, {100.0, 0.5}, &store.index()});
        painter.end();
        frames.push_back(secondsSince(start));
    }
    std::sort(frames.begin(), frames.end());
    std::printf("%.6f %.6f\n", frames[frames.size() / 2], frames.back());
    return 0;
}

// ---- the parent ---------------------------------------------------------------------------------

struct Run {
    std::string out;
    double wall = 0;
    long peakKiB = 0;
};

Run spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Run run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wall = secondsSince(start);
    run.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "%s failed\n", argv[0]);
    return run;
}

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double median() const {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    double min() const { return *std::min_element(values.begin(), values.end()); }
    double max() const { return *std::max_element(values.begin(), values.end()); }
};

void print(const char* what, const Figures& f, const char* unit, double scale) {
    std::printf("  %-34s %9.1f %s   (%.1f .. %.1f)\n", what, f.median() * scale, unit, f.min() * scale,
                f.max() * scale);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--child") {
        const std::string mode = argv[2];
        if (mode == "floor") return floorRun(argv[3]);
        if (mode == "load") return loadRun(argv[3]);
        if (mode == "frames") return frameRun(argv[3], argc, argv);
        if (mode == "window") return windowRun(argv[3], argc, argv);
        // Records to look at with a profiler: --child write FOLDER YEARS.
        if (mode == "write" && argc >= 5) {
            writeRecords(argv[3], std::atol(argv[4]) * 525960, true);
            return 0;
        }
        return 2;
    }
    long lines = 525600;
    int rounds = 7;
    bool daily = false;
    std::string app;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--daily") {
            daily = true;
            continue;
        }
        if (i + 1 >= argc) break;
        if (option == "--lines") lines = std::atol(argv[i + 1]);
        if (option == "--years") lines = std::atol(argv[i + 1]) * 525960;
        if (option == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (option == "--app") app = argv[i + 1];
        ++i;
    }

    const fs::path folder = fs::temp_directory_path() / ("rx47-bench-history-" + std::to_string(::getpid()));
    const auto generating = Clock::now();
    writeRecords(folder, lines, daily);
    std::uintmax_t bytes = 0, files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "record"))
        if (entry.is_regular_file()) bytes += entry.file_size(), ++files;
    std::printf(
        "rx47-history over %ld minute records (%s; %ju files, %.1f MB), %d alternating rounds; written in "
        "%.1f s\n",
        lines, daily ? "master and daily files" : "master file", files, static_cast<double>(bytes) / 1e6, rounds,
        secondsSince(generating));

    // A file changed within the last two seconds has its time of change left out of the cache (it
    // could change again with the same time stamp); a user opens records that are older than that.
    ::sleep(3);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // The viewer's cache of the master file's minutes goes into the temporary folder too; each round
    // starts without it (the first read, which writes it) and then runs with it.
    ::setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    Figures textTime, textPeak, checkTime, floorTime, loadTime, ratio, floorPeak, loadPeak, frameMedian, frameWorst,
        framePeak, appTime, appPeak, coldAppTime, coldAppPeak, windowTime, windowPeak, coldWindowTime, coldWindowPeak,
        windowCheckTime;
    for (int r = 0; r < rounds; ++r) {
        const Run f = spawn({self, "--child", "floor", folder.string()});
        std::error_code ec;
        fs::remove_all(folder / "cache", ec);
        const Run t = spawn({self, "--child", "load", folder.string()});
        textTime.add(std::atof(t.out.c_str()));
        textPeak.add(static_cast<double>(t.peakKiB));
        // The program and its window, each the first to open the records (making the cache).
        if (!app.empty()) {
            fs::remove_all(folder / "cache", ec);
            const Run a = spawn({app, "--png", (folder / "year.png").string(), folder.string()});
            coldAppTime.add(a.wall);
            coldAppPeak.add(static_cast<double>(a.peakKiB));
        }
        fs::remove_all(folder / "cache", ec);
        const Run cw = spawn({self, "--child", "window", folder.string()});
        coldWindowTime.add(std::atof(cw.out.c_str()));
        coldWindowPeak.add(static_cast<double>(cw.peakKiB));
        const Run l = spawn({self, "--child", "load", folder.string()});
        const double ft = std::atof(f.out.c_str());
        double lt = 0, check = 0;
        std::sscanf(l.out.c_str(), "%lf %*u %*u %lf", &lt, &check);
        checkTime.add(check);
        floorTime.add(ft);
        loadTime.add(lt);
        ratio.add(lt / ft);
        floorPeak.add(static_cast<double>(f.peakKiB));
        loadPeak.add(static_cast<double>(l.peakKiB));
        const Run frames = spawn({self, "--child", "frames", folder.string()});
        double median = 0, worst = 0;
        std::sscanf(frames.out.c_str(), "%lf %lf", &median, &worst);
        frameMedian.add(median);
        frameWorst.add(worst);
        framePeak.add(static_cast<double>(frames.peakKiB));
        if (!app.empty()) {
            const Run a = spawn({app, "--png", (folder / "year.png").string(), folder.string()});
            appTime.add(a.wall);
            appPeak.add(static_cast<double>(a.peakKiB));
        }
        const Run w = spawn({self, "--child", "window", folder.string()});
        double painted = 0, windowCheck = 0;
        std::sscanf(w.out.c_str(), "%lf %lf", &painted, &windowCheck);
        windowTime.add(painted);
        windowCheckTime.add(windowCheck);
        windowPeak.add(static_cast<double>(w.peakKiB));
    }
    std::printf("  %-34s %9s      (%s)\n", "", "median", "range");
    print("floor: read the files once", floorTime, "ms", 1e3);
    print("first load, no cache (writes it)", textTime, "ms", 1e3);
    print("first load peak memory", textPeak, "MB", 1.0 / 1024);
    print("load + reduce to 1520 columns", loadTime, "ms", 1e3);
    print("ratio load / floor", ratio, "x ", 1);
    print("floor peak memory", floorPeak, "MB", 1.0 / 1024);
    print("load peak memory", loadPeak, "MB", 1.0 / 1024);
    print("check for new records, none new", checkTime, "ms", 1e3);
    print("one frame after zoom or pan", frameMedian, "ms", 1e3);
    print("slowest frame of 60", frameWorst, "ms", 1e3);
    print("60 frames: peak memory", framePeak, "MB", 1.0 / 1024);
    if (!app.empty()) {
        print("rx47-history --png, start to end", appTime, "ms", 1e3);
        print("rx47-history --png peak memory", appPeak, "MB", 1.0 / 1024);
        print("the same, first run (no cache)", coldAppTime, "ms", 1e3);
        print("its peak memory", coldAppPeak, "MB", 1.0 / 1024);
    }
    print("window: open to first paint", windowTime, "ms", 1e3);
    print("window peak memory", windowPeak, "MB", 1.0 / 1024);
    print("the same, first run (no cache)", coldWindowTime, "ms", 1e3);
    print("its peak memory", coldWindowPeak, "MB", 1.0 / 1024);
    print("window's check, nothing new", windowCheckTime, "ms", 1e3);
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
