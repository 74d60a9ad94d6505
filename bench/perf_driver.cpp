// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-perf: measures the monitor from outside, beside the floor (a bare Qt Widgets program that
// opens the same pseudo-terminal), and prints one table. Run by bench/perf, which provides the X
// display and its window manager. Program and floor take turns (the order alternates each round),
// each in a temporary program folder of its own; every figure is a median with its range. Nothing
// is asserted: the machine is shared and noisy.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "model/main_form.h"
#include "monitor/minute_update.h"
#include "storage/records.h"
#include "support/process.h"
#include "support/program_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// ---- options ----

struct Options {
    fs::path program, floor, sim, settings, sound;
    fs::path work = fs::temp_directory_path();
    int rounds = 5;      // alternations of the run-time figures
    int starts = 10;     // alternations of the start-up figure
    double minutes = 2;  // each of visible and minimised
    double floodSeconds = 60;
    double afterFloodSeconds = 10;
    int appendRounds = 200;
    std::vector<std::string> only;  // figure groups to run; empty: all
};

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr,
                 "rx47-perf: %s\n"
                 "usage: rx47-perf --program PATH --floor PATH --sim PATH --settings RX47.dat [--sound RX47.wav]\n"
                 "                 [--rounds N] [--starts N] [--minutes M] [--flood-seconds S]\n"
                 "                 [--append-rounds N] [--work DIR] [--only start,run,flood,append]\n",
                 message.c_str());
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) usage("missing value after " + name);
        const std::string value = argv[++i];
        if (name == "--program")
            o.program = value;
        else if (name == "--floor")
            o.floor = value;
        else if (name == "--sim")
            o.sim = value;
        else if (name == "--settings")
            o.settings = value;
        else if (name == "--sound")
            o.sound = value;
        else if (name == "--work")
            o.work = value;
        else if (name == "--rounds")
            o.rounds = std::stoi(value);
        else if (name == "--starts")
            o.starts = std::stoi(value);
        else if (name == "--minutes")
            o.minutes = std::stod(value);
        else if (name == "--flood-seconds")
            o.floodSeconds = std::stod(value);
        else if (name == "--append-rounds")
            o.appendRounds = std::stoi(value);
        else if (name == "--only") {
            std::stringstream list(value);
            for (std::string item; std::getline(list, item, ',');) o.only.push_back(item);
        } else
            usage("unknown option " + name);
    }
    if (o.program.empty() || o.floor.empty() || o.sim.empty() || o.settings.empty()) usage("missing paths");
    // The program does its per-minute work at each minute's start: a window of whole minutes holds
    // it once a minute, as a long run does, wherever the window begins.
    o.minutes = std::max(1.0, std::ceil(o.minutes));
    return o;
}

bool wanted(const Options& o, const std::string& group) {
    return o.only.empty() || std::find(o.only.begin(), o.only.end(), group) != o.only.end();
}

// ---- processes and /proc ----

/// Starts a program; what it writes goes to `outputPath` (its log lines stay out of the table). It
/// ends with the driver, also when the driver is killed.
pid_t spawn(const std::vector<std::string>& args, const std::string& outputPath = "/dev/null") {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid =
        output >= 0 && input >= 0 ? rx47::test::startChild(argv[0], argv.data(), environ, input, output) : -1;
    const int error = errno;
    if (output >= 0) ::close(output);
    if (input >= 0) ::close(input);
    if (pid < 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
    return pid;
}

/// Ends a process we started and waits for it (SIGKILL when SIGTERM is not enough).
void end(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const auto deadline = SteadyClock::now() + 20s;
    while (SteadyClock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

/// CPU time of all the process's threads, nanoseconds (the scheduler's own account, not ticks).
double cpuNs(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns) total += ns;
    }
    return total;
}

/// Wake-ups of all the process's threads so far: their voluntary and involuntary context switches.
double wakeUps(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::strtod(line.c_str() + line.find(':') + 1, nullptr);
    }
    return total;
}

