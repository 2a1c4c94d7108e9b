#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

// Contrast of what is drawn against what it is drawn on, as the WCAG define
// it: relative luminance of sRGB colours, and (L1 + 0.05) / (L2 + 0.05).
namespace Contrast {

inline double luminance(const QColor& color)
{
    auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

inline double ratio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct Stroke {
    int pixels = 0;        // fully covered pixels of the picture
    double weakest = 21;   // the lowest contrast among them against the panel
};

// Lays `picture` on a plain `panel` and measures each pixel the picture
// covers fully (antialiased edges left out) against the panel.
inline Stroke onPanel(const QImage& picture, const QColor& panel)
{
    QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    source.setDevicePixelRatio(1);  // pixel for pixel
    QImage laid(source.size(), QImage::Format_RGB32);
    laid.fill(panel);
    {
        QPainter painter(&laid);
        painter.drawImage(QPoint(0, 0), source);
    }
    Stroke stroke;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            if (qAlpha(source.pixel(x, y)) != 255)
                continue;
            ++stroke.pixels;
            stroke.weakest = std::min(stroke.weakest, ratio(laid.pixelColor(x, y), panel));
        }
    }
    return stroke;
}

// Pixels of one place that differ by at least `least` in contrast between
// two pictures of it (as a focus indicator must between a control with and
// without the focus); -1 when the pictures differ in size.
inline int changedPixels(const QImage& a, const QImage& b, double least = 3.0)
{
    if (a.size() != b.size())
        return -1;
    int changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            changed += ratio(a.pixelColor(x, y), b.pixelColor(x, y)) >= least;
    return changed;
}

} // namespace Contrast
