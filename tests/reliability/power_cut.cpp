// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The power-cut replay: the real program runs against the device simulator with a write log
// preloaded (file_hooks.c), through its first start (seeding the program folder), the settings
// commits of the device's first report and of the window (the CPM scale turned by the mouse wheel),
// record minutes across midnight at the end of a month, the metrics file and its exit; with --full
// a second run makes the 100th exit, which compacts the settings. Then the folder is rebuilt as a
// power cut after every logged call could leave it, under two models:
//
//   posix  the minimum a POSIX file system promises: a file's data only as of its last fsync or
//          fdatasync, a name (a create, rename, link, unlink, mkdir) only once its folder was synced;
//   ext4   a journalled file system with ordered data: every name change before the cut is kept, in
//          order, and so is the data written before it, except what was appended to a file since its
//          last sync, which may be cut off at the length the file had then.
//
// Each state must hold: RX47.dat opens with its key, passes the integrity check and has the values of
// the last settings commit whose calls had all returned (or of the one under way); every record line
// that was synced is there and every record file is whole; the metrics file is absent or one the
// program put in place whole.
//
// One state, a cut inside a record append with half of it on disk, is also given to the next start.
//
//   power_cut [--full] [--keep]      prints its figures; exits 1 when a state failed
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "model/main_form.h"
#include "sim/simulator.h"
#include "storage/records.h"
#include "storage/settings_row.h"
#include "support/desktop_session.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/real_program.h"
#include "support/simulated_device.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Row = std::map<std::string, rx47::SettingValue>;
using rx47::test::bytesOf;
using rx47::test::writeBytes;

const std::string kDb = rx47::kSettingsFileName, kJournal = kDb + "-journal", kMetrics = "rx47.prom";

// ---- the log ----

struct Call {
    std::string kind, path, path2, bytes;
    unsigned long ino = 0;
    long long offset = 0, length = 0;
    std::string text() const {
        return kind + " " + (path.empty() ? "(the folder)" : path) + (path2.empty() ? "" : " -> " + path2);
    }
};

/// The logged calls, with paths relative to the root ("" is the root itself).
std::vector<Call> readLog(const fs::path& file, const std::string& root) {
    const std::string log = bytesOf(file);
    const auto relative = [&](const std::string& p) {
        return p.size() > root.size() ? p.substr(root.size() + 1) : (p == root ? "" : p);
    };
    std::vector<Call> calls;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at);
        if (end == std::string::npos) break;
        std::vector<std::string> f;
        std::stringstream line(log.substr(at, end - at));
        for (std::string field; std::getline(line, field, '\t');) f.push_back(field);
        at = end + 1;
        Call c;
        c.kind = f.at(0);
        if (c.kind == "write" || c.kind == "trunc" || c.kind == "sync" || c.kind == "open" || c.kind == "close") {
            c.ino = std::stoul(f.at(1));
            c.path = relative(f.back());
            if (c.kind == "write") c.offset = std::stoll(f.at(2)), c.length = std::stoll(f.at(3));
            if (c.kind == "trunc" || c.kind == "open") c.length = std::stoll(f.at(2));
        } else if (c.kind == "rename") {
            c.path = relative(f.at(2)), c.path2 = relative(f.at(3));
        } else {
            c.path = relative(f.at(1));
            if (f.size() > 2) c.path2 = relative(f.at(2));
        }
        if (c.kind == "write") c.bytes = log.substr(at, static_cast<std::size_t>(c.length)), at += c.bytes.size();
        calls.push_back(std::move(c));
    }
    return calls;
}

// ---- the file system as written, and as a cut leaves it ----

