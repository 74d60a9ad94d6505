// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/on_demand_wave_player.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/failure.h"

namespace rx47 {
namespace {

/// The folders the program's own run path names, as the dynamic linker expands them ($ORIGIN and
/// all). The module is looked for there by its full path: a plain dlopen() by name searches the run
/// path of whoever calls it, and under a sanitizer's interposed dlopen() that is not the program.
std::vector<std::filesystem::path> programRunPath() {
    void* self = ::dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size{};
    if (!self || ::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0) return {};
    const std::unique_ptr<void, decltype(&std::free)> buffer(std::malloc(size.dls_size), &std::free);
    if (!buffer) return {};
    auto* info = static_cast<Dl_serinfo*>(buffer.get());
    if (::dlinfo(self, RTLD_DI_SERINFOSIZE, info) != 0 || ::dlinfo(self, RTLD_DI_SERINFO, info) != 0) return {};
    std::vector<std::filesystem::path> folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i) folders.emplace_back(info->dls_serpath[i].dls_name);
    return folders;
}

}  // namespace

OnDemandWavePlayer::OnDemandWavePlayer(std::filesystem::path moduleFolder) : moduleFolder_(std::move(moduleFolder)) {}

OnDemandWavePlayer::~OnDemandWavePlayer() = default;

void OnDemandWavePlayer::setCompletionHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (player_) player_->setCompletionHandler(handler_);
}

void OnDemandWavePlayer::open(const std::filesystem::path& file) {
    if (!player_) {
        // Where an install puts it, ../lib/rx47-monitor from the program; else in the folder the
        // program names (the build's, for a copy of the build's program elsewhere), or wherever the
        // program's run path says. Never unloaded: the Qt objects it makes live as long as the program.
        std::error_code ec;
        const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / ".." / "lib" /
                            "rx47-monitor" / kSoundModule;
        void* module = ec ? nullptr : ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        std::vector<std::filesystem::path> folders;
        if (!module && !moduleFolder_.empty()) folders.push_back(moduleFolder_);
        if (!module) {
            const auto runPath = programRunPath();
            folders.insert(folders.end(), runPath.begin(), runPath.end());
        }
        for (const auto& folder : folders) {
            std::error_code missing;
            if (!std::filesystem::exists(folder / kSoundModule, missing)) continue;
            module = ::dlopen((folder / kSoundModule).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module) break;
        }
        if (!module) module = ::dlopen(kSoundModule, RTLD_NOW | RTLD_LOCAL);
        if (!module) throw FileError(std::string("no sound player: ") + ::dlerror());
        using Make = WavePlayer* (*)();
        const auto make = reinterpret_cast<Make>(::dlsym(module, "rx47_make_wave_player"));
        if (!make) throw FileError(std::string("no sound player in ") + kSoundModule);
        player_.reset(make());
        player_->setCompletionHandler(handler_);
    }
    player_->open(file);
}

void OnDemandWavePlayer::play() {
    if (!player_) throw FileError("no sound open");
    player_->play();
}

void OnDemandWavePlayer::stop() {
    if (player_) player_->stop();
}

void OnDemandWavePlayer::rewind() {
    if (player_) player_->rewind();
}

void OnDemandWavePlayer::close() {
    if (player_) player_->close();
}

std::chrono::milliseconds OnDemandWavePlayer::length() const {
    return player_ ? player_->length() : std::chrono::milliseconds::zero();
}

}  // namespace rx47
