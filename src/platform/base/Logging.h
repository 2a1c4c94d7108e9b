#pragma once

#include <QLoggingCategory>

// One category per component, all under "tidewire.client".
// Levels: debug -> qCDebug, info/default -> qCInfo, error/fault -> qCCritical.
Q_DECLARE_LOGGING_CATEGORY(lcFeedStore)
Q_DECLARE_LOGGING_CATEGORY(lcFeedAPI)
Q_DECLARE_LOGGING_CATEGORY(lcTicker)
Q_DECLARE_LOGGING_CATEGORY(lcMarquee)
Q_DECLARE_LOGGING_CATEGORY(lcMarkets)
Q_DECLARE_LOGGING_CATEGORY(lcMenuBar)
Q_DECLARE_LOGGING_CATEGORY(lcNowPlaying)
Q_DECLARE_LOGGING_CATEGORY(lcLaunch)
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
