// The add-feed sheet against real HTTP: the sample catalogue server for a
// whole add from the settings section, and a loopback server for the other
// answers a feed address can get.

#include "SettingsFixtures.h"

#include "CatalogueServer.h"
#include "LoopbackServer.h"
#include "api/Color.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/PillButton.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using namespace SettingsFixtures;
using Kind = AddPersonalFeedSheet::SubmitState::Kind;

bool settled(const AddPersonalFeedSheet& sheet)
{
    return sheet.state().kind != Kind::Checking;
}

QByteArray rss(const QString& title, int items)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>%1</title>").arg(title);
    for (int i = 0; i < items; ++i)
        xml += QStringLiteral("<item><title>Story %1</title><link>https://site.example/%1</link></item>").arg(i);
    return (xml + QStringLiteral("</channel></rss>")).toUtf8();
}

struct InputCase {
    QString text;
    bool canSubmit;
};

TEST(AddPersonalFeedSheet, OnlyAnAddressWithADottedHostCanBeSubmitted)
{
    const QList<InputCase> cases = {
        {QString(), false},
        {QStringLiteral("    "), false},
        {QStringLiteral("localhost"), false},
        {QStringLiteral("https://intranet/feed"), false},
        {QStringLiteral("ftp://files.example.com/feed"), false},
        {QStringLiteral("  example.com/feed.xml "), true},
        {QStringLiteral("HTTP://Example.com/rss"), true},
    };
    PersonalStore personal;
    AddPersonalFeedSheet sheet(nullptr, personal.store.get());
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        sheet.addressField()->setText(c.text);
        EXPECT_EQ(sheet.canSubmit(), c.canSubmit);
        EXPECT_EQ(sheet.submitButton()->isEnabled(), c.canSubmit);
        EXPECT_DOUBLE_EQ(sheet.submitButton()->fillColor().alphaF(), c.canSubmit ? 1.0 : 0.4f);
        if (!c.canSubmit) {
            // Return in the field, and the button, do nothing.
            QTest::keyClick(sheet.addressField(), Qt::Key_Return);
            QTest::mouseClick(sheet.submitButton(), Qt::LeftButton);
            EXPECT_EQ(sheet.state().kind, Kind::Idle);
        }
    }
}

// Opened from the section, the sheet adds a feed of the sample catalogue
// server, which shows in the list at once; the same address again in other
// letters is refused.
TEST(AddPersonalFeedSheet, AddsASampleFeedFromTheSectionAndRefusesItAgain)
{
    FakeTime serverTime;
    CatalogueServer::Options options;
    options.seed = 7;
    options.now = [&serverTime] { return serverTime.now(); };
    CatalogueServer catalogue(options);
    ASSERT_TRUE(catalogue.start().has_value());
    const QString address = catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/harbour-ledger.rss"))).toString();

    PersonalStore personal;
    QWidget window;
    auto* section = new PersonalFeedsSection(&window, personal.store.get());
    window.show();
    QTest::mouseClick(section->addButton(), Qt::LeftButton);
    AddPersonalFeedSheet* sheet = section->addSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isModal());
    EXPECT_EQ(sheet->parentWidget(), &window);
    EXPECT_EQ(sheet->focusWidget(), sheet->addressField()) << "the caret starts in the address field";
    EXPECT_EQ(sheet->width(), 460);
    QSignalSpy states(sheet, &AddPersonalFeedSheet::stateChanged);

    QTest::keyClicks(sheet->addressField(), address);
    QTest::mouseClick(sheet->submitButton(), Qt::LeftButton);
    EXPECT_EQ(sheet->state().kind, Kind::Checking);
    EXPECT_EQ(sheet->submitButton()->label(), QStringLiteral("CHECKING\u2026"));
    EXPECT_TRUE(sheet->submitButton()->isBusy());
    EXPECT_FALSE(sheet->submitButton()->isEnabled());
    // A second press, or Return, while checking starts nothing.
    QTest::mouseClick(sheet->submitButton(), Qt::LeftButton);
    QTest::keyClick(sheet->addressField(), Qt::Key_Return);
    sheet->submit();

    ASSERT_TRUE(waitUntil([&] { return settled(*sheet); }));
    EXPECT_EQ(states.count(), 2) << "checking, then the one answer";
    EXPECT_EQ(sheet->state().kind, Kind::Done);
    EXPECT_EQ(sheet->state().text,
              QStringLiteral("\u201CHarbour Ledger \u2014 Top Stories\u201D is on your ticker now, 12 items."));
    EXPECT_TRUE(sheet->outcomeLine()->isVisible());
    EXPECT_TRUE(sheet->outcomeLine()->isSuccess());
    EXPECT_EQ(sheet->width(), 460);
    EXPECT_GE(sheet->height(), sheet->sizeHint().height()) << "grown to hold the answer";
    EXPECT_EQ(sheet->submitButton()->label(), QStringLiteral("ADD"));
    EXPECT_TRUE(sheet->addressField()->text().isEmpty());
    EXPECT_FALSE(sheet->submitButton()->isEnabled());
    ASSERT_EQ(personal.store->feeds().size(), 1);
    // The section behind the open sheet already lists it.
    EXPECT_TRUE(sheet->isVisible());
    ASSERT_EQ(section->rows().size(), 1);
    EXPECT_EQ(section->rows().at(0)->titleLabel()->text(), QStringLiteral("Harbour Ledger \u2014 Top Stories"));
    EXPECT_EQ(section->rows().at(0)->subtitleLabel()->text(), QStringLiteral("127.0.0.1"));

    sheet->addressField()->setText(address.toUpper());
    QTest::keyClick(sheet->addressField(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return settled(*sheet); }));
    EXPECT_EQ(sheet->state().kind, Kind::Failed);
    EXPECT_EQ(sheet->outcomeLine()->text(), QStringLiteral("That feed is already in your list."));
    EXPECT_FALSE(sheet->outcomeLine()->isSuccess());
    EXPECT_EQ(sheet->addressField()->text(), address.toUpper()) << "kept for correcting";
    // Typing keeps the answer in view until the next submission.
    QTest::keyClicks(sheet->addressField(), QStringLiteral("x"));
    EXPECT_TRUE(sheet->outcomeLine()->isVisible());
    EXPECT_EQ(personal.store->feeds().size(), 1);

    QTest::mouseClick(sheet->closeButton(), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return section->addSheet() == nullptr; }));
}