struct Memory {
    double rssKiB = 0, pssKiB = 0;
};

Memory memory(pid_t pid) {
    Memory m;
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        double kib = 0;
        if (!(fields >> key >> kib)) continue;
        if (key == "Rss:") m.rssKiB = kib;
        if (key == "Pss:") m.pssKiB = kib;
    }
    return m;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        ::pclose(p);
    }
    return out;
}

/// The process's visible top-level windows on the display.
std::vector<std::string> windowsOf(pid_t pid) {
    std::vector<std::string> ids;
    std::stringstream lines(run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
    for (std::string id; std::getline(lines, id);)
        if (!id.empty()) ids.push_back(id);
    return ids;
}

/// Minimises the process's windows through the window manager; whether every one ended iconic.
bool minimise(pid_t pid) {
    const auto ids = windowsOf(pid);
    for (const auto& id : ids) run("xdotool windowminimize " + id);
    std::this_thread::sleep_for(1s);
    bool iconic = !ids.empty();
    for (const auto& id : ids)
        iconic = iconic && run("xprop -id " + id + " WM_STATE").find("Iconic") != std::string::npos;
    return iconic;
}

// ---- figures ----

struct Series {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double median() const {
        if (values.empty()) return 0;
        auto v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

struct Row {
    std::string figure, unit, target;
    Series program, floor;
    int decimals = 1;
    bool noRatio = false;  // the figure is itself a ratio or a change: its columns are not compared
};

std::deque<Row> rows;  // rows are referred to while more are added
Series loads;          // the machine's 1-minute load average at the start of each round

void sampleLoad() {
    std::ifstream in("/proc/loadavg");
    double load = 0;
    if (in >> load) loads.add(load);
}

Row& row(const std::string& figure, const std::string& unit, int decimals, const std::string& target = "") {
    for (auto& r : rows)
        if (r.figure == figure) return r;
    rows.push_back(Row{figure, unit, target, {}, {}, decimals});
    return rows.back();
}

std::string cell(const Series& s, int decimals) {
    if (s.values.empty()) return "-";
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.*f (%.*f–%.*f)", decimals, s.median(), decimals, s.min(), decimals,
                  s.max());
    return buffer;
}

void printTable() {
    std::printf("\n| figure | program | floor | ratio | target |\n|---|---|---|---|---|\n");
    for (const Row& r : rows) {
        std::string ratio = "-";
        if (!r.noRatio && !r.program.values.empty() && !r.floor.values.empty() && r.floor.median() != 0) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.2f×", r.program.median() / r.floor.median());
            ratio = buffer;
        }
        std::printf("| %s (%s) | %s | %s | %s | %s |\n", r.figure.c_str(), r.unit.c_str(),
                    cell(r.program, r.decimals).c_str(), cell(r.floor, r.decimals).c_str(), ratio.c_str(),
                    r.target.c_str());
    }
    std::printf("\nmedian (lowest–highest) of every round; ratio = program median ÷ floor median\n");
    if (!loads.values.empty())
        std::printf("load average (1 minute) at the rounds' starts: median %.2f (%.2f–%.2f)\n", loads.median(),
                    loads.min(), loads.max());
    std::fflush(stdout);
}

// ---- program folders ----

enum class Kind { Program, Floor };
const char* name(Kind k) {
    return k == Kind::Program ? "program" : "floor";
}

struct Folder {
    fs::path path;
    fs::path executable;
};

Folder makeFolder(const Options& o, Kind kind, const std::string& label) {
    char pattern[4096];
    std::snprintf(pattern, sizeof pattern, "%s/rx47-perf-%s-XXXXXX", o.work.c_str(), label.c_str());
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder in " + o.work.string());
    Folder f{pattern, {}};
    const fs::path source = kind == Kind::Program ? o.program : o.floor;
    f.executable = f.path / source.filename();
    fs::copy_file(source, f.executable);
    if (kind == Kind::Program) {
        fs::copy_file(o.settings, f.path / "RX47.dat");
        if (!o.sound.empty() && fs::exists(o.sound)) fs::copy_file(o.sound, f.path / "RX47.wav");
    }
    fs::create_directories(f.path / "ports");
    return f;
}

/// The simulator on a folder's COM1, one reading a second, its received lines logged.
struct Simulator {
    Simulator(const Options& o, const Folder& f) : log(f.path / "sim.log") {
        pid = spawn({o.sim.string(), "--link", (f.path / "ports" / "COM1").string(), "--interval", "1", "--cpm", "25",
                     "--seed", "47", "--log", log.string()});
        const auto deadline = SteadyClock::now() + 10s;
        while (!fs::exists(f.path / "ports" / "COM1") && SteadyClock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    }
    ~Simulator() { end(pid); }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// The wall-clock times (ms since the epoch) at which the simulator logged "show".
    std::vector<double> shows() const {
        std::vector<double> times;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            if (line.size() < 24 || line.substr(24) != "show") continue;
            std::tm t{};
            int ms = 0;
            if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d.%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                            &t.tm_min, &t.tm_sec, &ms) != 7)
                continue;
            t.tm_year -= 1900;
            t.tm_mon -= 1;
            t.tm_isdst = -1;
            times.push_back(static_cast<double>(std::mktime(&t)) * 1000 + ms);
        }
        return times;
    }
    /// Waits for the n-th "show" (0-based); its time, or nothing after the timeout.
    std::optional<double> waitForShow(std::size_t n, std::chrono::milliseconds timeout) const {
        const auto deadline = SteadyClock::now() + timeout;
        while (SteadyClock::now() < deadline) {
            const auto t = shows();
            if (t.size() > n) return t[n];
            std::this_thread::sleep_for(1ms);
        }
        return std::nullopt;
    }

    fs::path log;
    pid_t pid = -1;
};

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void sleepSeconds(double s) {
    std::this_thread::sleep_for(std::chrono::duration<double>(s));
}

