// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Programs run by the tests as a user runs them: by path, with a changed environment, their output
// kept in a file, ended by a signal to their own PID.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rx47::test {

/// Whether `done` came true within the timeout (asked every tenth of a second).
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// Starts `path` with its standard input from `input` and its output and error to `output` (-1:
/// the test's own); `beforeExec` runs in the child first (false ends it). The child is killed when
/// the test ends, also by a signal. Returns its PID, -1 when it could not be made.
pid_t startChild(const char* path, char* const argv[], char* const envp[], int input, int output,
                 const std::function<bool()>& beforeExec = {});

/// A child process of the test's, killed when this goes away if it still runs.
class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    /// Whether it still runs (reaps it when it has ended).
    bool running();
    bool waitForExit(std::chrono::milliseconds timeout);
    /// Sends the signal and waits for the end.
    bool endWith(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    /// The exit code, or -1 when it was ended by a signal (or still runs).
    int exitCode() const;
    /// The signal that ended it, 0 when none did.
    int endSignal() const;

protected:
    pid_t pid_ = -1;

private:
    bool exited_ = false;
    int status_ = 0;
};

/// A program started in the background. Its standard output and error go to one file.
class Process : public Child {
public:
    /// `environment`: "NAME=value" entries that replace or add to the test's own; "NAME" alone
    /// removes a variable.
    explicit Process(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});
    ~Process();

    /// What it wrote so far.
    std::string output() const;

private:
    std::filesystem::path outputFile_;
};

/// A TCP port on 127.0.0.1 that nothing listens on just now (0 when none could be found).
int freeLoopbackPort();

/// Runs a program to its end (at most `timeout`); its exit code and output.
struct Finished {
    int exitCode = -1;
    std::string output;
};
Finished runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                    std::chrono::milliseconds timeout = std::chrono::minutes(5));

}  // namespace rx47::test
