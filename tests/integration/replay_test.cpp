// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A recorded session replayed through the whole core: what a counter sent over nine minutes
// (tests/data/sessions/counter-session.txt: readings, reports, noise, a hang, an alarm) goes into
// the program from its start-up on, in virtual time with the real settings file and real record
// files, and the record files and the commands the program sent must come out byte for byte as the
// golden files beside the session.
//
// After a deliberate change of behaviour, regenerate the golden files with
//     RX47_REGENERATE_GOLDEN=1 build/tests/replay_test
// and read the difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "model/main_form.h"
#include "monitor/link.h"
#include "monitor/timer_schedule.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "ui/shutdown.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using test::bytesOf;

const fs::path kSessionFolder = fs::path(RX47_SOURCE_DIR) / "tests/data/sessions";

struct Received {
    long at;  ///< milliseconds since the start
    std::string bytes;
};

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'x')
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

std::vector<Received> readSession(const fs::path& file) {
    std::ifstream in(file);
    std::vector<Received> session;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto space = line.find(' ');
        session.push_back({std::stol(line.substr(0, space)), unescape(line.substr(space + 1))});
    }
    return session;
}

/// The golden file's bytes, or, when regenerating, the actual bytes written in its place.
std::string golden(const std::string& name, const std::string& actual) {
    const fs::path file = kSessionFolder / "golden" / name;
    if (std::getenv("RX47_REGENERATE_GOLDEN")) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << actual;
    }
    return bytesOf(file);
}

TEST(Replay, ACounterSessionGivesTheGoldenRecordsAndCommands) {
    const std::vector<Received> session = readSession(kSessionFolder / "counter-session.txt");
    ASSERT_FALSE(session.empty());

    test::TestMonitor m;
    m.setSetting("COMport", std::string("1"));
    m.port.devices = {1};
    m.port.setDataReceivedHandler([&] { onDataReceived(m.ctx); });
    const int startSecond = (9 * 60 + 30) * 60 + 10;
    const auto setClock = [&](long ms) {
        const int s = startSecond + static_cast<int>(ms / 1000);
        m.clock.time = {2026, 5, 7, s / 3600, s / 60 % 60, s % 60};
    };
    setClock(0);
    Form_Load(m.ctx);
    Form_Activate(m.ctx);

    // Time goes on in steps of the shortest timer; what the counter sent arrives at its moment, and
    // what the program sent is written down with the moment it went out.
    std::ostringstream sent;
    std::size_t sentSoFar = 0;
    const auto noteSent = [&](long ms) {
        for (; sentSoFar < m.port.sent.size(); ++sentSoFar) {
            std::string line = m.port.sent[sentSoFar];
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
            sent << ms / 1000 << " s " << line << "\n";
        }
    };
    noteSent(0);
    std::size_t next = 0;
    const long end = session.back().at + 5000;
    for (long now = 0; now < end; now += 50) {
        while (next < session.size() && session[next].at <= now) m.port.deliver(session[next++].bytes);
        setClock(now + 50);
        m.timers.advance(50);
        noteSent(now + 50);
    }
    Form_QueryUnload(m.ctx);

    for (const fs::path file : {"master record.csv", "2026_05/2026-05-07.csv"}) {
        const std::string written = bytesOf(m.folder.path() / "record" / file);
        EXPECT_EQ(written, golden(file.filename(), written)) << file;
    }
    EXPECT_EQ(sent.str(), golden("sent.txt", sent.str()));
}

}  // namespace
}  // namespace rx47