// ---- start → first "show" ----

void measureStart(const Options& o) {
    std::map<Kind, Folder> folders{{Kind::Program, makeFolder(o, Kind::Program, "start")},
                                   {Kind::Floor, makeFolder(o, Kind::Floor, "start")}};
    std::map<Kind, std::unique_ptr<Simulator>> sims;
    for (auto& [kind, folder] : folders) sims[kind] = std::make_unique<Simulator>(o, folder);
    Row& r = row("start → first \"show\" at the device", "ms", 1, "≤ 1.2×");
    for (int i = 0; i < o.starts; ++i) {
        sampleLoad();
        for (Kind kind : i % 2 ? std::vector{Kind::Floor, Kind::Program} : std::vector{Kind::Program, Kind::Floor}) {
            const Simulator& sim = *sims[kind];
            const std::size_t before = sim.shows().size();
            const double t0 = wallMs();
            const pid_t pid = spawn({folders[kind].executable.string()}, (folders[kind].path / "output.log").string());
            const auto shown = sim.waitForShow(before, 20s);
            end(pid);
            if (!shown) {
                std::fprintf(stderr, "rx47-perf: the %s sent no \"show\"\n", name(kind));
                continue;
            }
            (kind == Kind::Program ? r.program : r.floor).add(*shown - t0);
            std::this_thread::sleep_for(300ms);
        }
    }
    sims.clear();
    for (auto& [kind, folder] : folders) fs::remove_all(folder.path);
    std::printf("start → show: %s program, %s floor\n", cell(r.program, 1).c_str(), cell(r.floor, 1).c_str());
    std::fflush(stdout);
}

// ---- at rest: one reading a second, visible then minimised ----

