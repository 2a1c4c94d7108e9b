#include "app/TickerPlacement.h"

#include "platform/storage/SettingsCatalogue.h"
#include "ticker/StripConfig.h"
#include "platform/storage/Defaults.h"
#include "platform/x11/DevicePixels.h"

PlacementSettings PlacementSettings::read(const Defaults& defaults)
{
    PlacementSettings s;
    s.alwaysOnTop = Settings::alwaysOnTop.read(defaults);
    s.tickerSize = Settings::tickerSize.read(defaults);
    if (s.tickerSize == 0)
        s.tickerSize = 2;
    s.tickerPosition = Settings::tickerPosition.read(defaults);
    s.preferredMonitor = Settings::preferredMonitor.read(defaults);
    s.secondTickerEnabled = Settings::secondTickerEnabled.read(defaults);
    s.miniMode = Settings::tickerMiniModeTransient.read(defaults);
    if (s.secondTickerEnabled && !s.miniMode)
        s.stackedStripsHeight = StripConfig::totalHeight(defaults);
    return s;
}

int TickerPlacement::stripHeight(qint64 size)
{
    switch (size) {
    case 1:
        return 48;
    case 4:
        return 108;
    default:
        return 72;
    }
}

std::optional<qsizetype> TickerPlacement::indexForMonitorID(const QList<ScreenInfo>& screens,
                                                      const QString& monitorID)
{
    if (monitorID.isEmpty())
        return std::nullopt;
    for (qsizetype i = 0; i < screens.size(); ++i) {
        if (QString::number(screens[i].number) == monitorID)
            return i;
    }
    return std::nullopt;
}

namespace {

bool validIndex(const std::optional<qsizetype>& index, qsizetype count)
{
    return index && *index >= 0 && *index < count;
}

} // namespace

TickerPlacement TickerPlacement::compute(const PlacementSettings& settings,
                                         const QList<ScreenInfo>& screens,
                                         std::optional<qsizetype> currentScreen,
                                         std::optional<qsizetype> mainScreen)
{
    TickerPlacement p;
    p.onTop = settings.alwaysOnTop;
    p.edge = settings.tickerPosition == QLatin1String("bottom") ? StripEdge::Bottom : StripEdge::Top;
    p.height = stripHeight(settings.tickerSize);
    if (settings.secondTickerEnabled && !settings.miniMode)
        p.height += settings.stackedStripsHeight;

    for (const auto& candidate : {indexForMonitorID(screens, settings.preferredMonitor), currentScreen,
                                  mainScreen, std::optional<qsizetype>(0)}) {
        if (validIndex(candidate, screens.size())) {
            p.screenIndex = candidate;
            break;
        }
    }
    if (!p.screenIndex)
        return p;

    const ScreenInfo& screen = screens[*p.screenIndex];
    // Along an edge of the area other panels leave free: a side panel keeps
    // its end of the screen, and the brand block stays clear of it.
    const ScreenScale scale{screen.geometry.topLeft(), screen.devicePixelRatio};
    p.frame = scale.edgeStrip(screen.availablePixels, p.height, p.edge == StripEdge::Bottom);
    return p;
}
