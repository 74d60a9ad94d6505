// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_serial_port.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

#include "base/failure.h"
#include "platform/port_table.h"
#include "platform/qt/qt_log_sink.h"

namespace rx47 {

namespace {

std::string userName(uid_t uid) {
    if (const passwd* user = ::getpwuid(uid)) return user->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid) {
    if (const group* g = ::getgrgid(gid)) return g->gr_name;
    return std::to_string(gid);
}

/// The device's owner, group and mode: "root:dialout 0660".
std::string accessOf(const struct stat& st) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return userName(st.st_uid) + ":" + groupName(st.st_gid) + " " + mode;
}

/// The group whose members may read and write the device, when joining it is sound advice: never
/// the superuser's group, and never a group the mode does not let read and write.
std::string groupToJoin(const struct stat& st) {
    if (st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return "";
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : "";
}

/// The lock file QSerialPort takes for a device: "LCK.." and the device's name below /dev (with '_'
/// for '/') in the first of the usual lock folders that can be read and either holds that file or
/// can be written.
QString lockFileOf(const std::filesystem::path& device) {
    QString name = QString::fromStdString(device.string());
    if (name.startsWith(QLatin1String("/dev/"))) name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp",
                               "/var/lock/lockdev", "/run/lock"}) {
        const QString file = QLatin1String(folder) + QLatin1String("/LCK..") + name;
        const QFileInfo info{QLatin1String(folder)};
        if (info.isReadable() && (QFileInfo::exists(file) || info.isWritable())) return file;
    }
    return {};
}

/// Who holds the device through its lock file, as far as this user can see it.
PortLockHolder lockHolderOf(const std::filesystem::path& device) {
    PortLockHolder holder;
    const QString file = lockFileOf(device);
    if (file.isEmpty() || !QFileInfo::exists(file)) return holder;
    const QString canonical = QFileInfo(file).canonicalFilePath();
    holder.file = (canonical.isEmpty() ? file : canonical).toStdString();
    qint64 pid = 0;
    QString host, program;
    if (QLockFile(file).getLockInfo(&pid, &host, &program) && pid > 0) {
        holder.pid = pid;
        // A process of another user cannot be signalled, but it is there.
        holder.running = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    }
    struct stat st {};
    const std::string process = "/proc/" + std::to_string(holder.pid);
    if (holder.running && ::stat(process.c_str(), &st) == 0) {
        holder.user = userName(st.st_uid);
        std::ifstream comm(process + "/comm");
        std::getline(comm, holder.program);
    } else if (::stat(QFile::encodeName(file).constData(), &st) == 0) {
        holder.user = userName(st.st_uid);
    }
    return holder;
}

/// Opens `port` on the device that number n stands for, with the device's line settings; false
/// and why when it does not open.
bool openWithLineSettings(QSerialPort& port, const std::filesystem::path& programFolder, int portNumber,
                          PortOpenFailure& failure) {
    failure = {};
    failure.problem = PortProblem::Missing;
    failure.detail = "no device for this number";
    const auto device = portDevicePath(programFolder, portNumber);
    if (!device) return false;
    // Most numbers stand for nothing: one look says so, before the link is followed.
    std::error_code ec;
    if (!std::filesystem::exists(*device, ec)) {
        failure.device = device->string();
        failure.detail = (ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)).message();
        return false;
    }
    // QSerialPort takes a name without '/' to be one in /dev, so it gets the full path; a link (as in
    // ports/) is followed to its device, which also names the port's lock file after the device.
    const auto target = std::filesystem::canonical(*device, ec);
    failure.device = (ec ? *device : target).string();
    if (ec) {
        failure.detail = ec.message();
        return false;
    }
    port.setPortName(QString::fromStdString(target.string()));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite)) {
        failure.detail = port.errorString().toStdString();
        switch (port.error()) {
            case QSerialPort::DeviceNotFoundError:
                failure.problem = PortProblem::Missing;
                break;
            case QSerialPort::PermissionError: {
                // Refused: the user may not use the device, or another program holds its lock file.
                failure.problem = PortProblem::Permission;
                struct stat st {};
                if (::stat(target.c_str(), &st) == 0) {
                    if (::access(target.c_str(), R_OK | W_OK) == 0) {
                        failure.problem = PortProblem::Busy;  // it may be opened: someone holds it
                        failure.holder = lockHolderOf(target);
                    } else {
                        failure.access = accessOf(st);
                        failure.group = groupToJoin(st);
                    }
                }
                break;
            }
            case QSerialPort::OpenError:
                failure.problem = PortProblem::Busy;
                break;
            default:
                failure.problem = PortProblem::Other;
                break;
        }
        port.clearError();
        return false;
    }
    // A pseudo-terminal has no RTS line and says so (UnsupportedOperationError); the port stays open.
    port.setRequestToSend(false);
    port.clearError();
    if (port.isOpen()) failure = {};
    return port.isOpen();
}

}  // namespace

