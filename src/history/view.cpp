// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "history/local_time.h"

namespace rx47::history {

namespace {

std::string figure(float v) {
    return v != v ? "-" : figureText(v);
}
std::string figure(double v) {
    return v != v ? "-" : figureText(v);
}
std::string dose(float v) {
    return v != v ? "-" : doseFigureText(v);
}

std::string fixed(double v, int decimals) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

std::string spread(const Summary& s, int decimals, std::string (*text)(float)) {
    if (s.empty()) return "-";
    return "最小 " + text(s.min) + " / 平均 " + fixed(s.mean(), decimals) + " / 最大 " + text(s.max);
}

std::string hourMinute(std::int64_t t) {
    return shortText(t).substr(11);
}

}  // namespace

TimeSpan rangeSpan(Range range, TimeSpan records, std::int64_t now) {
    const bool any = records.length() > 0;
    const std::int64_t end = any ? records.to : (now / 60 + 1) * 60;
    switch (range) {
        case Range::Day:
            return {end - kDaySeconds, end};
        case Range::Week:
            return {end - 7 * kDaySeconds, end};
        case Range::Month:
            return {end - 30 * kDaySeconds, end};
        case Range::All:
            break;
    }
    if (!any) return {end - kDaySeconds, end};
    // A few minutes still get a readable view.
    if (records.length() < kNarrowestView) return {records.to - kNarrowestView, records.to};
    return records;
}

TimeSpan requestedSpan(std::optional<std::int64_t> from, std::optional<std::int64_t> to, TimeSpan records,
                       std::int64_t now) {
    const TimeSpan span{from.value_or(records.from), to.value_or(records.to)};
    if (span.length() > 0) return span;
    if (from) return {*from, *from + kDaySeconds};
    if (to) return {*to - kDaySeconds, *to};
    return rangeSpan(Range::All, records, now);
}

TimeSpan panned(TimeSpan view, std::int64_t seconds, TimeSpan records) {
    const std::int64_t length = view.length();
    std::int64_t from = view.from + seconds;
    if (records.length() > 0) {
        // The middle of the view stays over the records.
        from =
            std::clamp(from, records.from - length / 2, std::max(records.from - length / 2, records.to - length / 2));
    }
    return {from, from + length};
}

TimeSpan zoomed(TimeSpan view, double factor, double anchor, TimeSpan records) {
    anchor = std::clamp(anchor, 0.0, 1.0);
    const double widest = std::max<double>(static_cast<double>(records.length()) * 1.25, 365.0 * kDaySeconds);
    const double length = std::clamp(static_cast<double>(view.length()) * factor, double(kNarrowestView), widest);
    const double at = static_cast<double>(view.from) + anchor * static_cast<double>(view.length());
    const auto from = static_cast<std::int64_t>(std::llround(at - anchor * length));
    const TimeSpan wanted{from, from + static_cast<std::int64_t>(std::llround(length))};
    return panned(wanted, 0, records);
}

TimeSpan followed(TimeSpan view, TimeSpan before, TimeSpan after) {
    if (before.length() <= 0 || after.to <= before.to || view.to < before.to) return view;
    const std::int64_t shift = after.to - before.to;
    return {view.from + shift, view.to + shift};
}

ValueScale valueScale(double largest, std::optional<double> alarmLevel) {
    double high = std::isfinite(largest) ? std::max(largest, 0.0) : 0.0;
    if (alarmLevel && std::isfinite(*alarmLevel)) high = std::max(high, *alarmLevel);
    if (high <= 0) return {1, 0.2};
    // Five or six marks above 0.
    const double raw = high * 1.05 / 6;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude * 10;
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw * 0.999999) {
            step = m * magnitude;
            break;
        }
    }
    double top = std::ceil(high * 1.05 / step) * step;
    if (top <= high) top += step;
    return {top, step};
}

std::string valueText(double value, double step) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return fixed(value, std::clamp(decimals, 0, 6));
}

std::string tooltipText(const Bucket& bucket, std::span<const Minute> minutes) {
    if (bucket.empty() || bucket.minutes.last > minutes.size()) return {};
    const Minute& last = minutes[bucket.minutes.last - 1];
    std::string text;
    if (bucket.minutes.size() == 1) {
        text = shortText(last.time) + "\n";
        text += "直近平均  " + figure(last.cpm) + " CPM  " + dose(last.dose) + " μSv/h\n";
    } else {
        const Minute& first = minutes[bucket.minutes.first];
        text = shortText(first.time) + " 〜 " + hourMinute(last.time) + "  (" + std::to_string(bucket.minutes.size()) +
               " 分)\n";
        if (localFields(first.time).day != localFields(last.time).day)
            text = shortText(first.time) + " 〜 " + shortText(last.time) + "  (" +
                   std::to_string(bucket.minutes.size()) + " 分)\n";
        text += "直近平均 CPM  " + spread(bucket.cpm, 1, figure) + "\n";
        text += "直近平均 μSv/h  " + spread(bucket.dose, 3, dose) + "\n";
    }
    const std::string when = bucket.minutes.size() == 1 ? "" : " (" + hourMinute(last.time) + ")";
    text += "空間平均" + when + "  " + figure(last.averageCpm) + " CPM  " + dose(last.averageDose) + " μSv/h\n";
    text += "検出数" + when + "  " + figure(last.totalCount);
    return text;
}

std::string statusText(std::size_t minutes, TimeSpan records, std::size_t skipped, std::size_t unreadable) {
    std::string text = minutes == 0 ? "記録がありません"
                                    : std::to_string(minutes) + " 分の記録  " + shortText(records.from) + " 〜 " +
                                          shortText(records.to - 60);
    if (skipped) text += "  読み飛ばした行 " + std::to_string(skipped);
    if (unreadable) text += "  読めないファイル " + std::to_string(unreadable);
    return text;
}

}  // namespace rx47::history
