#pragma once

// Heights and insets of a strip by its size code: 1 compact, 2 standard,
// 4 large; any other code takes the standard values.
namespace StripMetrics {

constexpr int compact = 1;
constexpr int standard = 2;
constexpr int large = 4;

// Logical pixels: 48, 72 or 108.
constexpr int stripHeight(int size)
{
    return size == compact ? 48 : size == large ? 108 : 72;
}

// Where the main strip's moving items start, right of the brand block.
constexpr int scrollerLeadingInset(int size)
{
    return size == compact ? 190 : size == large ? 360 : 290;
}

} // namespace StripMetrics
