// What the core asks of the desktop: the windows it opens, closes, shows and hides. The Qt views
// implement it; tests record the calls.
#pragma once

namespace rx47 {

class Desktop {
public:
    virtual ~Desktop() = default;
    /// Closes the start-up splash window, whether it was shown or not.
    virtual void closeSplash() = 0;
};

}  // namespace rx47
