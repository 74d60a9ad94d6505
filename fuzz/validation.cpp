// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's close-time checks over any texts in its three number boxes: the input is
// the dose level, the CPM level and the gamma coefficient, one per line (a box without a line keeps
// what the dialog loaded). After the close, everything is held against the rules worked out here
// independently: which box is rejected first and with which message, what was applied before it
// (the row, the program's values, the commands in order), and whether the device-save delay runs.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/number.h"
#include "harness.h"
#include "monitor/timer_schedule.h"
#include "setup/setup.h"

namespace {

using namespace rx47;

const char* const kMessages[3] = {"放射線警報値を確認してください", "CPM 警報値は 0～65535 の間で設定してください",
                                  "ガンマ線感度係数は 0～65535 の間で設定してください"};

bool decimal(const std::string& text) {
    int points = 0;
    for (char c : text) {
        if (c == '.')
            ++points;
        else if (c < '0' || c > '9')
            return false;
    }
    return points <= 1;
}

/// A box's text, if the box takes it: its value (HUGE_VAL beyond a double), else nothing.
bool accepted(int box, const std::string& text, double& value) {
    if (!decimal(text)) return false;
    value = text.empty() || text == "." ? 0 : std::strtod(text.c_str(), nullptr);
    if (std::isinf(value)) return false;  // a number longer than a double holds cannot be kept
    return box == 0 || value <= 65535;
}

int characters(const std::string& utf8) {
    int n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts;
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            texts.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    texts.push_back(line);
    if (texts.size() > 3) return 0;

    fuzz::Monitor m({2026, 5, 7, 9, 30, 0});
    m.port.open(1);
    m.values.cpmAlarmLevel = 100;
    m.values.gammaCoefficient = 120;
    m.values.cpmScaleFactor = 60;
    setUpTimers(m.ctx);
    SettingsRow& row = m.ctx.settings;
    const double doseBefore = row.number("warnLineLevel");

    // The boxes as the dialog's load fills them (the load itself, with its option boxes, commits the
    // settings row and would set the pace).
    SetupForm form = setup::makeSetupForm();
    form.txt[kDoseLevelText].text = row.text("warnLineLevel");
    form.txt[kCpmLevelText].text = decimalText(m.values.cpmAlarmLevel);
    form.txt[kGammaText].text = decimalText(m.values.gammaCoefficient);
    const std::string loaded[3] = {form.txt[0].text, form.txt[1].text, form.txt[2].text};
    for (std::size_t box = 0; box < texts.size(); ++box) setup::txt_Change(form, static_cast<int>(box), texts[box]);
    const bool stays = setup::Form_QueryUnload(m.ctx, form, setup::kCloseFromControlMenu);

    // The rules: boxes in order; a changed box is applied or rejected, and a rejection ends it.
    int rejected = -1;
    bool applied[3] = {false, false, false};
    double values[3] = {0, 0, 0};
    for (int box = 0; box < 3 && rejected < 0; ++box) {
        const std::string& text = form.txt[box].text;
        if (text == loaded[box]) continue;
        if (accepted(box, text, values[box]))
            applied[box] = true;
        else
            rejected = box;
    }
    FUZZ_CHECK(stays == (rejected >= 0), "the dialog %s", stays ? "stayed open" : "closed");
    if (rejected >= 0) {
        FUZZ_CHECK(m.desktop.messages.size() == 1 && m.desktop.messages[0] == kMessages[rejected],
                   "box %d rejected with %zu messages", rejected, m.desktop.messages.size());
        FUZZ_CHECK(form.focusedText == rejected && form.txt[rejected].selStart == 0 &&
                       form.txt[rejected].selLength == characters(form.txt[rejected].text),
                   "box %d: focus on %d, selection %d+%d", rejected, form.focusedText, form.txt[rejected].selStart,
                   form.txt[rejected].selLength);
    } else {
        FUZZ_CHECK(m.desktop.messages.empty(), "a message without a rejection");
    }

    FUZZ_CHECK(row.number("warnLineLevel") == (applied[0] ? values[0] : doseBefore), "dose level %.17g",
               row.number("warnLineLevel"));
    std::vector<std::string> commands;
    const long level = applied[1] ? std::lround(std::nearbyint(values[1])) : 100;
    const long coefficient = applied[2] ? std::lround(std::nearbyint(values[2])) : 120;
    if (applied[1]) commands.push_back("set atc=" + std::to_string(level) + "\r\n");
    if (applied[2]) commands.push_back("set gms=" + std::to_string(coefficient) + "\r\n");
    FUZZ_CHECK(m.values.cpmAlarmLevel == level, "CPM level %u, expected %ld", m.values.cpmAlarmLevel, level);
    FUZZ_CHECK(m.values.gammaCoefficient == coefficient && row.int32("gkeisuu") == coefficient,
               "coefficient %u (stored %d), expected %ld", m.values.gammaCoefficient, row.int32("gkeisuu"),
               coefficient);
    FUZZ_CHECK(m.port.sent == commands, "%zu commands sent, %zu expected", m.port.sent.size(), commands.size());
    FUZZ_CHECK(m.timers.isRunning(timer::kSaveDelay) == (applied[1] || applied[2]), "device-save delay %s",
               m.timers.isRunning(timer::kSaveDelay) ? "runs" : "does not run");
    return 0;
}
