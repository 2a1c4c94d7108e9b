#include "settings/SettingsTabs.h"

#include "settings/AboutTab.h"
#include "settings/CuratedTab.h"
#include "settings/DiagnosticsTab.h"
#include "settings/FiltersTab.h"
#include "settings/FullScreenTab.h"
#include "settings/GeneralTab.h"
#include "settings/HomeTab.h"
#include "settings/MarketsTab.h"
#include "settings/MusicTab.h"
#include "settings/RSSTab.h"
#include "settings/SecondTickerTab.h"
#include "settings/SourcesTab.h"
#include "settings/TickerTab.h"

#include <QWidget>

namespace SettingsTabs {

const QList<SettingsTab>& all()
{
    static const QList<SettingsTab> tabs = {
        SettingsTab::Home,    SettingsTab::Ticker,  SettingsTab::SecondTicker, SettingsTab::FullScreen,
        SettingsTab::Markets, SettingsTab::Music,   SettingsTab::Curated,      SettingsTab::Sources,
        SettingsTab::RSS,     SettingsTab::Filters, SettingsTab::General,      SettingsTab::About,
        SettingsTab::Debug,
    };
    return tabs;
}

QString title(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::Home: return QStringLiteral("Home");
    case SettingsTab::Ticker: return QStringLiteral("Ticker");
    case SettingsTab::SecondTicker: return QStringLiteral("Second Ticker");
    case SettingsTab::FullScreen: return QStringLiteral("Full Screen");
    case SettingsTab::Markets: return QStringLiteral("Markets");
    case SettingsTab::Music: return QStringLiteral("Music");
    case SettingsTab::Curated: return QStringLiteral("Curated");
    case SettingsTab::Sources: return QStringLiteral("Sources");
    case SettingsTab::RSS: return QStringLiteral("RSS");
    case SettingsTab::Filters: return QStringLiteral("Filters");
    case SettingsTab::General: return QStringLiteral("General");
    case SettingsTab::About: return QStringLiteral("About");
    case SettingsTab::Debug: return QStringLiteral("Diagnostics");
    }
    return {};
}

std::optional<SettingsTab> fromTitle(const QString& text)
{
    for (SettingsTab tab : all())
        if (title(tab) == text)
            return tab;
    return std::nullopt;
}

QWidget* create(SettingsTab tab, FeedStore& store, QWidget* parent)
{
    switch (tab) {
    case SettingsTab::Home: return new HomeTab(store, parent);
    case SettingsTab::Ticker: return new TickerTab(store, parent);
    case SettingsTab::SecondTicker: return new SecondTickerTab(store, parent);
    case SettingsTab::FullScreen: return new FullScreenTab(store, parent);
    case SettingsTab::Music: return new MusicTab(store, parent);
    case SettingsTab::General: return new GeneralTab(store, parent);
    case SettingsTab::About: return new AboutTab(store, parent);
    case SettingsTab::Debug: return new DiagnosticsTab(store, parent);
    case SettingsTab::Markets: return new MarketsTab(store, parent);
    case SettingsTab::Curated: return new CuratedTab(store, parent);
    case SettingsTab::Sources: return new SourcesTab(store, parent);
    case SettingsTab::RSS: return new RSSTab(store, parent);
    case SettingsTab::Filters: return new FiltersTab(store, parent);
    }
    return new QWidget(parent);
}

} // namespace SettingsTabs