void measureRun(const Options& o) {
    Row& startRss = row("resident memory at start", "MiB", 1, "≤ 1.3×");
    Row& startPss = row("proportional memory at start", "MiB", 1);
    Row& visible = row("CPU at one reading a second, visible", "% of a core", 3, "≤ 3×");
    Row& minimised = row("CPU at one reading a second, minimised", "% of a core", 3, "≤ 1.5×");
    Row& visibleWakes = row("wake-ups at one reading a second, visible (all threads)", "per s", 2, "≤ 1.5×");
    Row& minimisedWakes = row("wake-ups at one reading a second, minimised (all threads)", "per s", 2, "≤ 1.5 per s");
    Row& endRss = row("resident memory after the minutes", "MiB", 1, "≤ 1.3×");
    Row& endPss = row("proportional memory after the minutes", "MiB", 1);
    const double seconds = o.minutes * 60;
    for (int i = 0; i < o.rounds; ++i) {
        sampleLoad();
        for (Kind kind : i % 2 ? std::vector{Kind::Floor, Kind::Program} : std::vector{Kind::Program, Kind::Floor}) {
            const Folder folder = makeFolder(o, kind, "run");
            const auto pick = [kind](Row& r) -> Series& { return kind == Kind::Program ? r.program : r.floor; };
            {
                Simulator sim(o, folder);
                const pid_t pid = spawn({folder.executable.string()}, (folder.path / "output.log").string());
                sim.waitForShow(0, 20s);
                sleepSeconds(5);  // the splash is gone, the one-second cycle runs
                const Memory m0 = memory(pid);
                pick(startRss).add(m0.rssKiB / 1024);
                pick(startPss).add(m0.pssKiB / 1024);

                double c0 = cpuNs(pid);
                double w0 = wakeUps(pid);
                auto t0 = SteadyClock::now();
                sleepSeconds(seconds);
                double c1 = cpuNs(pid);
                double w1 = wakeUps(pid);
                double elapsed = std::chrono::duration<double>(SteadyClock::now() - t0).count();
                pick(visible).add((c1 - c0) / 1e9 / elapsed * 100);
                pick(visibleWakes).add((w1 - w0) / elapsed);

                if (!minimise(pid)) std::fprintf(stderr, "rx47-perf: the %s's window did not minimise\n", name(kind));
                sleepSeconds(2);
                c0 = cpuNs(pid);
                w0 = wakeUps(pid);
                t0 = SteadyClock::now();
                sleepSeconds(seconds);
                c1 = cpuNs(pid);
                w1 = wakeUps(pid);
                elapsed = std::chrono::duration<double>(SteadyClock::now() - t0).count();
                pick(minimised).add((c1 - c0) / 1e9 / elapsed * 100);
                pick(minimisedWakes).add((w1 - w0) / elapsed);
                const Memory m1 = memory(pid);
                pick(endRss).add(m1.rssKiB / 1024);
                pick(endPss).add(m1.pssKiB / 1024);
                if (!running(pid)) std::fprintf(stderr, "rx47-perf: the %s ended early\n", name(kind));
                end(pid);
            }
            fs::remove_all(folder.path);
            std::printf(
                "round %d %s: visible %.3f %% %.2f wake-ups/s, minimised %.3f %% %.2f wake-ups/s, rss %.1f → "
                "%.1f MiB\n",
                i + 1, name(kind), pick(visible).values.back(), pick(visibleWakes).values.back(),
                pick(minimised).values.back(), pick(minimisedWakes).values.back(), pick(startRss).values.back(),
                pick(endRss).values.back());
            std::fflush(stdout);
        }
    }
}

// ---- a flood of readings ----