std::string parentOf(const std::string& p) {
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

struct Model {
    struct Node {
        std::string data, synced;
    };
    std::vector<Node> nodes;
    std::map<std::string, int> names, durable;  // file path -> node: now, and as of the folders' syncs
    std::set<std::string> dirs{""}, durableDirs{""};
    std::map<unsigned long, int> byIno;
    std::map<std::string, std::string> lastPlaced;  // what a rename last put in place, by path

    /// The folder as it was before the run: all of it on disk.
    explicit Model(const fs::path& root) {
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string p = fs::relative(e.path(), root).string();
            if (e.is_symlink()) continue;
            if (e.is_directory()) dirs.insert(p), durableDirs.insert(p);
            if (!e.is_regular_file()) continue;
            const std::string bytes = bytesOf(e.path());
            names[p] = durable[p] = newNode(bytes);
            nodes.back().synced = bytes;
            struct stat st {};
            if (::stat(e.path().c_str(), &st) == 0) byIno[st.st_ino] = names[p];
        }
    }
    int newNode(const std::string& data = "") {
        nodes.push_back({data, ""});
        return static_cast<int>(nodes.size()) - 1;
    }
    /// The node a descriptor call works on: by name, or by inode for a file no longer named.
    int nodeOf(const Call& c) {
        const bool deleted = c.path.size() > 10 && c.path.compare(c.path.size() - 10, 10, " (deleted)") == 0;
        int n = -1;
        if (deleted)
            n = byIno.count(c.ino) ? byIno[c.ino] : newNode();
        else if (names.count(c.path))
            n = names[c.path];
        else
            n = names[c.path] = newNode();  // made where the log does not see it (mkostemp)
        return byIno[c.ino] = n;
    }
    void apply(const Call& c) {
        if (c.kind == "write") {
            std::string& d = nodes[nodeOf(c)].data;
            if (d.size() < static_cast<std::size_t>(c.offset) + c.bytes.size()) d.resize(c.offset + c.bytes.size());
            d.replace(static_cast<std::size_t>(c.offset), c.bytes.size(), c.bytes);
        } else if (c.kind == "trunc") {
            nodes[nodeOf(c)].data.resize(static_cast<std::size_t>(c.length));
        } else if (c.kind == "open") {
            const bool existed = names.count(c.path) != 0;
            const int n = nodeOf(c);
            if (existed && (c.length & O_TRUNC)) nodes[n].data.clear();
        } else if (c.kind == "sync" && dirs.count(c.path)) {
            // A folder's sync makes its entries as they are now the ones that last.
            const auto inFolder = [&](const std::string& p) { return p != "" && parentOf(p) == c.path; };
            std::erase_if(durable, [&](const auto& e) { return inFolder(e.first); });
            std::erase_if(durableDirs, inFolder);
            for (const auto& e : names)
                if (inFolder(e.first)) durable.insert(e);
            for (const std::string& d : dirs)
                if (inFolder(d)) durableDirs.insert(d);
        } else if (c.kind == "sync") {
            Node& n = nodes[nodeOf(c)];
            n.synced = n.data;
        } else if (c.kind == "rename" || c.kind == "link") {
            if (!names.count(c.path)) return;  // a folder: the program renames none
            names[c.path2] = names[c.path];
            lastPlaced[c.path2] = nodes[names[c.path]].data;
            if (c.kind == "rename") names.erase(c.path);
        } else if (c.kind == "unlink") {
            names.erase(c.path);
        } else if (c.kind == "mkdir") {
            dirs.insert(c.path);
        } else if (c.kind == "rmdir") {
            dirs.erase(c.path);
        }
    }
    /// The files after a cut now (without their folders' contents for folders that are gone).
    std::map<std::string, std::string> afterCut(bool posix) const {
        std::map<std::string, std::string> files;
        if (posix) {
            for (const auto& [p, n] : durable) {
                bool reachable = true;
                for (std::string d = parentOf(p); d != ""; d = parentOf(d))
                    reachable = reachable && durableDirs.count(d);
                if (reachable) files[p] = nodes[n].synced;
            }
        } else {
            for (const auto& [p, n] : names) {
                const Node& node = nodes[n];
                files[p] = node.data.size() > node.synced.size() ? node.data.substr(0, node.synced.size()) : node.data;
            }
        }
        return files;
    }
    std::map<std::string, std::string> now() const {
        std::map<std::string, std::string> files;
        for (const auto& [p, n] : names) files[p] = nodes[n].data;
        return files;
    }
};

// ---- the checks ----

bool isRecordFile(const std::string& p) {
    return p.rfind(std::string(rx47::kRecordFolder) + "/", 0) == 0 && p.size() > 4 &&
           p.compare(p.size() - 4, 4, ".csv") == 0;
}

struct Checker {
    fs::path scratch;
    std::unordered_map<std::size_t, rx47::test::SettingsFileCheck> settingsChecks;
    std::unordered_map<std::size_t, std::string> recordChecks;

