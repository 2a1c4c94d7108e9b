#pragma once

#include "CatalogueServer.h"
#include "FakeTime.h"
#include "platform/Clipboard.h"
#include "platform/Defaults.h"
#include "platform/PathMonitor.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// Records what the settings ask of the rest of the application, and the
// settings as they stood at each call.
class RecordingServices final : public StripServices {
public:
    void reposition() override { record(QStringLiteral("reposition")); }
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore&, const std::optional<QString>& tab) override
    {
        record(QStringLiteral("showSettings:") + tab.value_or(QStringLiteral("<none>")));
    }
    void showSearch(FeedStore&) override { record(QStringLiteral("showSearch")); }
    void showFullScreen(FeedStore&) override { record(QStringLiteral("showFullScreen")); }
    void presentUpdatePrompt(const QString& version, const QUrl& url) override
    {
        record(QStringLiteral("update:") + version + QLatin1Char(' ') + url.toString());
    }
    void quit() override {}
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}

    std::function<void(const QString&)> onCall;
    QStringList calls;

private:
    void record(const QString& call)
    {
        if (onCall)
            onCall(call);
        calls.append(call);
    }
};

// The settings tabs' world: the standard settings on a real file in a
// private folder, a feed store that has reached the sample catalogue server
// on loopback, recorded application services and a fake clipboard.
class SettingsTest : public ::testing::Test {
protected:
    SettingsTest();
    ~SettingsTest() override;

    // Starts the store against the catalogue server and waits until it runs.
    void startStore(const QString& runningVersion = QStringLiteral("0.1"));
    void makeStore(const QUrl& base, const QString& runningVersion);
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

    // Picks the entry labelled `label` as a user would (activation).
    static void choose(QComboBox* box, const QString& label);
    // Clicks a switch or button.
    static void click(QAbstractButton* button);

    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults;
    FakeTime time;
    CatalogueServer catalogue;
    QNetworkAccessManager network;
    FakePathMonitor* monitor = nullptr;
    std::unique_ptr<FeedStore> store;
    RecordingServices services;
    FakeClipboard clipboard;
};
