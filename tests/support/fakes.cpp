// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/fakes.h"

#include <algorithm>
#include <limits>

#include "base/failure.h"

namespace rx47::test {

void VirtualTimerArray::setInterval(int index, int milliseconds) {
    if (!has(index)) return;
    Timer& t = timers_[index];
    t.interval = milliseconds;
    if (t.running) t.due = now_ + t.interval;  // a running timer starts its period afresh
}

void VirtualTimerArray::start(int index) {
    if (!has(index)) return;
    Timer& t = timers_[index];
    if (t.running) return;
    t.running = true;
    t.singleShotArmed = t.singleShot;
    t.due = now_ + t.interval;
}

void VirtualTimerArray::setSingleShot(int index, bool singleShot) {
    if (has(index)) timers_[index].singleShot = singleShot;
}

long VirtualTimerArray::dueAt(int index) const {
    const auto it = timers_.find(index);
    return it != timers_.end() && it->second.running ? it->second.due : -1;
}

void VirtualTimerArray::stop(int index) {
    if (has(index)) timers_[index].running = false;
}

bool VirtualTimerArray::isRunning(int index) const {
    const auto it = timers_.find(index);
    return it != timers_.end() && it->second.running;
}

void VirtualTimerArray::advance(long milliseconds) {
    const long target = now_ + milliseconds;
    for (;;) {
        int next = -1;
        long due = std::numeric_limits<long>::max();
        for (const auto& [index, t] : timers_)
            if (t.running && t.due <= target && t.due < due) next = index, due = t.due;
        if (next < 0) break;
        now_ = due;
        Timer& t = timers_[next];
        t.due += t.interval > 0 ? t.interval : 1;
        if (t.singleShotArmed) t.running = false;  // stopped before its tick, as QTimer does
        fired_.push_back(next);
        // As at the event loop's edge: what the handler lets escape ends this tick only.
        try {
            if (handler_) handler_(next);
        } catch (...) {
        }
    }
    // A tick may have moved time on further from inside (a handler that waits for the alarm sound
    // serves ticks); time never goes back.
    now_ = std::max(now_, target);
}

PortOpenFailure MemorySerialPort::failureOf(int portNumber) const {
    PortOpenFailure failure;
    if (devices.count(portNumber) > 0) return failure;
    if (const auto given = failing.find(portNumber); given != failing.end()) {
        failure = given->second;
    } else if (refused.count(portNumber)) {
        failure.problem = PortProblem::Permission;
        failure.device = "/dev/ttyUSB" + std::to_string(portNumber - 33);
        failure.group = "dialout";
        failure.detail = "Permission denied";
    } else {
        failure.problem = PortProblem::Missing;
        failure.detail = "No such file or directory";
    }
    return failure;
}

bool MemorySerialPort::open(int portNumber) {
    opened.push_back(portNumber);
    if (open_) return true;  // an open port stays as it is, on its old number
    number_ = portNumber;
    failure_ = failureOf(portNumber);
    open_ = failure_.problem == PortProblem::None;
    return open_;
}

PortOpenFailure MemorySerialPort::probe(int portNumber) {
    opened.push_back(portNumber);
    if (open_ && portNumber == number_) return {};
    return failureOf(portNumber);
}

void MemorySerialPort::close() {
    open_ = false;
    received.clear();
}

void MemorySerialPort::write(std::string_view text) {
    if (!open_ || failWrites) throw PortClosed("port closed");
    sent.emplace_back(text);
}

std::string MemorySerialPort::readAll() {
    if (!open_) return {};
    std::string all;
    all.swap(received);
    return all;
}

void MemorySerialPort::deliver(const std::string& text) {
    if (!open_) return;
    received += text;
    // As at the event loop's edge: what the handler lets escape stays here.
    try {
        if (handler_) handler_();
    } catch (...) {
    }
}

void ScriptedWavePlayer::open(const std::filesystem::path& file) {
    commands.push_back("Open " + file.filename().string());
    open_ = playing_ = false;  // one file at a time: the last one goes without a report
    if (failOpen) throw FileError(failure);
    open_ = true;
}

void ScriptedWavePlayer::play() {
    commands.push_back("Play");
    if (!open_) throw FileError("no sound open");
    if (failPlay) throw FileError("cannot play the sound");
    playing_ = true;
}

void ScriptedWavePlayer::stop() {
    commands.push_back("Stop");
    playing_ = false;
}

void ScriptedWavePlayer::close() {
    commands.push_back("Close");
    open_ = playing_ = false;
}

void ScriptedWavePlayer::finish() {
    if (!playing_) return;
    playing_ = false;
    if (handler_) handler_();
}

void ScriptedEventPump::processEvents(std::chrono::milliseconds maxWait) {
    ++calls;
    now_ += maxWait;
    if (next_ < script.size()) script[next_++]();
}

}  // namespace rx47::test