/// A pseudo-terminal of the driver's own, linked as a folder's COM1, that writes as fast as the
/// reader takes and drains what the program sends.
struct FloodLine {
    explicit FloodLine(const fs::path& link) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[256];
        ::ptsname_r(master, name, sizeof name);
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        fs::create_symlink(name, link);
    }
    ~FloodLine() {
        ::close(master);
        ::close(slave);
    }
    FloodLine(const FloodLine&) = delete;
    FloodLine& operator=(const FloodLine&) = delete;

    /// Reads what the program sent; whether it holds "show".
    bool drain() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<std::size_t>(n));
        return received.find("show") != std::string::npos;
    }

    /// Writes readings for `seconds`, as fast as the other side takes them; the bytes written.
    double flood(double seconds) {
        std::string block;
        while (block.size() < 65536) block += "25\r\n";
        const auto deadline = SteadyClock::now() +
                              std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
        double bytes = 0;
        std::size_t at = 0;
        while (SteadyClock::now() < deadline) {
            pollfd fd{master, POLLOUT | POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) continue;
            if (fd.revents & POLLIN) drain();
            if (!(fd.revents & POLLOUT)) continue;
            const ssize_t n = ::write(master, block.data() + at, block.size() - at);
            if (n > 0) {
                bytes += static_cast<double>(n);
                at += static_cast<std::size_t>(n);
                if (at == block.size()) at = 0;  // the block holds whole readings
            }
        }
        return bytes;
    }

    int master = -1, slave = -1;
    std::string received;
};

void measureFlood(const Options& o) {
    Row& rate = row("flood: bytes taken in", "MB/s", 2, "≥ 0.8×");
    Row& cpu = row("flood: CPU per megabyte", "ms/MB", 2);
    Row& before = row("flood: resident memory before", "MiB", 1);
    Row& atEnd = row("flood: resident memory at the end", "MiB", 1);
    Row& after = row("flood: resident memory 10 s after", "MiB", 1);
    Row& growth = row("flood: resident memory 10 s after, change from before", "%", 1, "within 10 %");
    growth.noRatio = true;
    for (int i = 0; i < o.rounds; ++i) {
        sampleLoad();
        for (Kind kind : i % 2 ? std::vector{Kind::Floor, Kind::Program} : std::vector{Kind::Program, Kind::Floor}) {
            const Folder folder = makeFolder(o, kind, "flood");
            const auto pick = [kind](Row& r) -> Series& { return kind == Kind::Program ? r.program : r.floor; };
            {
                FloodLine line(folder.path / "ports" / "COM1");
                const pid_t pid = spawn({folder.executable.string()}, (folder.path / "output.log").string());
                const auto deadline = SteadyClock::now() + 20s;
                while (!line.drain() && SteadyClock::now() < deadline) std::this_thread::sleep_for(5ms);
                sleepSeconds(5);
                const Memory m0 = memory(pid);
                const double c0 = cpuNs(pid);
                const auto t0 = SteadyClock::now();
                const double bytes = line.flood(o.floodSeconds);
                const double elapsed = std::chrono::duration<double>(SteadyClock::now() - t0).count();
                const double c1 = cpuNs(pid);
                const Memory m1 = memory(pid);
                // Ten seconds with nothing arriving, the line kept drained.
                const auto quiet = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                            std::chrono::duration<double>(o.afterFloodSeconds));
                while (SteadyClock::now() < quiet) {
                    line.drain();
                    std::this_thread::sleep_for(50ms);
                }
                const Memory m2 = memory(pid);
                pick(rate).add(bytes / 1e6 / elapsed);
                pick(cpu).add((c1 - c0) / 1e6 / (bytes / 1e6));
                pick(before).add(m0.rssKiB / 1024);
                pick(atEnd).add(m1.rssKiB / 1024);
                pick(after).add(m2.rssKiB / 1024);
                pick(growth).add((m2.rssKiB / m0.rssKiB - 1) * 100);
                if (!running(pid)) std::fprintf(stderr, "rx47-perf: the %s ended during the flood\n", name(kind));
                end(pid);
            }
            fs::remove_all(folder.path);
            std::printf("round %d %s: %.2f MB/s, %.2f ms/MB, rss %.1f / %.1f / %.1f MiB\n", i + 1, name(kind),
                        pick(rate).values.back(), pick(cpu).values.back(), pick(before).values.back(),
                        pick(atEnd).values.back(), pick(after).values.back());
            std::fflush(stdout);
        }
    }
}

