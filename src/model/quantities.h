// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's quantities as small value types: a count per minute, a dose rate and a length in
// twips. Each is made from a plain number by a named rule, so that where a figure is truncated and
// where it is rounded (and how) is written at the place it happens.
#pragma once

#include <cstdint>
#include <string>

namespace rx47 {

/// A whole count per minute: the device's reading made whole, the minute's average, a maximum.
class Cpm {
public:
    constexpr explicit Cpm(std::int32_t count) : count_(count) {}
    /// A reading rounded to the nearest whole count, halves to the even one (0.5 is 0, 2.5 is 2):
    /// the real-time count and the running average. Throws Overflow outside the 32-bit range.
    static Cpm roundedHalfEven(double reading);
    /// An average rounded to the nearest whole count, halves upwards (0.5 is 1, 2.5 is 3): the
    /// minute's CPM. Throws Overflow outside the 32-bit range.
    static Cpm roundedHalfUp(double average);

    constexpr std::int32_t count() const { return count_; }
    bool operator==(const Cpm&) const = default;

private:
    std::int32_t count_;
};

/// A dose rate in μSv/h: a count divided by the device's gamma coefficient, truncated to thousandths
/// (never rounded) from the exact quotient.
class DoseRate {
public:
    /// The dose rate of a count for a known, non-zero coefficient.
    static DoseRate of(Cpm cpm, std::uint16_t gammaCoefficient);

    /// The text the window shows, records and compares with the dose alarm level: the truncated
    /// thousandths, at least five characters ("0.208", "12.50", "123.5").
    std::string truncatedText() const;
    /// The value the text reads back as, for drawing, so that the graph and the captions never
    /// disagree.
    double value() const;

private:
    explicit DoseRate(std::int64_t thousandths) : thousandths_(thousandths) {}
    std::int64_t thousandths_;
};

/// A length or coordinate in twips (15 a pixel at 96 dpi), kept apart from pixels so that a view
/// converts exactly once.
class TwipLength {
public:
    constexpr explicit TwipLength(int twips) : twips_(twips) {}
    /// A computed position rounded to the nearest twip, halves to the even one (a dose point, a bar's
    /// height). Throws Overflow outside the 32-bit range.
    static TwipLength roundedHalfEven(double twips);
    /// A computed position truncated towards zero (the newest dose segment's end, the peak marker).
    static TwipLength truncated(double twips);

    constexpr int twips() const { return twips_; }
    /// The pixels at a screen's logical DPI (1440 twips an inch), rounded to the nearest pixel,
    /// halves away from zero.
    int toPixels(double logicalDpi) const;

private:
    int twips_;
};

}  // namespace rx47
