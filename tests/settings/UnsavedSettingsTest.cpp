// With a settings folder that cannot be written, nothing the user does in the
// settings window looks saved: the add-feed sheet says the feed could not be
// kept and why, and the window shows a notice while the settings file cannot
// be written, gone after the next good save (a change, or the next try).
#include "SettingsHarness.h"

#include "LoopbackServer.h"
#include "ReadOnlyFolder.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/PillButton.h"
#include "settings/SaveNotice.h"
#include "settings/SettingsView.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLineEdit>

namespace {

using Kind = AddPersonalFeedSheet::SubmitState::Kind;

QByteArray rss(const QString& title, int items)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>%1</title>").arg(title);
    for (int i = 0; i < items; ++i)
        xml += QStringLiteral("<item><title>Story %1</title><link>https://site.example/%1</link></item>").arg(i);
    return (xml + QStringLiteral("</channel></rss>")).toUtf8();
}

class UnsavedSettingsTest : public SettingsTest {
protected:
    UnsavedSettingsTest()
    {
        QJsonArray stored;
        for (const PersonalFeed& f : feeds(2))
            stored.append(f.toJson(JsonOptions{DateCoding::iso8601()}));
        defaults->set(PersonalFeedStore::kFeedsKey, stored);
        EXPECT_TRUE(defaults->flush());
        personal = std::make_unique<PersonalFeedStore>(*defaults, time, time, &network);
    }

