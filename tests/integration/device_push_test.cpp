// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// New alarm level and coefficient from the settings dialog reach the device over the real serial
// adapter, followed by "save" about four seconds later, with the program's real timers.
#include <gtest/gtest.h>

#include <chrono>

#include "model/setup_form.h"
#include "monitor/link.h"
#include "setup/setup.h"
#include "sim/simulator.h"
#include "support/live_core.h"
#include "support/qt_events.h"
#include "support/simulated_device.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

TEST(DevicePush, ChangedLevelAndCoefficientReachTheDeviceThenSave) {
    test::LiveCore rig;
    rx47sim::Simulator device(test::deviceOn(rig.portLink(1)));
    rig.state.isLoading = false;

    startUpConnection(rig.ctx);
    ASSERT_TRUE(test::runEventsUntil([&] { return rig.values.gammaCoefficient == 120; }, 5s));

    // The operator types new values and closes the dialog with its close box.
    SetupForm dialog = setup::makeSetupForm();
    setup::Form_Load(rig.ctx, dialog);
    setup::txt_Change(dialog, kCpmLevelText, "150");
    setup::txt_Change(dialog, kGammaText, "110");
    const auto closed = Steady::now();
    EXPECT_FALSE(setup::Form_QueryUnload(rig.ctx, dialog, setup::kCloseFromControlMenu));

    ASSERT_TRUE(test::runEventsUntil([&] { return test::timesReceived(device, "save") > 0; }, 10s));
    const auto saved = Steady::now() - closed;
    const auto lines = device.receivedLines();
    const auto atc = std::find(lines.begin(), lines.end(), "set atc=150");
    const auto gms = std::find(lines.begin(), lines.end(), "set gms=110");
    const auto save = std::find(lines.begin(), lines.end(), "save");
    ASSERT_NE(atc, lines.end());
    ASSERT_NE(gms, lines.end());
    EXPECT_LT(atc, gms);
    EXPECT_LT(gms, save);
    EXPECT_GE(saved, 3s);  // the device-save delay: the fourth one-second tick
    EXPECT_EQ(device.settings().atc, 150);
    EXPECT_EQ(device.settings().gms, 110);
    EXPECT_EQ(rig.settings.int16("gkeisuu"), 110);
}

}  // namespace
}  // namespace rx47
