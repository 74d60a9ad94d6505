// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace rx47sim {

namespace {

constexpr int kWindowSeconds = 60;
constexpr std::size_t kMaxPendingInput = 4096;  // a "line" longer than this is noise and is dropped
constexpr const char* kModelLine = "RX47 Radiation Counter V2.10";

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void setCloseOnExec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

/// The whole text as a number, or nothing.
std::optional<long> wholeNumber(const std::string& text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

std::string timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&t, &local);
    std::ostringstream out;
    out << std::put_time(&local, "%Y-%m-%d %H:%M:%S") << '.' << std::setw(3) << std::setfill('0') << ms;
    return out.str();
}

int poisson(std::mt19937& random, double mean) {
    if (!(mean > 0)) return 0;
    return std::poisson_distribution<int>(mean)(random);
}

}  // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)),
      random_(options_.seed),
      meanCpm_(options_.meanCpm),
      started_(Clock::now()),
      nextReading_(started_) {
    settings_.gms = options_.gms;
    settings_.atc = options_.atc;
    if (!(options_.intervalSeconds > 0)) throw std::invalid_argument("the reading interval must be positive");
    loadState();
    // A counter that has been counting for a while: the readings count over a whole minute from the
    // first one, never one second scaled up to a minute (a lone count in it would read 60 CPM).
    for (int second = 1; second < kWindowSeconds; ++second) {
        const int counts = poisson(random_, meanCpm_ / 60.0);
        window_.push_back(counts);
        totalCount_ += counts;
    }
    if (!options_.logFile.empty()) {
        std::error_code ec;
        if (options_.logFile.has_parent_path()) std::filesystem::create_directories(options_.logFile.parent_path(), ec);
        log_.open(options_.logFile, std::ios::app);
        if (!log_) throw std::runtime_error("cannot open the log file " + options_.logFile.string());
    }
    if (::pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) throwErrno("pipe");
    try {
        std::lock_guard lock(mutex_);
        openPty(options_.link);
    } catch (...) {
        closeFd(wakePipe_[0]);
        closeFd(wakePipe_[1]);
        throw;
    }
    // The first reading comes one interval after start, as on the real counter.
    nextReading_ =
        started_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.intervalSeconds));
    worker_ = std::thread(&Simulator::run, this);
}

Simulator::~Simulator() {
    stop();
}

void Simulator::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        stopping_ = true;
        wake();
    }
    if (worker_.joinable()) worker_.join();
    std::lock_guard lock(mutex_);
    closePty();
    closeFd(wakePipe_[0]);
    closeFd(wakePipe_[1]);
}

std::string Simulator::ptyPath() const {
    std::lock_guard lock(mutex_);
    return ptyPath_;
}

std::filesystem::path Simulator::linkPath() const {
    std::lock_guard lock(mutex_);
    return master_ >= 0 ? link_ : std::filesystem::path();
}

bool Simulator::isPlugged() const {
    std::lock_guard lock(mutex_);
    return master_ >= 0;
}

std::vector<std::string> Simulator::receivedLines() const {
    std::lock_guard lock(mutex_);
    return received_;
}

DeviceSettings Simulator::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

long long Simulator::totalCount() const {
    std::lock_guard lock(mutex_);
    return totalCount_;
}

bool Simulator::isStopped() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void Simulator::setMeanCpm(double cpm) {
    std::lock_guard lock(mutex_);
    meanCpm_ = std::max(0.0, cpm);
}

