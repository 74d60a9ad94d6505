// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The CPM alarm level and the gamma coefficient are the device's values, 0 to 65535: they are kept
// whole from the device, from the settings file and into the dose text.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/number.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

TEST(ToUInt16, RoundsHalvesToEvenAndFailsOutside0To65535) {
    EXPECT_EQ(toUInt16(65535), 65535);
    EXPECT_EQ(toUInt16(65534.5), 65534);
    EXPECT_EQ(toUInt16(-0.4), 0);
    EXPECT_THROW(toUInt16(65535.5), Overflow);
    EXPECT_THROW(toUInt16(-1), Overflow);
}

struct DeviceValues : ::testing::Test {
    test::TestMonitor m;
    DeviceValues() {
        m.plugIn();
        m.values.cpmScaleFactor = 60;
    }
    void receive(const std::string& text) {
        m.port.received += text;
        m.timers.start(timer::kIntake);
        m.timers.advance(500);
    }
};

TEST_F(DeviceValues, TheDeviceReportsValuesAbove32767) {
    m.form.lne[kAlarmLine].y1 = 4200;
    receive("gms:40000\r\natc:40000\r\nttc:1\r\n");
    EXPECT_EQ(m.values.gammaCoefficient, 40000);
    EXPECT_EQ(m.values.cpmAlarmLevel, 40000);
    EXPECT_EQ(m.settings.number("gkeisuu"), 40000);
    EXPECT_EQ(m.settings.number("warnCPMlevel"), 40000);
    EXPECT_EQ(m.form.lne[kAlarmLine].y1, 4200);  // far above the graph: the line stays
    receive("400\r\n");
    EXPECT_EQ(m.form.Label[kRealtimeDose].caption, "0.010");
}

TEST_F(DeviceValues, UnknownValuesAreTakenFromTheColumnsUpTo65535) {
    m.setSetting("gkeisuu", std::int64_t{50000});
    m.setSetting("warnCPMlevel", std::int64_t{65535});
    receive("25\r\n");
    EXPECT_EQ(m.values.gammaCoefficient, 50000);
    EXPECT_EQ(m.values.cpmAlarmLevel, 65535);
}

}  // namespace
}  // namespace rx47
