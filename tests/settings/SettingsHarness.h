#pragma once

#include "Await.h"
#include "CatalogueServer.h"
#include "FakeTime.h"
#include "markets/MarketsStore.h"
#include "personal/PersonalFeed.h"
#include "personal/PersonalFeedStore.h"
#include "platform/session/Clipboard.h"
#include "platform/storage/Defaults.h"
#include "platform/net/PathMonitor.h"
#include "platform/session/SecretStore.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/StripServices.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Records what the settings ask of the rest of the application, and the
// settings as they stood at each call.
class RecordingServices final : public StripServices {
public:
    void reposition() override { record(QStringLiteral("reposition")); }
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore&, const std::optional<QString>& tab) override { record(QStringLiteral("showSettings:") + tab.value_or(QStringLiteral("<none>"))); }
    void showSearch(FeedStore&) override { record(QStringLiteral("showSearch")); }
    void showFullScreen(FeedStore&) override { record(QStringLiteral("showFullScreen")); }
    void presentUpdatePrompt(const QString& version, const QUrl& url) override { record(QStringLiteral("update:") + version + QLatin1Char(' ') + url.toString()); }
    void quit() override {}
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}
    bool canListenToRoom() const override { return roomListenerAvailable; }

    // As on Linux: no music recognition.
    bool roomListenerAvailable = false;

    std::function<void(const QString&)> onCall;
    QStringList calls;

private:
    void record(const QString& call)
    {
        if (onCall) onCall(call);
        calls.append(call);
    }
};

// The settings tabs' world: the standard settings on a real file in a
// private folder, the stores over it, the sample catalogue server on
// loopback (standing in for the server API, Finnhub and CoinGecko),
// recorded application services and a fake clipboard. The feed store starts
// out pointed at a closed port and not started.
class SettingsTest : public ::testing::Test {
protected:
    explicit SettingsTest(quint64 seed = 7);
    ~SettingsTest() override;

    // Starts the store against the catalogue server and waits until it runs.
    void startStore(const QString& runningVersion = QStringLiteral("0.1"));
    void makeStore(const QUrl& base, const QString& runningVersion = QStringLiteral("0.1"));
    // The catalogue server's address, started on first use.
    QUrl serverBase();
    MarketsStore& markets();
    // The settings file as written to disk now.
    QByteArray settingsFile();

    // Picks the entry labelled `label` as a user would (activation).
    static void choose(QComboBox* box, const QString& label);
    // Clicks a switch or button.
    static void click(QAbstractButton* button);

    QTemporaryDir dir;
    FakeTime time;  // also where failed saves are tried again: outlives the settings
    std::unique_ptr<Defaults> defaults;
    CatalogueServer catalogue;
    QNetworkAccessManager network;
    FakePathMonitor* monitor = nullptr;
    std::unique_ptr<FeedStore> store;
    RecordingServices services;
    FakeClipboard clipboard;
    MemorySecretStore secrets;
    std::unique_ptr<FilterStore> filters;
    std::unique_ptr<ReadStore> reads;

private:
    std::unique_ptr<MarketsStore> m_markets;
};

PersonalFeed feed(const QString& title, const QString& url, bool on = true);
// `count` feeds "Feed 1" … on example hosts, the first `off` switched off.
QList<PersonalFeed> feeds(int count, int off = 0);

// A personal-feed store on in-memory settings that already hold `stored`,
// as a previous run would have left them.
struct PersonalStore {
    explicit PersonalStore(const QList<PersonalFeed>& stored = {});
    ~PersonalStore();

    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager network;
    std::unique_ptr<PersonalFeedStore> store;
};