    QByteArray onDisk() const
    {
        QFile file(defaults->filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString problem() const
    {
        return QStringLiteral("Tidewire can't write its settings file %1 (Permission denied).").arg(defaults->filePath());
    }

    std::unique_ptr<PersonalFeedStore> personal;
};

// The feed is listed for this run, but the sheet's line says it could not be
// kept, and why; once the folder can be written again an add is a success
// and both feeds are saved.
TEST_F(UnsavedSettingsTest, TheSheetSaysAFeedCouldNotBeKept)
{
    LoopbackServer site;
    site.route(QStringLiteral("/one.rss"), LoopbackServer::Response::text(rss(QStringLiteral("One Item Feed"), 1), "application/rss+xml"));
    site.route(QStringLiteral("/two.rss"), LoopbackServer::Response::text(rss(QStringLiteral("Two Item Feed"), 2), "application/rss+xml"));
    // Its own connections, closed before the site stops.
    QNetworkAccessManager siteNetwork;
    PersonalFeedStore store(*defaults, time, time, &siteNetwork);
    AddPersonalFeedSheet sheet(nullptr, &store);
    const auto add = [&](const QString& path) {
        sheet.addressField()->setText(site.url(path).toString());
        sheet.submit();
        return waitUntil([&] { return sheet.state().kind != Kind::Checking; });
    };
    const QByteArray before = onDisk();

    ReadOnlyFolder readOnly(dir.path());
    ASSERT_TRUE(readOnly.isReadOnly());
    ASSERT_TRUE(add(QStringLiteral("one.rss")));
    EXPECT_EQ(sheet.state().kind, Kind::Failed);
    EXPECT_EQ(sheet.outcomeLine()->text(), QStringLiteral("\u201COne Item Feed\u201D couldn't be kept. ") + problem()
                                               + QStringLiteral(" It's on your ticker only until Tidewire quits."));
    EXPECT_FALSE(sheet.outcomeLine()->isSuccess());
    EXPECT_EQ(store.feeds().size(), 3) << "listed for this run";
    EXPECT_EQ(onDisk(), before);

    readOnly.release();
    ASSERT_TRUE(add(QStringLiteral("two.rss")));
    EXPECT_EQ(sheet.state().kind, Kind::Done);
    EXPECT_EQ(sheet.outcomeLine()->text(), QStringLiteral("\u201CTwo Item Feed\u201D is on your ticker now, 2 items."));
    const QByteArray after = onDisk();
    EXPECT_TRUE(after.contains("One Item Feed") && after.contains("Two Item Feed"));
}

// The stored feeds hold a record that cannot be read, so the add must keep
// them aside before it replaces them, and the folder refuses that too: the
// add is no success, in the sheet or the window. Once the folder can be
// written, the next try keeps the old list aside and saves the feed, and the
// notice goes.
TEST_F(UnsavedSettingsTest, AFeedAddedOverAListThatCannotBeKeptAsideIsNotShownAsKept)
{
    LoopbackServer site;
    site.route(QStringLiteral("/one.rss"), LoopbackServer::Response::text(rss(QStringLiteral("One Item Feed"), 1), "application/rss+xml"));
    QJsonArray stored = defaults->arrayValue(PersonalFeedStore::kFeedsKey);
    stored.append(QJsonObject{{QStringLiteral("id"), 5}});
    defaults->set(PersonalFeedStore::kFeedsKey, stored);
    ASSERT_TRUE(defaults->flush());
    QNetworkAccessManager siteNetwork;
    PersonalFeedStore store(*defaults, time, time, &siteNetwork);
    ASSERT_EQ(store.feeds().size(), 2);
    AddPersonalFeedSheet sheet(nullptr, &store);
    SettingsView view(*this->store, SettingsTab::RSS, nullptr, defaults.get());
    view.show();
    const QByteArray before = onDisk();
    {
        ReadOnlyFolder readOnly(dir.path());
        ASSERT_TRUE(readOnly.isReadOnly());
        sheet.addressField()->setText(site.url(QStringLiteral("one.rss")).toString());
        sheet.submit();
        ASSERT_TRUE(waitUntil([&] { return sheet.state().kind != Kind::Checking; }));
        EXPECT_EQ(sheet.state().kind, Kind::Failed);
        EXPECT_EQ(sheet.outcomeLine()->text(), QStringLiteral("\u201COne Item Feed\u201D couldn't be kept. ") + problem()
                                                   + QStringLiteral(" It's on your ticker only until Tidewire quits."));
        EXPECT_FALSE(sheet.outcomeLine()->isSuccess());
        EXPECT_EQ(view.saveNotice()->text(), problem() + QStringLiteral(" Changes you make now last only until Tidewire quits."));
        EXPECT_EQ(onDisk(), before);
    }
    time.advance(std::chrono::minutes(1));
    EXPECT_TRUE(view.saveNotice()->text().isEmpty());
    EXPECT_TRUE(onDisk().contains("One Item Feed"));
    const QStringList aside = QDir(dir.path()).entryList({PersonalFeedStore::kFeedsKey + QStringLiteral(".unreadable-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(kept.readAll()).object(), (QJsonObject{{PersonalFeedStore::kFeedsKey, stored}}));
}

struct Edit {
    const char* name;
    std::function<void()> make;
};

// Each kind of change made while the folder is read-only raises the notice
// (a removal, a switch, a watchlist edit, any other setting on its short
// delay); the next save that goes through takes it away.
TEST_F(UnsavedSettingsTest, TheWindowShowsANoticeWhileSettingsCannotBeSaved)
{
    markets().setWatchlist({WatchSymbol{QStringLiteral("AAPL"), WatchSymbol::Kind::Stock, QStringLiteral("Apple"),
                                        std::nullopt, std::nullopt, std::nullopt},
                            WatchSymbol{QStringLiteral("MSFT"), WatchSymbol::Kind::Stock, QStringLiteral("Microsoft"),
                                        std::nullopt, std::nullopt, std::nullopt}});
    ASSERT_TRUE(markets().saveWatchlist());
    SettingsView view(*store, SettingsTab::RSS, nullptr, defaults.get());
    view.show();
    SaveNotice* notice = view.saveNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());

    const Edit edits[] = {
        {"switch a feed off", [this] { personal->setEnabled(personal->feeds().first().id, false); }},
        {"remove a feed", [this] { personal->remove(personal->feeds().first().id); }},
        {"remove a symbol", [this] { markets().remove(QStringLiteral("MSFT")); }},
        {"record a holding", [this] { markets().setHolding(QStringLiteral("AAPL"), 3, 120); }},
        {"another setting", [this] { defaults->set(QStringLiteral("tickerPosition"), QStringLiteral("bottom")); }},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        const QByteArray before = onDisk();
        {
            ReadOnlyFolder readOnly(dir.path());
            ASSERT_TRUE(readOnly.isReadOnly());
            edit.make();
            EXPECT_TRUE(waitUntil([&] { return notice->isVisible(); }));
            EXPECT_EQ(notice->text(), problem() + QStringLiteral(" Changes you make now last only until Tidewire quits."));
            EXPECT_EQ(onDisk(), before);
        }
        // Writable again: the next change is saved, with the one before it.
        personal->setEnabled(personal->feeds().last().id, true);
        EXPECT_FALSE(notice->isVisible());
        EXPECT_TRUE(notice->text().isEmpty());
        EXPECT_NE(onDisk(), before);
        defaults->remove(QStringLiteral("tickerPosition"));
        ASSERT_TRUE(defaults->flush());
    }
}

} // namespace
