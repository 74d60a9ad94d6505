// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The local clock of the machine.
#pragma once

#include "platform/clock.h"

namespace rx47 {

class SystemClock : public Clock {
public:
    LocalDateTime now() const override;
};

}  // namespace rx47
