#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

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

Process::Process(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    static std::atomic<int> counter{0};
    outputFile_ = fs::temp_directory_path() /
                  ("rx47-output-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".txt");
    std::vector<std::string> args = arguments;
    std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove(outputFile_, ec);
}

bool Process::waitForExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return false;
    return waitFor(
        [&] {
            if (!exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
            return exited_;
        },
        timeout);
}

bool Process::endWith(int signal, std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return false;
    if (!exited_) ::kill(pid_, signal);
    return waitForExit(timeout);
}

int Process::exitCode() const {
    return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string Process::output() const {
    std::ifstream in(outputFile_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Finished runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                    std::chrono::milliseconds timeout) {
    Process process(arguments, environment);
    Finished finished;
    if (process.waitForExit(timeout)) finished.exitCode = process.exitCode();
    finished.output = process.output();
    return finished;
}

}  // namespace rx47::test