void Simulator::spike(double cpm, double seconds) {
    std::lock_guard lock(mutex_);
    spikeCpm_ = std::max(0.0, cpm);
    spikeEnd_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Simulator::silence(bool on) {
    std::lock_guard lock(mutex_);
    silent_ = on;
}

void Simulator::sendGarbage() {
    std::lock_guard lock(mutex_);
    std::string noise;
    const int length = std::uniform_int_distribution<int>(8, 24)(random_);
    std::uniform_int_distribution<int> byte(1, 255);
    while (static_cast<int>(noise.size()) < length) {
        const char c = static_cast<char>(byte(random_));
        if (c != ':') noise += c;  // keeps the noise from ever looking like a report tag
    }
    noise += "\xB0\xFF\x80";  // line noise is rarely plain ASCII
    noise += "\r\n-5\r\n";
    writeToDevice(noise);
}

void Simulator::sendRaw(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    writeToDevice(bytes);
}

void Simulator::unplug() {
    std::lock_guard lock(mutex_);
    closePty();
    wake();
}

void Simulator::plugIn(const std::filesystem::path& link) {
    std::lock_guard lock(mutex_);
    if (stopped_) throw std::logic_error("the simulator has been stopped");
    closePty();
    openPty(link.empty() ? link_ : link);
    wake();
}

void Simulator::run() {
    std::unique_lock lock(mutex_);
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.intervalSeconds));
    bool masterHungUp = false;
    unsigned polledPlug = plugCount_;
    while (!stopping_) {
        const auto now = Clock::now();
        generateCounts(now);
        if (now >= nextReading_) {
            const int reading = currentReading();
            if (!paused_ && !silent_) writeToDevice(std::to_string(reading) + "\r\n");
            nextReading_ += interval;
            if (nextReading_ <= now) nextReading_ = now + interval;  // after a long stall, no catch-up burst
        }
        if (plugCount_ != polledPlug) masterHungUp = false;  // replugged
        polledPlug = plugCount_;

        // Wake for the next reading, and at least once a second to count.
        const auto untilReading = std::chrono::ceil<std::chrono::milliseconds>(nextReading_ - Clock::now());
        const int timeout = static_cast<int>(std::clamp<long long>(untilReading.count(), 1, 1000));
        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        const nfds_t count = (master_ >= 0 && !masterHungUp) ? 2 : 1;

        lock.unlock();
        ::poll(fds, count, timeout);
        lock.lock();

        char drain[64];
        while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
        }
        if (count == 2 && plugCount_ == polledPlug && master_ >= 0) {
            if (fds[1].revents & POLLIN) readFromDevice();
            // Our own slave descriptor should keep hang-ups away; should one come anyway, stop polling
            // the master rather than spin on it.
            else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
                masterHungUp = true;
        }
    }
}

void Simulator::openPty(const std::filesystem::path& link) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) throwErrno("posix_openpt");
    int slave = -1;
    try {
        setCloseOnExec(master);
        if (::grantpt(master) != 0) throwErrno("grantpt");
        if (::unlockpt(master) != 0) throwErrno("unlockpt");
        char name[256];
        if (::ptsname_r(master, name, sizeof name) != 0) throwErrno("ptsname");
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) throwErrno(std::string("open ") + name);
        // Raw at once: a cooked line discipline would echo our input back and turn CR into LF before
        // any program opens the port.
        termios tio{};
        if (::tcgetattr(slave, &tio) != 0) throwErrno("tcgetattr");
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(slave, TCSANOW, &tio) != 0) throwErrno("tcsetattr");
        if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) throwErrno("fcntl");

        if (!link.empty()) {
            std::error_code ec;
            if (link.has_parent_path()) std::filesystem::create_directories(link.parent_path(), ec);
            if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
            std::filesystem::create_symlink(name, link);  // throws filesystem_error (a runtime_error)
        }
        master_ = master;
        slave_ = slave;
        ++plugCount_;
        ptyPath_ = name;
        link_ = link;
        pendingInput_.clear();
    } catch (...) {
        closeFd(slave);
        closeFd(master);
        throw;
    }
}

void Simulator::closePty() {
    if (master_ < 0) return;
    closeFd(master_);
    closeFd(slave_);
    if (!link_.empty()) {
        std::error_code ec;
        if (std::filesystem::is_symlink(link_, ec) && std::filesystem::read_symlink(link_, ec) == ptyPath_)
            std::filesystem::remove(link_, ec);
    }
    ptyPath_.clear();
}

void Simulator::writeToDevice(const std::string& bytes) {
    if (master_ < 0 || bytes.empty()) return;
    // Non-blocking: with nobody reading, the terminal's buffer fills and the rest is simply lost, as
    // it would be on a real line.
    const ssize_t written = ::write(master_, bytes.data(), bytes.size());
    (void)written;
}

void Simulator::readFromDevice() {
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        pendingInput_.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = pendingInput_.find_first_of("\r\n", start);
        if (end == std::string::npos) break;
        if (end > start) handleLine(pendingInput_.substr(start, end - start));
        start = end + 1;
    }
    pendingInput_.erase(0, start);
    if (pendingInput_.size() > kMaxPendingInput) pendingInput_.clear();
}