    /// The settings file as the program would find it: copied with its journal, opened with its key.
    const rx47::test::SettingsFileCheck& settings(const std::map<std::string, std::string>& files) {
        const auto db = files.find(kDb), journal = files.find(kJournal);
        const std::string key = (db == files.end() ? "-" : "+" + db->second) + '\0' +
                                (journal == files.end() ? "-" : "+" + journal->second);
        auto [it, added] = settingsChecks.try_emplace(std::hash<std::string>{}(key));
        if (added) {
            if (db != files.end()) writeBytes(scratch / kDb, db->second);
            fs::remove(scratch / kJournal);
            if (journal != files.end()) writeBytes(scratch / kJournal, journal->second);
            it->second = db == files.end() ? rx47::test::SettingsFileCheck{"missing", 0, {}, {}}
                                           : rx47::test::checkSettingsFile(scratch / kDb);
            fs::remove(scratch / kDb);
        }
        return it->second;
    }
    const std::string& record(const std::string& bytes) {
        auto [it, added] = recordChecks.try_emplace(std::hash<std::string>{}(bytes));
        if (added) {
            writeBytes(scratch / "record.csv", bytes);
            it->second = rx47::test::checkRecordFile(scratch / "record.csv").problem;
        }
        return it->second;
    }
};

struct Figures {
    int calls = 0, commits = 0, recordSyncs = 0;
    std::map<std::string, int> cuts, failures, byKind;  // by model; failures by model and kind
};

