// The local clock: date and time of day. Time is an input of the core; tests set it by hand.
#pragma once

namespace rx47 {

struct LocalDateTime {
    int year = 2000;
    int month = 1;   ///< 1…12
    int day = 1;     ///< 1…31
    int hour = 0;    ///< 0…23
    int minute = 0;  ///< 0…59
    int second = 0;  ///< 0…59
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

}  // namespace rx47