struct AnswerCase {
    const char* name;
    QString path;
    int storedFeeds;
    Kind kind;
    QString text;
};

TEST(AddPersonalFeedSheet, EachAnswerOfTheSiteGetsItsLine)
{
    FakeTime serverTime;
    CatalogueServer::Options options;
    options.now = [&serverTime] { return serverTime.now(); };
    CatalogueServer catalogue(options);
    ASSERT_TRUE(catalogue.start().has_value());
    LoopbackServer site;
    site.route(QStringLiteral("/one.rss"), LoopbackServer::Response::text(rss(QStringLiteral("Solo"), 1), "application/rss+xml"));
    site.route(QStringLiteral("/empty.rss"), LoopbackServer::Response::text(rss(QStringLiteral("Quiet"), 0), "application/rss+xml"));
    site.route(QStringLiteral("/gone.rss"), LoopbackServer::Response::withStatus(404));

    const QList<AnswerCase> cases = {
        {"one item", site.url(QStringLiteral("one.rss")).toString(), 0, Kind::Done,
         QStringLiteral("\u201CSolo\u201D is on your ticker now, 1 item.")},
        {"a web page", catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/"))).toString(), 0, Kind::Failed,
         QStringLiteral("That page isn't an RSS or Atom feed. Try the site's /feed or /rss URL.")},
        {"a feed without items", site.url(QStringLiteral("empty.rss")).toString(), 0, Kind::Failed,
         QStringLiteral("It's a feed, but it has no items yet. Try again once it has published something.")},
        {"not found", site.url(QStringLiteral("gone.rss")).toString(), 0, Kind::Failed,
         QStringLiteral("The site answered HTTP 404")},
        {"twenty feeds stored", site.url(QStringLiteral("one.rss")).toString(), 20, Kind::Failed,
         QStringLiteral("You're at 20 feeds. Remove one to add another.")},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.name);
        PersonalStore personal(feeds(c.storedFeeds));
        AddPersonalFeedSheet sheet(nullptr, personal.store.get());
        sheet.addressField()->setText(c.path);
        QTest::keyClick(sheet.addressField(), Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return settled(sheet); }));
        EXPECT_EQ(sheet.state().kind, c.kind);
        EXPECT_EQ(sheet.outcomeLine()->text(), c.text);
        EXPECT_EQ(sheet.addressField()->text().isEmpty(), c.kind == Kind::Done);
        EXPECT_EQ(personal.store->feeds().size(), c.storedFeeds + (c.kind == Kind::Done ? 1 : 0));
    }
}

// Closing the sheet while it checks stops nothing: the store still adds the
// feed, and the late answer finds no sheet to write to.
TEST(AddPersonalFeedSheet, LateAnswerAfterCloseChangesOnlyTheStore)
{
    LoopbackServer site;
    site.route(QStringLiteral("/late.rss"), LoopbackServer::Response::text(rss(QStringLiteral("Late"), 3), "application/rss+xml"));
    PersonalStore personal;
    QWidget window;
    auto* section = new PersonalFeedsSection(&window, personal.store.get());
    window.show();
    section->showAddSheet();
    QPointer<AddPersonalFeedSheet> sheet = section->addSheet();
    sheet->addressField()->setText(site.url(QStringLiteral("late.rss")).toString());
    sheet->submit();
    ASSERT_EQ(sheet->state().kind, Kind::Checking);
    QTest::mouseClick(sheet->headerCloseButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }));
    EXPECT_EQ(section->addSheet(), nullptr);

    ASSERT_TRUE(waitUntil([&] { return personal.store->feeds().size() == 1; }));
    ASSERT_EQ(section->rows().size(), 1);
    EXPECT_EQ(section->rows().at(0)->titleLabel()->text(), QStringLiteral("Late"));
    // A new sheet starts empty and idle.
    section->showAddSheet();
    ASSERT_NE(section->addSheet(), nullptr);
    EXPECT_EQ(section->addSheet()->state().kind, Kind::Idle);
    EXPECT_TRUE(section->addSheet()->addressField()->text().isEmpty());
    EXPECT_FALSE(section->addSheet()->outcomeLine()->isVisible());
}

} // namespace
