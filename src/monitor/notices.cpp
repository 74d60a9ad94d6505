#include "monitor/notices.h"

#include "base/log.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"

namespace rx47 {

void setNotice(Context& ctx, Notice notice, std::string text) {
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
}

void recordsFailed(Context& ctx, const std::string& why, bool ofTheFiles) {
    const std::string folder = (ctx.programFolder / "record").string();
    ctx.log.fail(LogCategory::Records, kRecordsCause, "records are not written: " + why);
    if (!ofTheFiles) return;
    // The system's own words come after the file name in the failure.
    const auto colon = why.rfind(": ");
    const std::string reason = colon == std::string::npos ? why : why.substr(colon + 2);
    setNotice(ctx, Notice::Records, "測定結果を " + folder + " に記録できません（" + reason + "）");
}

void recordsWritten(Context& ctx) {
    ctx.log.clear(LogCategory::Records, kRecordsCause, "records are written again");
    if (!ctx.state.notices[static_cast<std::size_t>(Notice::Records)].empty()) setNotice(ctx, Notice::Records, "");
}

}  // namespace rx47
