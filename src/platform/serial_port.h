// The serial port the main window owns. Port numbers 1…256 are mapped to devices by the port table
// (device/port_table.h). Every open uses the device's line settings: 9600 baud, no parity, 8 data
// bits, 1 stop bit, no handshaking, RTS off.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace rx47 {

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
