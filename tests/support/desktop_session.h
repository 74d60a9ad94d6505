// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A desktop of its own for one test program: a virtual X server with a real window manager
// (openbox), so that what the window manager decides (placement, frames, minimising) and what real
// pointer input does (XTest, through xdotool) is tested as users meet it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/process.h"

namespace rx47::test {

class DesktopSession {
public:
    /// Starts Xvfb on a free display and openbox on it, and waits until the window manager is up.
    DesktopSession();
    /// Ends openbox and the X server, by their PIDs.
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool ready() const { return ready_; }
    /// ":12", for DISPLAY.
    const std::string& display() const { return display_; }

    /// Runs a command on this display and returns what it printed (empty on failure).
    std::string run(const std::string& command) const;
    /// Moves the pointer to a place on the screen, as a user's hand would (XTest).
    void movePointer(int x, int y) const;
    /// The ids of the top-level windows whose title matches a regular expression.
    std::vector<unsigned long> windowsNamed(const std::string& pattern) const;
    /// A top-level window's frame on the screen as the X server has it: the client window's place and
    /// size grown by the frame extents the window manager announced. Empty (all 0) when not framed.
    struct Frame {
        int x = 0, y = 0, width = 0, height = 0;
        int centreX2() const { return 2 * x + width; }  ///< twice the centre, to stay in whole pixels
        int centreY2() const { return 2 * y + height; }
    };
    Frame frameOf(unsigned long window) const;
    /// The window manager's state of a client window: "Normal", "Iconic" or "Withdrawn" (empty if none).
    std::string wmState(unsigned long window) const;

private:
    std::unique_ptr<Process> server_;
    std::unique_ptr<Process> windowManager_;
    std::string display_;
    bool ready_ = false;
};

}  // namespace rx47::test
