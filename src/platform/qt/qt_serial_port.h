// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The serial port on QSerialPort. Port n is the device the port table gives for it, opened with the
// counter's line settings.
//
// Whatever arrives is taken from the port at once into a receive buffer of fixed size, as a serial
// line's own buffer is: bytes that arrive while it is full are lost (an overrun). So a flood costs
// reading the port, not memory, however long the intake takes to come round. Text written goes out
// at once, not at the event loop's next turn.
//
// A port that does not open says why: for a refused permission the device's owner and mode, and a
// group to join when one may use it; for a port held through its lock file (QSerialPort honours the
// "LCK..<device>" files of the lock folder, as serial programs do) the file and who holds it.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/serial_port.h"

namespace rx47 {

class FailureLog;

class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
public:
    /// What the receive buffer holds at most: over a minute of the device's data at 9600 baud.
    static constexpr std::size_t kReceiveBufferSize = 64 * 1024;

    explicit QtSerialPort(std::filesystem::path programFolder, QObject* parent = nullptr);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    /// An already open port stays open as it is (the number is not changed).
    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override;
    int portNumber() const override;
    PortOpenFailure lastOpenFailure() const override { return lastFailure_; }
    PortOpenFailure probe(int portNumber) override;
    void write(std::string_view text) override;
    std::string readAll() override;
    void clearInput() override;
    void setDataReceivedHandler(std::function<void()> handler) override;
    /// Where a failure that escapes the data-received handler is logged.
    void setLog(FailureLog* log) { log_ = log; }

    /// Bytes lost to a full receive buffer since the port was opened.
    std::size_t overrunBytes() const { return overrun_; }

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    /// Moves what the port has received into the receive buffer, as far as it has room.
    void takeReceived();
    void dropReceived();

    std::filesystem::path programFolder_;
    QSerialPort* port_;  // a child of this object
    int portNumber_ = 0;
    PortOpenFailure lastFailure_;
    std::function<void()> dataReceived_;
    FailureLog* log_ = nullptr;
    std::string received_;
    std::size_t overrun_ = 0;
};

}  // namespace rx47
