// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// SIGTERM, SIGINT and SIGHUP (a service stop, Ctrl-C, a logout) reach the event loop as a Qt
// signal, so the program ends through its ordinary shutdown and loses nothing. The handler itself
// only writes to a pipe.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace rx47 {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace rx47
