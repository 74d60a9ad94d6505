// The local clock of the machine.
#pragma once

#include "platform/clock.h"

namespace rx47 {

class SystemClock : public Clock {
public:
    LocalDateTime now() const override;
};

}  // namespace rx47