QtSerialPort::QtSerialPort(std::filesystem::path programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onErrorOccurred);
}

QtSerialPort::~QtSerialPort() {
    // The port goes before the handler it would call.
    port_->disconnect(this);
    if (port_->isOpen()) port_->close();
}

bool QtSerialPort::open(int portNumber) {
    if (port_->isOpen()) return true;
    portNumber_ = portNumber;
    dropReceived();
    overrun_ = 0;
    return openWithLineSettings(*port_, programFolder_, portNumber, lastFailure_);
}

PortOpenFailure QtSerialPort::probe(int portNumber) {
    if (port_->isOpen() && portNumber == portNumber_) return {};
    // A port of its own: this one keeps its device, its number and what it received.
    QSerialPort trial;
    PortOpenFailure failure;
    if (openWithLineSettings(trial, programFolder_, portNumber, failure)) trial.close();
    return failure;
}

void QtSerialPort::close() {
    if (port_->isOpen()) port_->close();
    port_->clearError();
    dropReceived();
}

bool QtSerialPort::isOpen() const {
    return port_->isOpen();
}

int QtSerialPort::portNumber() const {
    return portNumber_;
}

void QtSerialPort::write(std::string_view text) {
    if (!port_->isOpen()) throw PortClosed("write to a closed serial port");
    port_->write(text.data(), static_cast<qint64>(text.size()));
    // Out now, in the order written: the event loop may be busy for a while (a first paint).
    port_->flush();
}

std::string QtSerialPort::readAll() {
    if (!port_->isOpen()) {
        dropReceived();
        return {};
    }
    takeReceived();
    return std::exchange(received_, std::string());  // the buffer's memory goes with the text
}

void QtSerialPort::clearInput() {
    if (!port_->isOpen()) return;
    port_->clear(QSerialPort::Input);
    port_->readAll();  // what Qt had already taken in
    dropReceived();
}

void QtSerialPort::takeReceived() {
    const qint64 available = port_->bytesAvailable();
    if (available <= 0) return;
    const std::size_t room = kReceiveBufferSize - std::min(received_.size(), kReceiveBufferSize);
    const QByteArray bytes = port_->read(static_cast<qint64>(std::min<std::size_t>(room, available)));
    received_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::size_t lost = static_cast<std::size_t>(available) - static_cast<std::size_t>(bytes.size());
    if (lost > 0) {
        overrun_ += lost;
        port_->skip(static_cast<qint64>(lost));
    }
}

void QtSerialPort::dropReceived() {
    received_ = std::string();
}

void QtSerialPort::setDataReceivedHandler(std::function<void()> handler) {
    dataReceived_ = std::move(handler);
}

void QtSerialPort::onReadyRead() {
    takeReceived();
    if (!dataReceived_) return;
    try {
        dataReceived_();
    } catch (...) {
        // Nothing may escape into the event loop; the handler's own failures are its business.
        logEscaped(log_, LogCategory::Port, "the data-received handler");
    }
}

void QtSerialPort::onErrorOccurred(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::NoError:
        case QSerialPort::UnsupportedOperationError:
        case QSerialPort::TimeoutError:
            return;
        default:
            // A device that went away (pulled cable, ended simulator) reports read errors over and
            // over while the port is open; closing at the first one shows the program a closed port.
            if (port_->isOpen()) port_->close();
            dropReceived();
            return;
    }
}

}  // namespace rx47
