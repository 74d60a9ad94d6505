#include "model/main_form.h"

#include <string>

namespace rx47 {

namespace {

const std::string kCpm = "CPM";
const std::string kMicroSievert = "μSv/h";

}  // namespace

MainForm makeMainForm() {
    MainForm f;

    // Graph area.
    f.lbl[0].caption = "CPM";
    for (int i = 1; i <= 10; ++i) f.lbl[i].caption = std::to_string(i * 10);
    const char* doseAxis[] = {"0.066", "0.133", "0.200", "0.266", "0.333", "0.400"};
    for (int i = 0; i < 6; ++i) f.lbl[11 + i].caption = doseAxis[i];
    f.lbl[17].caption = kMicroSievert;
    for (auto& t : f.tgt) {
        t.visible = false;
        t.caption = "0";
    }
    f.tgt[82].caption = "*";
    for (auto& b : f.bar) b.visible = false;
    for (auto& t : f.tme) {
        t.caption = "00:00";
        t.visible = false;
        t.transparent = true;
    }
    f.lne[kAlarmLine].visible = false;
    f.lne[kAlarmLine].width = 2;
    f.Label[kStatusMessage].caption = "COMポート検索中";
    f.Label[kStatusMessage].visible = false;
    f.Label[kAlarmBanner].caption = "【警報】 放射線量が設定警報値を超過しました 【警報】";
    f.Label[kAlarmBanner].visible = false;
    f.Shape1[2].visible = false;

    // Status panel.
    f.Label[34].caption = "STATUS";
    f.Label[6].caption = "データ通信";
    f.Option1[0] = {"受信", true, true, {}};
    f.Option1[1] = {"停止", false, true, {}};
    f.Label[27].caption = "受信";
    f.Label[3].caption = "送信";
    f.Label[28].caption = "エラー";
    f.Label[kRxLamp].backColour = kLampDarkGreen;
    f.Label[kTxLamp].backColour = kLampDarkGreen;
    f.Label[kErrorLamp].backColour = kLampDarkRed;
    f.Label[20].caption = "放射線検出数";

    // Analysis panel: headings and units; the value captions start empty.
    f.Label[35].caption = "DATA ANALISYS";
    f.Label[1].caption = "リアルタイム値";
    f.Label[9].caption = "直近１分間統計値";
    f.Label[18].caption = "平均";
    f.Label[10].caption = "最大";
    f.Label[15].caption = "最小";
    f.Label[5].caption = "空間平均値";
    for (int i : {31, 38, 39, 40, 30}) f.Label[i].caption = kCpm;
    for (int i : {32, 41, 8, 25, 24}) f.Label[i].caption = kMicroSievert;
    for (int i : {kRealtimeCpm, kRealtimeDose, kAverageCpm, kAverageDose, kMaxCpm, kMaxDose, kMinCpm, kMinDose,
                  kRunningCpm, kRunningDose, kTotalCount})
        f.Label[i].align = Align::Right;

    // Configuration panel.
    f.Label[36].caption = "CONFIGURATION";
    f.Label[22].caption = "CPM スケール";
    f.Label[43].caption = "線量スケール";
    f.Label[2].caption = "COM ポート";
    f.Combo1[1].text = "Combo1";
    f.Label[7].caption = "カウントブザー";
    f.Option2[0] = {"オン", true, true, {}};
    f.Option2[1] = {"オフ", false, true, {}};
    f.cmd[0].caption = "リセット";
    f.cmd[0].toolTip = " システムを初期化します ";
    f.cmd[1].caption = "警報設定";

    return f;
}

}  // namespace rx47
