// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Running the Qt event loop in tests that use the Qt adapters: one application for the test
// program, and waits that really serve events, as the program does.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace rx47::test {

/// Gives the test program one application for its whole run, styled as the program is.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setStyle(QStringLiteral("Fusion"));
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "rx47";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

/// Runs the event loop until `done` or the timeout; returns `done()`.
inline bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

inline void runEventsFor(std::chrono::milliseconds time) {
    runEventsUntil([] { return false; }, time);
}

}  // namespace rx47::test
