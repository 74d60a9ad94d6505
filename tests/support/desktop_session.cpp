// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/desktop_session.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

namespace rx47::test {

using namespace std::chrono_literals;

DesktopSession::DesktopSession() {
    // The server writes its display number to a pipe once it accepts clients.
    int ready[2];
    if (::pipe(ready) != 0) return;
    server_ = std::make_unique<Process>(std::vector<std::string>{
        "/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    ::close(ready[1]);
    std::string number;
    char c = 0;
    while (server_->started() && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    windowManager_ = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/openbox", "--sm-disable"},
                                               std::vector<std::string>{"DISPLAY=" + display_});
    if (!windowManager_->started()) return;
    // The window manager is up once it names itself on the root window.
    for (int i = 0; i < 200 && !ready_; ++i) {
        ready_ = run("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos;
        if (!ready_) std::this_thread::sleep_for(50ms);
    }
}

DesktopSession::~DesktopSession() {
    for (Process* p : {windowManager_.get(), server_.get()})
        if (p) p->endWith(SIGTERM, 2s);  // killed after that
}

std::string DesktopSession::run(const std::string& command) const {
    return runProgram({"/bin/sh", "-c", command + " 2>/dev/null"}, {"DISPLAY=" + display_}).output;
}

void DesktopSession::movePointer(int x, int y) const {
    run("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y));
}

std::vector<unsigned long> DesktopSession::windowsNamed(const std::string& pattern) const {
    std::istringstream ids(run("xdotool search --name '" + pattern + "'"));
    std::vector<unsigned long> windows;
    for (unsigned long id; ids >> id;) windows.push_back(id);
    return windows;
}

DesktopSession::Frame DesktopSession::frameOf(unsigned long window) const {
    const std::string id = std::to_string(window);
    static const std::regex extents(R"(_NET_FRAME_EXTENTS\(CARDINAL\) = (\d+), (\d+), (\d+), (\d+))");
    static const std::regex x(R"(Absolute upper-left X:\s+(-?\d+))"), y(R"(Absolute upper-left Y:\s+(-?\d+))");
    static const std::regex w(R"(Width:\s+(\d+))"), h(R"(Height:\s+(\d+))");
    const std::string props = run("xprop -id " + id + " _NET_FRAME_EXTENTS");
    const std::string info = run("xwininfo -id " + id);
    std::smatch e, mx, my, mw, mh;
    if (!std::regex_search(props, e, extents) || !std::regex_search(info, mx, x) || !std::regex_search(info, my, y) ||
        !std::regex_search(info, mw, w) || !std::regex_search(info, mh, h))
        return {};
    const int left = std::stoi(e[1]), right = std::stoi(e[2]), top = std::stoi(e[3]), bottom = std::stoi(e[4]);
    return {std::stoi(mx[1]) - left, std::stoi(my[1]) - top, std::stoi(mw[1]) + left + right,
            std::stoi(mh[1]) + top + bottom};
}

std::string DesktopSession::wmState(unsigned long window) const {
    static const std::regex state("window state: (\\w+)");
    const std::string out = run("xprop -id " + std::to_string(window) + " WM_STATE");
    std::smatch match;
    return std::regex_search(out, match, state) ? match[1].str() : std::string();
}

}  // namespace rx47::test
