// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/notices.h"

#include "base/log.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarm_sound.h"
#include "storage/program_folder.h"
#include "storage/records.h"

namespace rx47 {

void setNotice(NoticeContext ctx, Notice notice, std::string text) {
    ctx.state.notices[static_cast<std::size_t>(notice)] = std::move(text);
    std::string line;
    for (const std::string& n : ctx.state.notices) {
        if (n.empty()) continue;
        if (!line.empty()) line += "　";
        line += n;
    }
    ctx.form.notice.caption = line;
    ctx.form.notice.visible = !line.empty();
}

namespace {
constexpr const char* kRecordsCause = "records";
constexpr const char* kReadingsCause = "readings";
constexpr const char* kSoundCause = "alarm sound";
constexpr const char* kNoReadingsText = "RX47から測定値が届きません。RX47の状態を確認してください";

bool shown(const NoticeContext& ctx, Notice notice) {
    return !ctx.state.notices[static_cast<std::size_t>(notice)].empty();
}
}  // namespace

void recordsFailed(NoticeContext ctx, const std::string& why, bool ofTheFiles) {
    const std::string folder = (ctx.programFolder / kRecordFolder).string();
    ctx.log.fail(LogCategory::Records, kRecordsCause, "records are not written: " + why);
    if (!ofTheFiles) return;
    // The system's own words come after the file name in the failure.
    const auto colon = why.rfind(": ");
    const std::string reason = colon == std::string::npos ? why : why.substr(colon + 2);
    setNotice(ctx, Notice::Records, "測定結果を " + folder + " に記録できません（" + reason + "）");
}

void recordsWritten(NoticeContext ctx) {
    ctx.log.clear(LogCategory::Records, kRecordsCause, "records are written again");
    if (shown(ctx, Notice::Records)) setNotice(ctx, Notice::Records, "");
}

void readingsMissing(NoticeContext ctx) {
    ctx.log.fail(LogCategory::Port, kReadingsCause,
                 "the counter on COM" + ctx.form.Combo1[kPortList].text +
                     " answers but sends no readings; asked it again to send them (\"go\")");
    setNotice(ctx, Notice::NoReadings, kNoReadingsText);
}

void readingsArrive(NoticeContext ctx) {
    ctx.log.clear(LogCategory::Port, kReadingsCause, "the counter sends readings again");
    readingsNoticeOff(ctx);
}

void readingsNoticeOff(NoticeContext ctx) {
    if (shown(ctx, Notice::NoReadings)) setNotice(ctx, Notice::NoReadings, "");
}

void soundFailed(NoticeContext ctx, const std::string& why, bool fileMissing) {
    ctx.log.fail(LogCategory::Sound, kSoundCause, "the alarm sound cannot play: " + why);
    std::string reason = "音声を再生できません";
    if (fileMissing)
        reason = std::string(kAlarmSoundFile) + " がありません";
    else if (why.find("no audio output") != std::string::npos || why.find("no sound player") != std::string::npos)
        reason = "音声出力がありません";
    setNotice(ctx, Notice::Sound, "警報音を鳴らせません（" + reason + "）");
}

void soundPlays(NoticeContext ctx) {
    ctx.log.clear(LogCategory::Sound, kSoundCause, "the alarm sound plays again");
    if (shown(ctx, Notice::Sound)) setNotice(ctx, Notice::Sound, "");
}

}  // namespace rx47
