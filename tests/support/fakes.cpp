#include "support/fakes.h"

#include <algorithm>
#include <limits>

#include "base/failure.h"

namespace rx47::test {

void VirtualTimerArray::setInterval(int index, int milliseconds) {
    if (TimerArray::exists(index)) timers_[index].interval = milliseconds;
}

void VirtualTimerArray::start(int index) {
    if (!TimerArray::exists(index)) return;
    Timer& t = timers_[index];
    if (t.running) return;
    t.running = true;
    t.due = now_ + t.interval;
}

void VirtualTimerArray::stop(int index) {
    if (TimerArray::exists(index)) timers_[index].running = false;
}

bool VirtualTimerArray::isRunning(int index) const {
    const auto it = timers_.find(index);
    return it != timers_.end() && it->second.running;
}

int VirtualTimerArray::interval(int index) const {
    const auto it = timers_.find(index);
    return it == timers_.end() ? 0 : it->second.interval;
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
        fired_.push_back(next);
        if (handler_) handler_(next);
    }
    // A tick may have moved time on further from inside (a handler that waits for the alarm sound
    // serves ticks); time never goes back.
    now_ = std::max(now_, target);
}

bool MemorySerialPort::open(int portNumber) {
    opened.push_back(portNumber);
    number_ = portNumber;
    open_ = devices.count(portNumber) > 0;
    const std::string device = "/dev/ttyUSB" + std::to_string(portNumber - 33);
    if (open_)
        failure_ = {};
    else if (refused.count(portNumber))
        failure_ = {PortProblem::Permission, device, "dialout", "Permission denied"};
    else
        failure_ = {PortProblem::Missing, {}, {}, "No such file or directory"};
    return open_;
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
    received += text;
    if (handler_) handler_();
}

void ScriptedWavePlayer::open(const std::filesystem::path& file) {
    commands.push_back("Open " + file.filename().string());
    if (failOpen) throw FileError("cannot open the sound");
}

void ScriptedWavePlayer::play() {
    commands.push_back("Play");
    if (failPlay) throw FileError("cannot play the sound");
}

void ScriptedEventPump::processEvents(std::chrono::milliseconds maxWait) {
    ++calls;
    now_ += maxWait;
    if (next_ < script.size()) script[next_++]();
}

}  // namespace rx47::test
