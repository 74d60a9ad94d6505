// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The serial port the main window owns. Port numbers 1…256 are mapped to devices by the port table
// (device/port_table.h). Every open uses the device's line settings: 9600 baud, no parity, 8 data
// bits, 1 stop bit, no handshaking, RTS off.
//
// Contract (held by the Qt adapter and by the in-memory double, checked by tests/contract):
// - open(n) on a closed port makes n the port's number, opened or not; on an open port it changes
//   nothing (neither the number nor the failure nor what was received) and returns true.
// - probe(n) says whether port n opens, as open(n) would, and changes nothing of this port.
// - Nothing fails on a closed port but write(): readAll() is empty, clearInput() and close() do
//   nothing.
// - What the device sends arrives unchanged, byte for byte, CR and high bytes included; what is
//   written goes out unchanged. Nothing arrives while the port is closed, and close() drops what was
//   received and not read; what the line itself held from before an open (a pseudo-terminal keeps
//   it, a serial line loses it) may arrive after the open.
// - The data-received handler runs from the event loop after the text is there for readAll(), never
//   inside a call of the port; a failure it throws stays inside the port.
// - A device that goes away (an unplugged adapter) closes the port: it then reads as closed.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace rx47 {

/// Why a port did not open.
enum class PortProblem {
    None,        ///< it opened
    Missing,     ///< no device behind the number (nothing there, or a link to nothing)
    Permission,  ///< the device is there, but this user may not open it
    Busy,        ///< the device is there, but another program holds it
    Other,       ///< it failed otherwise
};

/// Who holds a port through its lock file: the convention of serial programs is a file
/// "LCK..<device>" in /run/lock that names the process using the device.
struct PortLockHolder {
    std::string file;      ///< the lock file ("/run/lock/LCK..ttyUSB0"); "" when the port is held otherwise
    long long pid = 0;     ///< the process it names, 0 when it names none that can be read
    std::string program;   ///< that process's name, when it runs and can be seen
    std::string user;      ///< the user that process runs as; when it has ended, the lock file's owner
    bool running = false;  ///< whether that process still runs
};

struct PortOpenFailure {
    PortProblem problem = PortProblem::None;
    std::string device;  ///< the device the number stands for ("/dev/ttyUSB0"), when there is one
    /// For a refused permission: a group that may read and write the device and that the user could
    /// join ("dialout"); "" when there is none (the superuser's group never counts).
    std::string group;
    std::string detail;     ///< the system's own words
    std::string access;     ///< for a refused permission: the device's owner, group and mode ("root:root 0600")
    PortLockHolder holder;  ///< for a port that is held: who holds it through its lock file
};

class SerialPort {
public:
    virtual ~SerialPort() = default;
    /// Opens port n. Returns whether the port is open afterwards; a port that does not exist or is
    /// busy simply stays closed (lastOpenFailure() says why). An open port stays open as it is, on
    /// its old number: close it first to change ports.
    virtual bool open(int portNumber) = 0;
    /// Closes the port and drops what was received and not read; a closed port stays closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// The number of the port last opened or tried while closed, 0 before any.
    virtual int portNumber() const = 0;
    /// Why the last open() of a closed port left it closed (problem None when it opened).
    virtual PortOpenFailure lastOpenFailure() const = 0;
    /// Tries port n as open() would and closes it again, leaving this port as it is: open or closed,
    /// its number, its last failure and what it received. The port this object holds open counts as
    /// one that opens. Returns why port n did not open (problem None when it opened).
    virtual PortOpenFailure probe(int portNumber) = 0;
    /// Sends text, unchanged and at once. Throws PortClosed when the port is not open; a write to a
    /// device that has just gone away may also fail so, or be lost.
    virtual void write(std::string_view text) = 0;
    /// Everything received and not yet read; the receive buffer is empty afterwards. Empty when
    /// closed.
    virtual std::string readAll() = 0;
    /// Drops received but unread text; nothing on a closed port.
    virtual void clearInput() = 0;
    /// Called on the user-interface thread whenever characters arrive.
    virtual void setDataReceivedHandler(std::function<void()> handler) = 0;
};

}  // namespace rx47