void Simulator::handleLine(const std::string& line) {
    received_.push_back(line);
    logLine(line);

    const std::string command = trimmed(line);
    if (command == "show") {
        if (!silent_) writeToDevice(statusReport());
    } else if (command == "save") {
        saveState();
    } else if (command == "stop") {
        paused_ = true;
    } else if (command == "go") {
        paused_ = false;
    } else if (command.rfind("set ", 0) == 0) {
        const std::string assignment = trimmed(command.substr(4));
        const auto equals = assignment.find('=');
        if (equals == std::string::npos) return;
        const std::string name = trimmed(assignment.substr(0, equals));
        const std::string value = trimmed(assignment.substr(equals + 1));
        if (name == "ttc") {
            if (value == "0") totalCount_ = 0;
        } else if (name == "snd") {
            if (value == "on") settings_.sound = true;
            if (value == "off") settings_.sound = false;
        } else if (name == "atc" || name == "gms") {
            const auto number = wholeNumber(value);
            if (!number || *number < 0 || *number > 99999) return;
            (name == "atc" ? settings_.atc : settings_.gms) = static_cast<int>(*number);
        }
    }
}

void Simulator::generateCounts(Clock::time_point now) {
    // Second k is counted as it begins, so a reading right at start already has one second to show.
    const long long due = std::chrono::duration_cast<std::chrono::seconds>(now - started_).count() + 1;
    if (due - secondsGenerated_ > 2 * kWindowSeconds) secondsGenerated_ = due - kWindowSeconds;
    const bool spiking = now < spikeEnd_;
    for (; secondsGenerated_ < due; ++secondsGenerated_) {
        const int counts = poisson(random_, (spiking ? spikeCpm_ : meanCpm_) / 60.0);
        window_.push_back(counts);
        if (window_.size() > kWindowSeconds) window_.pop_front();
        totalCount_ += counts;
    }
}

int Simulator::currentReading() {
    // While a burst lasts the counter shows its rate at once; afterwards the burst's seconds drain out
    // of the window.
    if (Clock::now() < spikeEnd_) return poisson(random_, spikeCpm_);
    if (window_.empty()) return 0;
    long long sum = 0;
    for (int c : window_) sum += c;
    return static_cast<int>(std::llround(static_cast<double>(sum) * kWindowSeconds / window_.size()));
}

std::string Simulator::statusReport() const {
    std::string report;
    report += kModelLine;
    report += "\r\n";
    report += "gms:" + std::to_string(settings_.gms) + "\r\n";
    report += "atc:" + std::to_string(settings_.atc) + "\r\n";
    report += std::string("snd:") + (settings_.sound ? "on" : "off") + "\r\n";
    report += "ttc:" + std::to_string(totalCount_) + "\r\n";
    return report;
}

void Simulator::loadState() {
    if (options_.stateFile.empty()) return;
    std::ifstream in(options_.stateFile);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        if (name == "snd") {
            settings_.sound = value != "off";
        } else if (const auto number = wholeNumber(value); number && (name == "gms" || name == "atc")) {
            (name == "gms" ? settings_.gms : settings_.atc) = static_cast<int>(*number);
        }
    }
}

void Simulator::saveState() const {
    if (options_.stateFile.empty()) return;
    // Written beside the old file and renamed over it, so a reader never sees half a file.
    const auto temporary = options_.stateFile.string() + ".new";
    std::error_code ec;
    if (options_.stateFile.has_parent_path()) std::filesystem::create_directories(options_.stateFile.parent_path(), ec);
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "gms=" << settings_.gms << "\natc=" << settings_.atc << "\nsnd=" << (settings_.sound ? "on" : "off")
            << "\n";
        if (!out.flush()) return;
    }
    std::filesystem::rename(temporary, options_.stateFile, ec);
}

void Simulator::logLine(const std::string& line) {
    if (!log_.is_open()) return;
    log_ << timestamp() << ' ' << line << '\n';
    log_.flush();
}

void Simulator::wake() {
    if (wakePipe_[1] < 0) return;
    const char byte = 1;
    const ssize_t written = ::write(wakePipe_[1], &byte, 1);  // a full pipe already means "wake up"
    (void)written;
}

}  // namespace rx47sim
