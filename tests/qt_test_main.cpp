// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main of the integration and contract tests: the tests run with a Qt application, made before
// the first test (after any environment a test file registers itself) and ended after the last.
#include <gtest/gtest.h>

#include "support/qt_events.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new rx47::test::QtEnvironment);
    return RUN_ALL_TESTS();
}
