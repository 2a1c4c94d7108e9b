#pragma once

#include <QList>
#include <QString>
#include <optional>

class FeedStore;
class QWidget;

// The settings window's tabs, in sidebar order; each one's title is the
// text that names it (in the select-tab notification too).
enum class SettingsTab {
    Home,
    Ticker,
    SecondTicker,
    FullScreen,
    Markets,
    Music,
    Curated,
    Sources,
    RSS,
    Filters,
    General,
    About,
    Debug,
};

namespace SettingsTabs {

// The name of the in-process notification that asks an open settings view
// for a tab, and its one user-info key (the tab's title as text).
inline const QString selectTabNotification = QStringLiteral("tidewire.settings.selectTab");
inline const QString selectTabKey = QStringLiteral("tab");

const QList<SettingsTab>& all();
QString title(SettingsTab tab);
// The tab with exactly this title; none for any other text.
std::optional<SettingsTab> fromTitle(const QString& title);

// Builds the content of `tab` over `store`.
QWidget* create(SettingsTab tab, FeedStore& store, QWidget* parent);

} // namespace SettingsTabs
