// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Which device a port number stands for: the system's serial devices by number ranges, or the
// program folder's own table, which then is the whole table.
#include <gtest/gtest.h>

#include "platform/port_table.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;

TEST(PortTable, NumbersStandForTheSystemsSerialDevicesOrForThePortsFolderAlone) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    const auto device = [&](int n) {
        const auto path = portDevicePath(folder.path(), n);
        return path ? path->string() : std::string("none");
    };
    EXPECT_EQ(device(0), "none");
    EXPECT_EQ(device(1), "/dev/ttyS0");
    EXPECT_EQ(device(32), "/dev/ttyS31");
    EXPECT_EQ(device(33), "/dev/ttyUSB0");
    EXPECT_EQ(device(64), "/dev/ttyUSB31");
    EXPECT_EQ(device(65), "/dev/ttyACM0");
    EXPECT_EQ(device(96), "/dev/ttyACM31");
    EXPECT_EQ(device(97), "none");
    EXPECT_EQ(device(256), "none");
    EXPECT_EQ(device(257), "none");

    // With a ports/ folder, every number is ports/COM<n>, whether or not a link is there, and no
    // system device is ever named.
    fs::create_directory(folder.path() / "ports");
    for (int n : {1, 32, 33, 64, 65, 96, 97, 256})
        EXPECT_EQ(device(n), (folder.path() / "ports" / ("COM" + std::to_string(n))).string()) << n;
    EXPECT_EQ(device(0), "none");
    EXPECT_EQ(device(257), "none");
}

}  // namespace
}  // namespace rx47
