#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

class Defaults;

// One attached screen as the strip's placement sees it.
struct ScreenInfo {
    QRect geometry;              // the whole screen, logical
    QRect availablePixels;       // the screen minus the edges others reserve, in device pixels
    quint32 number = 0;          // display number; "preferredMonitor" holds it as decimal text
    qreal devicePixelRatio = 1;  // device pixels per logical pixel
};

enum class StripEdge { Top, Bottom };

// The settings that decide where the ticker window goes, read afresh for
// every placement.
struct PlacementSettings {
    bool alwaysOnTop = true;
    qint64 tickerSize = 2;
    QString tickerPosition = QStringLiteral("top");
    QString preferredMonitor;
    bool secondTickerEnabled = false;
    bool miniMode = false;      // "tickerMiniModeTransient"
    int stackedStripsHeight = 0;  // summed height of the stacked strips

    static PlacementSettings read(const Defaults& defaults);
};

// Where the ticker window goes: its level and edge always, its frame when
// there is a screen to put it on.
struct TickerPlacement {
    bool onTop = true;
    StripEdge edge = StripEdge::Top;
    int height = 72;
    std::optional<qsizetype> screenIndex;
    std::optional<QRect> frame;

    // Strip height for a size code: 1 → 48, 4 → 108, anything else → 72.
    static int stripHeight(qint64 size);

    // The first screen whose display number, in decimal, equals `monitorID`
    // exactly; none for an empty text or no match.
    static std::optional<qsizetype> indexForMonitorID(const QList<ScreenInfo>& screens,
                                                const QString& monitorID);

    // Places the strip: on the preferred screen, else the window's current
    // screen, else the main screen, else the first; across the width of its
    // available area, at the top of that area or at the bottom of it, and
    // in device pixels wholly within it whatever the scale.
    static TickerPlacement compute(const PlacementSettings& settings,
                                   const QList<ScreenInfo>& screens,
                                   std::optional<qsizetype> currentScreen,
                                   std::optional<qsizetype> mainScreen);
};
