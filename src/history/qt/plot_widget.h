// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The plot in the window: paints the scene, zooms with the wheel about the pointer, pans with a drag
// and shows the values under the pointer in a tool tip. The span arithmetic and the texts come from
// history/view.h.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "history/qt/plot_painter.h"

namespace rx47::history {

class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);

    /// The minutes to draw and their block summaries (owned by the caller, kept alive while shown).
    void setMinutes(std::span<const Minute> minutes, const SeriesIndex* index = nullptr);
    void setLevels(const AlarmLevels& levels);
    void setView(TimeSpan view);
    TimeSpan view() const { return scene_.view; }
    /// The tool tip of the column under x ("" where there are no minutes).
    QString tooltipAt(int x) const;

signals:
    /// The user zoomed or panned.
    void viewMoved(rx47::history::TimeSpan view);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void moveTo(TimeSpan view);

    PlotScene scene_;
    TimeSpan records_;
    std::optional<QPoint> dragStart_;
    TimeSpan dragView_;
};

}  // namespace rx47::history