/// Replays a run's log from the folder as it was before the run, and checks every cut under both
/// models. Returns the problems with the real end state (the log must account for all of it).
std::vector<std::string> replay(const fs::path& root, const Model& before, const std::vector<Call>& calls,
                                Checker& checker, Figures& figures) {
    // A step is over once the closes and folder syncs right after its last call returned: a
    // settings commit when the name of RX47.dat or its journal changed (a rename into place, the
    // journal deleted), a record line when its file was synced.
    std::set<std::string> folders{""};
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_directory()) folders.insert(fs::relative(e.path(), root).string());
    for (const Call& c : calls)
        if (c.kind == "mkdir") folders.insert(c.path);
    const auto endOf = [&](std::size_t i) {
        const std::string& file = calls[i].path;
        const auto after = [&](const Call& c) {
            return (c.kind == "close" || c.kind == "sync") && (folders.count(c.path) || c.path == file);
        };
        while (i + 1 < calls.size() && after(calls[i + 1])) ++i;
        return i + 1;  // the cut after this many calls has it returned
    };
    std::vector<std::size_t> commitEnds;
    std::map<std::size_t, std::vector<std::size_t>> lineEnds;  // cut -> the record syncs over by then
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        if (((c.kind == "rename" || c.kind == "link") && c.path2 == kDb) || (c.kind == "unlink" && c.path == kJournal))
            commitEnds.push_back(endOf(i));
        if (c.kind == "sync" && isRecordFile(c.path)) lineEnds[endOf(i)].push_back(i);
    }
    figures.calls += static_cast<int>(calls.size());
    figures.commits += static_cast<int>(commitEnds.size());

    Model model = before;
    const rx47::test::SettingsFileCheck initial = checker.settings(model.now());
    std::vector<const rx47::test::SettingsFileCheck*> committed;  // each commit's state, once returned
    std::set<std::string> whole{model.now().count(kMetrics) ? model.now().at(kMetrics) : ""};
    std::map<std::string, std::string> recorded;  // by record file: what its returned appends promise
    std::map<std::size_t, std::string> syncedAt;  // a record file as synced by a call
    for (const auto& [p, bytes] : model.now())
        if (isRecordFile(p)) recorded[p] = bytes;
    const rx47::test::SettingsFileCheck* next = nullptr;  // the state of the commit under way
    std::size_t nextFor = SIZE_MAX;
    // Failures are printed by runs of cuts with the same problems.
    std::map<std::string, std::pair<std::size_t, std::string>> open;  // by model: first cut, problems
    const auto report = [&](const std::string& model, std::size_t cut, const std::string& text) {
        auto& [first, was] = open[model];
        if (text == was) return;
        const auto call = [&](std::size_t k) { return k ? calls[k - 1].text() : std::string("none"); };
        if (!was.empty())
            std::printf("  %-5s cuts after calls %zu to %zu of %zu (%s ... %s):\n%s", model.c_str(), first, cut - 1,
                        calls.size(), call(first).c_str(), call(cut - 1).c_str(), was.c_str());
        first = cut, was = text;
    };
    for (std::size_t cut = 0; cut <= calls.size(); ++cut) {
        if (cut > 0) {
            const Call& c = calls[cut - 1];
            model.apply(c);
            if (c.kind == "sync" && isRecordFile(c.path))
                ++figures.recordSyncs, syncedAt[cut - 1] = model.nodes[model.names[c.path]].data;
            if (c.kind == "rename" && c.path2 == kMetrics) whole.insert(model.lastPlaced[kMetrics]);
        }
        for (std::size_t i : lineEnds[cut]) recorded[calls[i].path] = syncedAt[i];
        const auto truth = model.now();
        const std::size_t done = committed.size();
        if (done < commitEnds.size() && commitEnds[done] == cut) committed.push_back(&checker.settings(truth));
        // The commit under way may have reached the disk already.
        std::vector<const rx47::test::SettingsFileCheck*> allowed{done ? committed.back() : &initial};
        if (done < commitEnds.size() && nextFor != done) {
            Model ahead = model;
            for (std::size_t i = cut; i < commitEnds[done]; ++i) ahead.apply(calls[i]);
            next = &checker.settings(ahead.now());
            nextFor = done;
        }
        if (done < commitEnds.size()) allowed.push_back(next);

        for (const bool posix : {true, false}) {
            const std::string name = posix ? "posix" : "ext4";
            ++figures.cuts[name];
            const auto files = model.afterCut(posix);
            std::vector<std::pair<std::string, std::string>> problems;  // kind, text
            // The settings.
            const auto& found = checker.settings(files);
            bool matches = false;
            for (const auto* a : allowed)
                matches = matches ||
                          (found.problem == a->problem && rx47::test::settingDifferences(found.row, a->row).empty());
            if (!matches) {
                const auto* last = allowed.front();
                std::string what = found.problem.empty() ? "" : found.problem;
                for (const std::string& d : rx47::test::settingDifferences(found.row, last->row))
                    what += (what.empty() ? "" : "; ") + d;
                problems.push_back({"settings", "RX47.dat: " + (what.empty() ? last->problem : what) +
                                                    (done ? " (after a returned commit)" : "")});
            }
            // The records: every synced line kept, every file whole.
            for (const auto& [p, synced] : recorded) {
                const auto f = files.find(p);
                if (f == files.end() ? !synced.empty() : f->second.compare(0, synced.size(), synced) != 0)
                    problems.push_back({"records", p + ": synced lines lost" + (f == files.end() ? " (no file)" : "")});
                else if (f != files.end() && !checker.record(f->second).empty())
                    problems.push_back({"records", p + ": " + checker.record(f->second)});
            }
            // The metrics file.
            if (files.count(kMetrics) && !whole.count(files.at(kMetrics)))
                problems.push_back({"metrics", kMetrics + ": not a file the program put in place"});

            std::string text;
            for (const auto& [kind, line] : problems) text += "        " + line + "\n";
            report(name, cut, text);
            if (problems.empty()) continue;
            ++figures.failures[name];
            std::set<std::string> kinds;
            for (const auto& [kind, line] : problems) kinds.insert(kind);
            for (const std::string& kind : kinds) ++figures.byKind[name + " " + kind];
        }
    }
    report("posix", calls.size() + 1, ""), report("ext4", calls.size() + 1, "");

    // The log must account for every file the run left.
    std::vector<std::string> unexplained;
    const auto truth = model.now();
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file() || e.is_symlink()) continue;
        const std::string p = fs::relative(e.path(), root).string();
        if (!truth.count(p))
            unexplained.push_back(p + ": on disk, not in the log");
        else if (truth.at(p) != bytesOf(e.path()))
            unexplained.push_back(p + ": on disk not as the log wrote it");
    }
    for (const auto& [p, bytes] : truth)
        if (!fs::exists(root / p)) unexplained.push_back(p + ": in the log, not on disk");
    return unexplained;
}

// ---- the runs ----

struct Run {
    fs::path work, data, log;
    rx47::test::ProgramCopy* program;
    rx47::test::DesktopSession* desktop;
    rx47sim::Simulator* device;
    std::vector<std::string> problems;

