// The serial port the main window owns. Port numbers 1…256 are mapped to devices by the port table
// (device/port_table.h). Every open uses the device's line settings: 9600 baud, no parity, 8 data
// bits, 1 stop bit, no handshaking, RTS off.
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

struct PortOpenFailure {
    PortProblem problem = PortProblem::None;
    std::string device;  ///< the device the number stands for ("/dev/ttyUSB0"), when there is one
    std::string group;   ///< the group that may open it, for a refused permission ("dialout")
    std::string detail;  ///< the system's own words
};

class SerialPort {
public:
    virtual ~SerialPort() = default;
    /// Opens port n (closing nothing first). Returns whether the port is open afterwards; a port
    /// that does not exist or is busy simply stays closed.
    virtual bool open(int portNumber) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// The number of the port last opened or tried, 0 before any.
    virtual int portNumber() const = 0;
    /// Why the last open() left the port closed (problem None when it opened).
    virtual PortOpenFailure lastOpenFailure() const = 0;
    /// Queues text for sending, unchanged. Throws PortClosed when the port is not open.
    virtual void write(std::string_view text) = 0;
    /// Everything received so far; the receive buffer is empty afterwards. Empty when closed.
    virtual std::string readAll() = 0;
    /// Drops received but unread text.
    virtual void clearInput() = 0;
    /// Called on the user-interface thread whenever characters arrive.
    virtual void setDataReceivedHandler(std::function<void()> handler) = 0;
};

}  // namespace rx47
