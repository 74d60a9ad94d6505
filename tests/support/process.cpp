// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "support/file_checks.h"

extern char** environ;

namespace rx47::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

namespace {

std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> result;
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool changed = false;
        for (const auto& change : changes) changed = changed || nameOf(change) == nameOf(entry);
        if (!changed) result.push_back(entry);
    }
    for (const auto& change : changes)
        if (change.find('=') != std::string::npos) result.push_back(change);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

pid_t startChild(const char* path, char* const argv[], char* const envp[], int input, int output,
                 const std::function<bool()>& beforeExec) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Only calls that are safe in a copy of a threaded process until the exec.
    if (input >= 0) ::dup2(input, STDIN_FILENO);
    if (output >= 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
    }
    if (beforeExec && !beforeExec()) ::_exit(126);
    // Ends with the test, also when the test is killed (a timeout): after any change of user,
    // which would clear it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    ::execve(path, argv, envp);
    ::_exit(127);
}

Process::Process(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    static std::atomic<int> counter{0};
    outputFile_ = fs::temp_directory_path() /
                  ("rx47-output-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".txt");
    std::vector<std::string> args = arguments;
    std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int output = ::open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (input >= 0 && output >= 0) pid_ = startChild(argv[0], argv.data(), envp.data(), input, output);
    if (input >= 0) ::close(input);
    if (output >= 0) ::close(output);
}

Process::~Process() {
    std::error_code ec;
    fs::remove(outputFile_, ec);
}

std::string Process::output() const {
    return bytesOf(outputFile_);
}

Child::~Child() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool Child::running() {
    if (pid_ <= 0 || exited_) return false;
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return !exited_;
}

bool Child::waitForExit(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return pid_ > 0;
}

bool Child::endWith(int signal, std::chrono::milliseconds timeout) {
    if (!running()) return pid_ > 0;
    ::kill(pid_, signal);
    return waitForExit(timeout);
}

int Child::exitCode() const {
    return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int Child::endSignal() const {
    return exited_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
}

Finished runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                    std::chrono::milliseconds timeout) {
    Process process(arguments, environment);
    Finished finished;
    if (process.waitForExit(timeout)) finished.exitCode = process.exitCode();
    finished.output = process.output();
    return finished;
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

}  // namespace rx47::test