    std::vector<Call> calls() const { return fs::exists(log) ? readLog(log, data.string()) : std::vector<Call>{}; }
    /// How many calls of a kind the log has on a file, by its path or its name.
    int count(const std::string& kind, const std::string& file) const {
        int n = 0;
        for (const Call& c : calls()) n += c.kind == kind && (c.path == file || fs::path(c.path).filename() == file);
        return n;
    }
    /// One run of the program from `start` (local, fake clock ten times as fast), ending by SIGTERM
    /// once `lines` lines went into the daily file of June 1st.
    std::vector<Call> go(const rx47::LocalDateTime& start, int lines, bool turnWheel) {
        fs::remove(log);
        rx47::test::LaunchOptions launch;
        launch.fakeStart = start;
        launch.fakeSpeed = 10;
        launch.preload = {RX47_FILE_HOOKS_LIBRARY};
        launch.environment = {"RX47_WRITE_LOG=" + log.string(), "RX47_WRITE_LOG_ROOT=" + data.string()};
        launch.arguments = {"--folder", data.string(), "--metrics", (data / kMetrics).string()};
        launch.errorLog = work / "program.log";
        if (desktop->ready()) launch.display = desktop->display();
        const auto shows = [&] { return rx47::test::timesReceived(*device, "show"); };
        const auto before = shows();
        rx47::test::RealProgram program(*this->program, launch);
        if (!rx47::test::waitFor([&] { return shows() > before; }, 30s))
            problems.push_back("the program did not come up");
        // The first minute's record comes after the device's first report and its commits.
        rx47::test::waitFor(
            [&] { return count("sync", std::string(rx47::kRecordFolder) + "/" + rx47::kMasterRecordFile) > 0; }, 30s);
        if (turnWheel && desktop->ready()) {
            // The user turns the mouse wheel over the CPM scale list: the next scale, committed at once.
            // (Qt on the test's X server lays the window out at 96 dpi: 15 twips a pixel.)
            const auto box = rx47::makeMainForm().Combo1[rx47::kCpmScaleList].geometry;
            const auto commits = [&] { return count("unlink", kJournal); };
            unsigned long window = 0;  // the main window, not the splash of the same title
            rx47::test::waitFor(
                [&] {
                    for (unsigned long w : desktop->windowsNamed("^ RX47 monitor$"))
                        if (!window && desktop->frameOf(w).width >= 800) window = w;
                    return window != 0;
                },
                20s);
            const int before = commits();
            if (window) {
                desktop->run("xdotool mousemove --window " + std::to_string(window) + " " +
                             std::to_string((box.left + box.width / 2) / 15) + " " +
                             std::to_string((box.top + box.height / 2) / 15) + " click 5");
            }
            if (!rx47::test::waitFor([&] { return commits() > before; }, 10s))
                problems.push_back("the wheel over the CPM scale list committed nothing");
        }
        if (!rx47::test::waitFor([&] { return count("sync", "2026-06-01.csv") >= lines; }, 60s))
            problems.push_back("fewer than " + std::to_string(lines) + " lines for 2026-06-01");
        if (!program.endWith(SIGTERM, 20s) || program.exitCode() != 0) problems.push_back("did not end in order");
        return calls();
    }
};

}  // namespace

