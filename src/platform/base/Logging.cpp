#include "platform/base/Logging.h"

Q_LOGGING_CATEGORY(lcFeedStore, "tidewire.client.feedstore", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFeedAPI, "tidewire.client.feedapi", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTicker, "tidewire.client.ticker", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMarquee, "tidewire.client.marquee", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMarkets, "tidewire.client.markets", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMenuBar, "tidewire.client.menubar", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNowPlaying, "tidewire.client.nowplaying", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLaunch, "tidewire.client.launch", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlatform, "tidewire.client.platform", QtInfoMsg)
