#pragma once

#include "settings/SettingsTabs.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class Defaults;
class FeedStore;
class QListWidget;
class QStackedWidget;
class SaveNotice;

// The settings window's content: a sidebar of the thirteen tabs and the
// selected tab's page. Pages are built the first time they are selected.
// "Diagnostics" is listed only while "showDebugTab" is on, following the
// setting live. An open view switches tabs when the select-tab notification
// names one. Above the page, a notice says so while the settings file cannot
// be written. Main thread only.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard().
    SettingsView(FeedStore& store, SettingsTab initialTab, QWidget* parent = nullptr, Defaults* defaults = nullptr);

    SettingsTab selectedTab() const { return m_selected; }
    void setSelectedTab(SettingsTab tab);
    // Whether the sidebar lists `tab`.
    bool isListed(SettingsTab tab) const;
    // The page of `tab`; null until it was first selected.
    QWidget* page(SettingsTab tab) const { return m_pages.value(tab); }
    QListWidget* sidebar() const { return m_sidebar; }
    SaveNotice* saveNotice() const { return m_saveNotice; }

Q_SIGNALS:
    void selectedTabChanged(SettingsTab tab);

private:
    void updateDebugTab();

    FeedStore& m_store;
    Defaults& m_defaults;
    QListWidget* m_sidebar;
    QStackedWidget* m_stack;
    SaveNotice* m_saveNotice;
    QHash<SettingsTab, QPointer<QWidget>> m_pages;
    SettingsTab m_selected;
};