int main(int argc, char** argv) {
    bool full = false, keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--full")
            full = true;
        else if (a == "--keep")
            keep = true;
        else
            return std::fprintf(stderr, "usage: power_cut [--full] [--keep]\n"), 2;
    }
    if (rx47::test::fakeTimeLibrary().empty())
        return std::fprintf(stderr, "power_cut: libfaketime is not installed (Debian package faketime)\n"), 2;
    const auto started = std::chrono::steady_clock::now();

    // An installed layout: the program in bin/, the supplied files in share/, the program folder
    // (with its port table) seeded by the program's first start.
    const fs::path work = fs::temp_directory_path() / ("rx47-power-cut-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "bin");
    fs::create_directories(work / "share/rx47-monitor");
    fs::create_directories(work / "scratch");
    for (const char* f : {"RX47.dat", "RX47.wav"})
        fs::copy_file(fs::path(RX47_SUPPLIED_FOLDER) / f, work / "share/rx47-monitor" / f);
    int failed = 0;
    Figures figures;
    std::vector<std::string> problems;
    {
        rx47::test::ProgramCopy program(work / "bin", false);
        rx47::test::DesktopSession desktop;
        rx47sim::Options deviceOptions = rx47::test::deviceOn(work / "data/ports/COM1");
        deviceOptions.gms = 150;  // the device's first report changes both stored values
        deviceOptions.atc = 250;
        rx47sim::Simulator device(deviceOptions);
        Run run{work, work / "data", work / "write.log", &program, &desktop, &device, {}};
        Checker checker{work / "scratch", {}, {}};
        if (!desktop.ready()) std::printf("no desktop (Xvfb with openbox): the window's commit is left out\n");

        const auto check = [&](const char* what, const Model& before, const std::vector<Call>& calls) {
            std::printf("%s: %zu calls\n", what, calls.size());
            for (const std::string& p : replay(run.data, before, calls, checker, figures))
                problems.push_back(std::string(what) + ": " + p);
        };
        // The first start: seeding, the device's first report, the window, minutes into a new month.
        {
            const Model before(run.data);
            const std::vector<Call> calls = run.go({2026, 5, 31, 23, 58, 30}, full ? 3 : 2, true);
            check("first run", before, calls);

            // A cut inside the master file's second append, with half of it on disk (as a file system
            // without ordered data may leave it): the next start may end or drop the torn piece, but
            // must keep the lines before it and put its own lines whole after it, never joined to it.
            const std::string master = std::string(rx47::kRecordFolder) + "/" + rx47::kMasterRecordFile;
            Model cut = before;
            int appends = 0;
            for (const Call& c : calls) {
                if (c.kind == "write" && c.path == master && ++appends == 2) {
                    auto files = cut.afterCut(false);
                    const std::string kept = files[master], piece = c.bytes.substr(0, c.bytes.size() / 2);
                    files[master] += piece;
                    for (const auto& [p, bytes] : files) {
                        fs::create_directories((work / "torn" / p).parent_path());
                        writeBytes(work / "torn" / p, bytes);
                    }
                    fs::create_directories(work / "torn/ports");
                    fs::create_symlink(device.ptyPath(), work / "torn/ports/COM1");
                    Run again{work, work / "torn", work / "torn.log", &program, &desktop, &device, {}};
                    again.go({2026, 6, 1, 0, 10, 30}, 1, false);
                    std::string after = bytesOf(work / "torn" / master), problem;
                    if (after.compare(0, kept.size(), kept) != 0) {
                        problem = "the lines before the torn one changed";
                    } else {
                        after.erase(0, kept.size());
                        if (after.rfind(piece + "\r\n", 0) == 0) after.erase(0, piece.size() + 2);
                        writeBytes(work / "scratch/restart.csv", rx47::test::kRecordHeaders + after);
                        problem = rx47::test::checkRecordFile(work / "scratch/restart.csv").problem;
                        if (after.empty()) problem = "no line after the restart";
                    }
                    std::printf("restart after a torn line in %s: %s\n", master.c_str(),
                                problem.empty() ? "its next line whole" : problem.c_str());
                    if (!problem.empty()) problems.push_back("restart after a torn line: " + problem);
                    for (const std::string& p : again.problems) problems.push_back("restart: " + p);
                    break;
                }
                cut.apply(c);
            }
        }
        if (full) {
            // The 100th exit compacts the settings.
            rx47::test::StoredSettings row(run.data);
            row.write("running", std::int64_t{100});
            row.commit();
            row.close();
            const Model before(run.data);
            check("100th exit", before, run.go({2026, 6, 1, 0, 4, 30}, 1, false));
        }
        const auto end = rx47::test::checkSettingsFile(run.data / kDb);
        // What the device and the window set is there at the end.
        Row expected{{"gkeisuu", std::int64_t{150}}, {"warnCPMlevel", std::int64_t{250}}};
        if (desktop.ready()) expected["CPMscale"] = std::string("200");
        for (const auto& [column, value] : expected)
            for (const std::string& d : rx47::test::settingDifferences(end.row, {{column, value}}))
                problems.push_back("at the end, RX47.dat " + d);
        for (const std::string& p : run.problems) problems.push_back(p);
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("\npower cut: %d calls logged, %d settings commits, %d record syncs, in %.0f s\n", figures.calls,
                figures.commits, figures.recordSyncs, seconds);
    for (const char* model : {"posix", "ext4"}) {
        std::printf("  %-5s %d cut points checked, %d failed", model, figures.cuts[model], figures.failures[model]);
        for (const auto& [kind, n] : figures.byKind)
            if (kind.rfind(std::string(model) + " ", 0) == 0)
                std::printf(", %s %d", kind.c_str() + strlen(model) + 1, n);
        std::printf("\n");
        failed += figures.failures[model];
    }
    for (const std::string& p : problems) std::printf("  run: %s\n", p.c_str());
    if (keep)
        std::printf("  kept %s\n", work.c_str());
    else
        fs::remove_all(work);
    return failed == 0 && problems.empty() ? 0 : 1;
}
