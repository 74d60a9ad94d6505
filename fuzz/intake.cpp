// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The intake and the per-minute update over any bytes the port may deliver, with the real settings
// file and real record files. The input is the received bytes, cut into pieces by the byte 0xFF and
// a control byte: 0xFF 0xFF is a 0xFF of the data; otherwise the control byte's low four bits choose
// how long the line stays quiet after the piece before it and its high four bits an event at that
// moment (unplug, plug in, "停止", "受信", reset, buzzer on/off, writes failing). After the last piece
// two more minutes pass, so the statistics and the record files always see the input's effects.
//
// After every piece: the figures stay within what accepted readings (1 to 1000) can give and the
// real-time dose is a dose text. After the input: every record file is whole.
#include <cstdint>
#include <string>

#include "base/number.h"
#include "harness.h"
#include "monitor/dose.h"
#include "monitor/timer_schedule.h"
#include "storage/records.h"
#include "support/file_checks.h"
#include "ui/controls.h"

namespace {

using namespace rx47;

constexpr long kDelays[16] = {0,    1,    50,    250,   499,   500,   501,   1000,
                              2000, 5000, 15000, 30000, 59000, 60000, 61000, 120000};
/// Virtual time an input may use up, beyond which its pauses are cut short.
constexpr long kLongestInput = 30 * 60 * 1000;

void event(fuzz::Monitor& m, int action) {
    switch (action) {
        case 1:  // the cable is pulled
            m.port.devices.clear();
            m.port.close();
            break;
        case 2:  // and plugged in again; the program finds it by its search
            m.port.devices = {1};
            break;
        case 3:
            Option1_Click(m.ctx, 1);
            break;
        case 4:
            Option1_Click(m.ctx, 0);
            break;
        case 5:
            cmd_Click(m.ctx, 0);
            break;
        case 6:
            Option2_Click(m.ctx, 0);
            break;
        case 7:
            Option2_Click(m.ctx, 1);
            break;
        case 8:
            m.port.failWrites = !m.port.failWrites;
            break;
        default:
            break;
    }
}

void checkFigures(const fuzz::Monitor& m) {
    const MonitorState& s = m.state;
    FUZZ_CHECK(s.readingCount >= 0 && s.readingSum >= 0 && s.readingSum <= 1000LL * s.readingCount,
               "%d readings summing to %d", s.readingCount, s.readingSum);
    FUZZ_CHECK(s.minuteCpm >= 0 && s.minuteCpm <= 1000, "minute CPM %d", s.minuteCpm);
    FUZZ_CHECK(s.maxCpm >= 0 && s.maxCpm <= 1000 && s.minCpm >= 0 && s.minCpm <= 1000, "max %d, min %d", s.maxCpm,
               s.minCpm);
    const std::string& cpm = m.form.Label[kRealtimeCpm].caption;
    if (cpm.empty()) return;
    const double v = readNumber(cpm);
    FUZZ_CHECK(v > 0 && v <= 1000, "real-time CPM \"%s\"", cpm.c_str());
    if (m.values.gammaCoefficient != 0 && !m.form.Label[kRealtimeDose].caption.empty()) {
        // The coefficient may have come after the reading; a dose shown is that of some coefficient.
        const std::string& dose = m.form.Label[kRealtimeDose].caption;
        FUZZ_CHECK(dose.size() >= 5 && dose.find_first_not_of("0123456789.") == std::string::npos,
                   "real-time dose \"%s\"", dose.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 20 s before a minute changes; some inputs run past the hour.
    fuzz::Monitor m({2026, 5, 31, 23, 44, 40});
    m.start();

    long used = 0;
    const auto pause = [&](long ms) {
        ms = std::min(ms, kLongestInput - used);
        used += ms;
        m.timers.advance(ms);
    };
    std::string piece;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF) {
            piece += static_cast<char>(data[i]);
            continue;
        }
        if (i + 1 == size) break;
        const std::uint8_t control = data[++i];
        if (control == 0xFF) {
            piece += '\xFF';
            continue;
        }
        if (!piece.empty() && m.port.isOpen()) m.port.deliver(piece);  // a closed port receives nothing
        piece.clear();
        event(m, control >> 4);
        pause(kDelays[control & 0x0F]);
        checkFigures(m);
    }
    if (!piece.empty() && m.port.isOpen()) m.port.deliver(piece);
    m.timers.advance(125000);
    checkFigures(m);

    const auto records = test::checkRecordFolder(m.ctx.programFolder / kRecordFolder);
    FUZZ_CHECK(records.problems.empty(), "%s", records.problems.front().c_str());
    return 0;
}