// ---- the per-minute record append ----

/// A program folder whose master record is empty or a real 1 GB file (allocated, not sparse).
struct RecordFolder {
    explicit RecordFolder(bool large) {
        m.setSetting("dailyrecord", std::int64_t{0});
        m.state.monthFolder = rx47::monthFolderName(m.clock.time);
        rx47::createRecordFolders(m.folder.path(), m.state.monthFolder);
        master = m.folder.path() / rx47::kRecordFolder / rx47::kMasterRecordFile;
        floorFile = m.folder.path() / "floor.csv";
        for (const auto& file : {master, floorFile}) {
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (large && ::posix_fallocate(fd, 0, off_t{1} << 30) != 0) throw std::runtime_error("no room for 1 GB");
            ::fsync(fd);
            ::close(fd);
        }
        for (int i : {rx47::kTotalCount, rx47::kRunningCpm, rx47::kAverageCpm, rx47::kMaxCpm, rx47::kMinCpm})
            m.form.Label[i].caption = "25";
        for (int i : {rx47::kRunningDose, rx47::kAverageDose, rx47::kMaxDose, rx47::kMinDose})
            m.form.Label[i].caption = "0.208";
    }
    rx47::test::TestMonitor m;
    fs::path master, floorFile;
};

double timedMs(const std::function<void()>& f) {
    const auto t0 = SteadyClock::now();
    f();
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
}

void measureAppend(const Options& o) {
    RecordFolder empty(false), large(true);
    Row& e = row("record append, empty master file", "ms", 3);
    Row& l = row("record append, 1 GB master file", "ms", 3);
    Row& ratio = row("record append: 1 GB ÷ empty", "ratio", 2, "program ≤ 1.2");
    const std::string bytes = "2026-05-07,09:05:00,25,25,0.208,25,0.208,25,0.208,25,0.208\r\n";
    // The floor appends the line and syncs it to the disk, as the program does with every record.
    const auto floorAppend = [&](const fs::path& file) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        [[maybe_unused]] const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        ::fsync(fd);
        ::close(fd);
    };
    Series programEmpty, programLarge, floorEmpty, floorLarge;
    for (int i = 0; i < o.appendRounds; ++i) {
        const bool largeFirst = i % 2;
        for (int k = 0; k < 2; ++k) {
            RecordFolder& f = (k == 0) == largeFirst ? large : empty;
            const double p = timedMs([&] { rx47::writeMeasurementRecord(f.m.ctx); });
            const double q = timedMs([&] { floorAppend(f.floorFile); });
            (&f == &large ? programLarge : programEmpty).add(p);
            (&f == &large ? floorLarge : floorEmpty).add(q);
        }
    }
    e.program = programEmpty;
    e.floor = floorEmpty;
    l.program = programLarge;
    l.floor = floorLarge;
    // Per round pair: the ratio of the two neighbouring appends.
    for (std::size_t i = 0; i < programLarge.values.size(); ++i) {
        ratio.program.add(programLarge.values[i] / programEmpty.values[i]);
        ratio.floor.add(floorLarge.values[i] / floorEmpty.values[i]);
    }
    ratio.noRatio = true;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    ::signal(SIGPIPE, SIG_IGN);
    try {
        if (wanted(o, "start")) measureStart(o);
        if (wanted(o, "run")) measureRun(o);
        if (wanted(o, "flood")) measureFlood(o);
        if (wanted(o, "append")) measureAppend(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rx47-perf: %s\n", e.what());
        printTable();
        return 1;
    }
    printTable();
    return 0;
}
