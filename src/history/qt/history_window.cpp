// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/qt/history_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <ctime>
#include <system_error>

#include "history/minute_cache.h"
#include "storage/records.h"
#include "storage/settings_row.h"
#include "ui/qt/conversions.h"

namespace rx47::history {

namespace {

/// The periodic check: a change the watcher missed (a network folder, a watch limit) shows within
/// this time; the monitor writes once a minute.
constexpr std::chrono::seconds kCheckInterval{10};
/// A burst of watcher signals (the master and the daily file, one after the other) is read once.
constexpr std::chrono::milliseconds kSettleDelay{200};

}  // namespace

HistoryWindow::HistoryWindow(const std::filesystem::path& programFolder, std::optional<std::int64_t> from,
                             std::optional<std::int64_t> to, QWidget* parent)
    : QWidget(parent), programFolder_(programFolder), store_(programFolder, userCacheFolder()) {
    setWindowTitle(QStringLiteral("RX47 履歴 — %1").arg(qtPath(programFolder)));
    // The values under the pointer, also while another window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    ranges_ = new QButtonGroup(this);
    const std::pair<const char*, Range> kButtons[] = {
        {"日", Range::Day}, {"週", Range::Week}, {"月", Range::Month}, {"全期間", Range::All}};
    for (const auto& [caption, range] : kButtons) {
        auto* button = new QPushButton(QString::fromUtf8(caption), this);
        button->setCheckable(true);
        ranges_->addButton(button, static_cast<int>(range));
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    plot_ = new PlotWidget(this);
    layout->addWidget(plot_, 1);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    resize(1100, 640);

    connect(ranges_, &QButtonGroup::idClicked, this, [this](int id) { showRange(static_cast<Range>(id)); });
    connect(plot_, &PlotWidget::viewMoved, this, [this] {
        range_.reset();
        ranges_->setExclusive(false);
        for (QAbstractButton* b : ranges_->buttons()) b->setChecked(false);
        ranges_->setExclusive(true);
    });

    settle_.setSingleShot(true);
    settle_.setInterval(kSettleDelay);
    connect(&settle_, &QTimer::timeout, this, &HistoryWindow::refresh);
    const auto soon = [this] {
        if (!settle_.isActive()) settle_.start();
    };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, soon);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, soon);
    check_.setInterval(kCheckInterval);
    connect(&check_, &QTimer::timeout, this, &HistoryWindow::refresh);
    check_.start();

    readLevels();
    store_.refresh();
    plot_->setMinutes(store_.minutes(), &store_.index());
    watchFiles();
    if (from || to)
        plot_->setView(requestedSpan(from, to, extent(store_.minutes()), std::time(nullptr)));
    else
        showRange(Range::All);
    showStatus();
}

void HistoryWindow::showRange(Range range) {
    range_ = range;
    if (QAbstractButton* b = ranges_->button(static_cast<int>(range))) b->setChecked(true);
    plot_->setView(rangeSpan(range, extent(store_.minutes()), std::time(nullptr)));
}

void HistoryWindow::refresh() {
    readLevels();
    const TimeSpan before = extent(store_.minutes());
    const bool changed = store_.refresh();
    watchFiles();
    if (changed) {
        const TimeSpan after = extent(store_.minutes());
        plot_->setMinutes(store_.minutes(), &store_.index());
        if (range_)
            plot_->setView(rangeSpan(*range_, after, std::time(nullptr)));
        else
            plot_->setView(followed(plot_->view(), before, after));
    }
    showStatus();
}

void HistoryWindow::watchFiles() {
    // The record folder and its month folders announce new files; the files announce new lines.
    QStringList wanted;
    const auto add = [&](const std::filesystem::path& p) { wanted << qtPath(p); };
    if (store_.hasRecordFolder()) {
        add(store_.recordFolder());
        // The master and the newest daily files grow; older days are done (the periodic check
        // still looks at them).
        const std::vector<std::filesystem::path> files = store_.files();
        for (std::size_t i = 0; i < files.size(); ++i) {
            add(files[i].parent_path());
            if (i + 2 >= files.size() || files[i].filename() == kMasterRecordFile) add(files[i]);
        }
    } else {
        // A program folder the monitor has not made yet announces itself in its parent.
        std::error_code ec;
        add(std::filesystem::exists(programFolder_, ec) ? programFolder_ : programFolder_.parent_path());
    }
    wanted.removeDuplicates();
    QStringList missing;
    const QStringList watched = watcher_.files() + watcher_.directories();
    for (const QString& p : wanted)
        if (!watched.contains(p)) missing << p;
    if (!missing.isEmpty()) watcher_.addPaths(missing);
}

void HistoryWindow::readLevels() {
    // Opening the settings file costs a key derivation: only when it changed.
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(programFolder_ / kSettingsFileName, ec);
    if (ec) {
        plot_->setLevels({});
        settingsTime_ = {};
        return;
    }
    if (time == settingsTime_) return;
    settingsTime_ = time;
    plot_->setLevels(readAlarmLevels(programFolder_));
}

void HistoryWindow::showStatus() {
    const LineCounts counts = store_.counts();
    QString text = qtText(
        history::statusText(store_.minutes().size(), extent(store_.minutes()), counts.skipped(), store_.unreadable()));
    if (!store_.hasRecordFolder()) text += QStringLiteral("  (%1 がありません)").arg(qtPath(store_.recordFolder()));
    status_->setText(text);
}

}  // namespace rx47::history
