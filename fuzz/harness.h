// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the fuzz targets share: a check that ends the run with a message, and the monitor core over
// the fakes with the real settings file. The settings file is opened once per process (its key
// derivation costs tens of milliseconds) and every setting an input changed is put back before the
// next, so each input starts from the supplied settings.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "storage/settings_row.h"
#include "support/core_rig.h"

/// The input being replayed (set by the replay main), named when a check fails.
extern const char* rx47FuzzInputName;

#define FUZZ_CHECK(condition, ...)                                                                           \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "check failed: %s (%s:%d)%s%s\n  ", #condition, __FILE__, __LINE__,         \
                         rx47FuzzInputName ? " on input " : "", rx47FuzzInputName ? rx47FuzzInputName : ""); \
            std::fprintf(stderr, __VA_ARGS__);                                                               \
            std::fprintf(stderr, "\n");                                                                      \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace rx47::fuzz {

/// The supplied settings file in a program folder of its own, open for the whole run.
class SharedSettings {
public:
    static SharedSettings& instance();
    SettingsRow& row() { return row_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    /// Puts back every setting that differs from the supplied file, and removes the records.
    void restore();

private:
    SharedSettings();
    test::TempProgramFolder folder_;
    SettingsRow row_;
    std::map<std::string, SettingValue> original_;
};

/// One input's monitor: fresh window model, state, port, timers and clock over the shared settings.
struct Monitor : test::Rig<test::FollowingParts> {
    explicit Monitor(const LocalDateTime& start);
    /// The start-up of the program up to the running per-minute timer, for a settings row that is
    /// open already: the port list and the stored port with its "show", the scales, the timers and
    /// the record folders.
    void start();
};

inline std::string_view textOf(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace rx47::fuzz
