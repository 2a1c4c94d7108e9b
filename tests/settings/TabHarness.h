#pragma once

#include "CatalogueServer.h"
#include "FakeTime.h"
#include "markets/MarketsStore.h"
#include "platform/Defaults.h"
#include "platform/SecretStore.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "store/ReadStore.h"
#include "ticker/StripServices.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Counts what the tabs ask of the rest of the application.
class RecordingStripServices final : public StripServices {
public:
    void reposition() override { ++repositions; }
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore&, const std::optional<QString>&) override {}
    void showSearch(FeedStore&) override {}
    void showFullScreen(FeedStore&) override {}
    void presentUpdatePrompt(const QString&, const QUrl&) override {}
    void quit() override {}
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}
    int repositions = 0;
};

// The tabs on what the application gives them: a settings file in a private
// folder, the stores over it, and the sample catalogue server standing in
// for the server API, Finnhub and CoinGecko.
class TabTest : public ::testing::Test {
protected:
    TabTest();
    ~TabTest() override;

    // Not started; the store's own first refresh loads the catalogue.
    FeedStore& feedStore() { return *m_feedStore; }
    MarketsStore& markets();
    // The settings file as written to disk now.
    QByteArray settingsFile();
    static bool waitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

    QTemporaryDir dir;
    FakeTime time;
    CatalogueServer server;
    std::unique_ptr<Defaults> defaults;
    MemorySecretStore secrets;
    RecordingStripServices services;
    std::unique_ptr<FilterStore> filters;
    std::unique_ptr<ReadStore> reads;

private:
    QNetworkAccessManager m_network;
    std::unique_ptr<FeedStore> m_feedStore;
    std::unique_ptr<MarketsStore> m_markets;
};
