// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The history window: the range buttons, the plot and a status line, over the records of one program
// folder. It follows a running monitor: the record files are watched, and checked again every few
// seconds in case a change was not announced, and only what was appended is read.
#pragma once

#include <QButtonGroup>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <optional>

#include "history/alarm_levels.h"
#include "history/qt/plot_widget.h"
#include "history/record_store.h"
#include "history/view.h"

namespace rx47::history {

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    /// Reads the records at once and shows them all, or the span of the command line's --from and
    /// --to when either is given.
    explicit HistoryWindow(const std::filesystem::path& programFolder, std::optional<std::int64_t> from = std::nullopt,
                           std::optional<std::int64_t> to = std::nullopt, QWidget* parent = nullptr);

    PlotWidget& plot() { return *plot_; }
    const RecordStore& store() const { return store_; }
    QString statusText() const { return status_->text(); }
    /// Shows a range as its button does.
    void showRange(Range range);
    /// Reads what is new in the record files and the settings; what a watcher or the periodic
    /// check runs.
    void refresh();

private:
    void watchFiles();
    void readLevels();
    void showStatus();

    std::filesystem::path programFolder_;
    RecordStore store_;
    PlotWidget* plot_ = nullptr;
    QLabel* status_ = nullptr;
    QButtonGroup* ranges_ = nullptr;
    QFileSystemWatcher watcher_;
    QTimer check_;
    QTimer settle_;
    std::optional<Range> range_;  // the range button in force, until the user zooms or pans
    std::filesystem::file_time_type settingsTime_{};
};

}  // namespace rx47::history
