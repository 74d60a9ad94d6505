// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/qt/plot_widget.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "history/view.h"
#include "ui/qt/conversions.h"

namespace rx47::history {

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(480, 320);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotWidget::setMinutes(std::span<const Minute> minutes, const SeriesIndex* index) {
    scene_.minutes = minutes;
    scene_.index = index;
    records_ = extent(minutes);
    update();
}

void PlotWidget::setLevels(const AlarmLevels& levels) {
    if (levels == scene_.levels) return;
    scene_.levels = levels;
    update();
}

void PlotWidget::setView(TimeSpan view) {
    if (view == scene_.view) return;
    scene_.view = view;
    update();
}

void PlotWidget::moveTo(TimeSpan view) {
    if (view == scene_.view) return;
    setView(view);
    emit viewMoved(view);
}

QString PlotWidget::tooltipAt(int x) const {
    const PlotLayout layout = plotLayout(rect());
    const int column = layout.columnAt(x);
    if (column < 0) return {};
    const Bucket b = bucketAt(scene_.minutes, scene_.view, layout.columns(), column, scene_.index);
    return qtText(tooltipText(b, scene_.minutes));
}

void PlotWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPlot(painter, rect(), scene_);
}

void PlotWidget::wheelEvent(QWheelEvent* event) {
    const PlotLayout layout = plotLayout(rect());
    const double anchor = (event->position().x() - layout.cpm.left()) / std::max(1, layout.columns());
    // One notch of the wheel narrows or widens the view by a fifth.
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    moveTo(zoomed(scene_.view, std::pow(0.8, notches), anchor, records_));
    event->accept();
}

void PlotWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragStart_ = event->position().toPoint();
    dragView_ = scene_.view;
    setCursor(Qt::ClosedHandCursor);
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragStart_) {
        // A tip already up follows the pointer from column to column.
        if (QToolTip::isVisible()) {
            const QString text = tooltipAt(event->position().toPoint().x());
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(event->globalPosition().toPoint(), text, this);
        }
        return;
    }
    const PlotLayout layout = plotLayout(rect());
    const double dx = event->position().x() - dragStart_->x();
    const auto seconds = static_cast<std::int64_t>(
        std::llround(-dx * static_cast<double>(dragView_.length()) / std::max(1, layout.columns())));
    moveTo(panned(dragView_, seconds, records_));
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragStart_.reset();
    unsetCursor();
}

bool PlotWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = tooltipAt(help->pos().x());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

}  // namespace rx47::history
