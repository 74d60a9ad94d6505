// The serial port on QSerialPort. Port n is the device the port table gives for it, opened with the
// counter's line settings.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/serial_port.h"

namespace rx47 {

class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
public:
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
    void write(std::string_view text) override;
    std::string readAll() override;
    void clearInput() override;
    void setDataReceivedHandler(std::function<void()> handler) override;

private:
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);

    std::filesystem::path programFolder_;
    QSerialPort* port_;  // a child of this object
    int portNumber_ = 0;
    PortOpenFailure lastFailure_;
    std::function<void()> dataReceived_;
};

}  // namespace rx47
