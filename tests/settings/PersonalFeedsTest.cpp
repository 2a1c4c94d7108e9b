// The personal feeds section and its add-feed sheet on a real personal-feed
// store and real HTTP: the sample catalogue server for a whole add, and a
// loopback server for the other answers a feed address can get.
#include "SettingsHarness.h"

#include "Await.h"
#include "LoopbackServer.h"
#include "PaintedText.h"
#include "api/Color.h"
#include "api/Palette.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/BusySpinner.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/PillButton.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

namespace {

using Kind = AddPersonalFeedSheet::SubmitState::Kind;

// What an assistive technology reads for the switch: its role, name, value
// and whether it is checked.
struct SwitchReading {
    QAccessible::Role role = QAccessible::NoRole;
    QString name, value;
    bool checkable = false, checked = false;
};

SwitchReading readSwitch(QWidget* box)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(box);
    if (!iface)
        return {};
    return {iface->role(), iface->text(QAccessible::Name), iface->text(QAccessible::Value),
            bool(iface->state().checkable), bool(iface->state().checked)};
}

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

TEST(AddPersonalFeedSheet, OnlyAnAddressWithADottedHostCanBeSubmitted)
{
    const std::pair<const char*, bool> cases[] = {
        {"", false}, {"    ", false}, {"localhost", false}, {"https://intranet/feed", false}, {"ftp://files.example.com/feed", false},
        {"  example.com/feed.xml ", true}, {"HTTP://Example.com/rss", true},
    };
    PersonalStore personal;
    AddPersonalFeedSheet sheet(nullptr, personal.store.get());
    for (const auto& [text, canSubmit] : cases) {
        SCOPED_TRACE(text);
        sheet.addressField()->setText(QString::fromLatin1(text));
        EXPECT_EQ(sheet.canSubmit(), canSubmit);
        EXPECT_EQ(sheet.submitButton()->isEnabled(), canSubmit);
        EXPECT_DOUBLE_EQ(sheet.submitButton()->fillColor().alphaF(), canSubmit ? 1.0 : 0.4f);
        if (!canSubmit) {
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
    EXPECT_EQ(sheet->state().text, QStringLiteral("\u201CHarbour Ledger \u2014 Top Stories\u201D is on your ticker now, 12 items."));
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

struct AnswerCase { const char* name; QString path; int storedFeeds; Kind kind; QString text; };

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
    // Titles are text, never a template: markers in them stay as written.
    site.route(QStringLiteral("/marked.rss"), LoopbackServer::Response::text(rss(QStringLiteral("Top %1 stories"), 5), "application/rss+xml"));
    site.route(QStringLiteral("/all-marks.rss"), LoopbackServer::Response::text(rss(QStringLiteral("%3 %2 %1 %99 100%"), 1), "application/rss+xml"));

    const QList<AnswerCase> cases = {
        {"one item", site.url(QStringLiteral("one.rss")).toString(), 0, Kind::Done, QStringLiteral("\u201CSolo\u201D is on your ticker now, 1 item.")},
        {"a web page", catalogue.baseUrl().resolved(QUrl(QStringLiteral("feeds/"))).toString(), 0, Kind::Failed, QStringLiteral("That page isn't an RSS or Atom feed. Try the site's /feed or /rss URL.")},
        {"a feed without items", site.url(QStringLiteral("empty.rss")).toString(), 0, Kind::Failed, QStringLiteral("It's a feed, but it has no items yet. Try again once it has published something.")},
        {"markers in the title", site.url(QStringLiteral("marked.rss")).toString(), 0, Kind::Done, QStringLiteral("\u201CTop %1 stories\u201D is on your ticker now, 5 items.")},
        {"every marker in the title", site.url(QStringLiteral("all-marks.rss")).toString(), 0, Kind::Done, QStringLiteral("\u201C%3 %2 %1 %99 100%\u201D is on your ticker now, 1 item.")},
        {"not found", site.url(QStringLiteral("gone.rss")).toString(), 0, Kind::Failed, QStringLiteral("The site answered HTTP 404")},
        {"twenty feeds stored", site.url(QStringLiteral("one.rss")).toString(), 20, Kind::Failed, QStringLiteral("You're at 20 feeds. Remove one to add another.")},
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

// A channel title longer than a line of the sheet: the sheet grows until the
// line saying the feed was added shows all of it, down to its count, in
// whichever script the title ends.
TEST(AddPersonalFeedSheet, TheOutcomeLineShowsAllItsLines)
{
    // 360 letters: more than four lines at the width a label would rather have.
    const QString letters = QStringLiteral("Tidewatch").repeated(40);
    const QList<std::pair<const char*, QString>> titles = {
        {"a latin word last", letters + QStringLiteral(" Weekly")},
        {"an arabic word last", letters + QStringLiteral(" \u0627\u0644\u0623\u062E\u0628\u0627\u0631")},
    };
    LoopbackServer site;
    for (qsizetype i = 0; i < titles.size(); ++i)
        site.route(QStringLiteral("/%1.rss").arg(i),
                   LoopbackServer::Response::text(rss(titles.at(i).second, 3), "application/rss+xml"));
    for (qsizetype i = 0; i < titles.size(); ++i) {
        SCOPED_TRACE(titles.at(i).first);
        PersonalStore personal;
        AddPersonalFeedSheet sheet(nullptr, personal.store.get());
        sheet.show();
        sheet.addressField()->setText(site.url(QStringLiteral("%1.rss").arg(i)).toString());
        QTest::keyClick(sheet.addressField(), Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return settled(sheet); }));
        ASSERT_EQ(sheet.state().kind, Kind::Done);
        const QString said =
            QStringLiteral("\u201C") + titles.at(i).second + QStringLiteral("\u201D is on your ticker now, 3 items.");
        ASSERT_EQ(sheet.outcomeLine()->text(), said);

        auto* line = sheet.outcomeLine()->findChild<QLabel*>();
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(sheet.width(), 460);
        EXPECT_GE(line->height(), line->heightForWidth(line->width())) << "room for every line at the sheet's width";
        EXPECT_EQ(line->visibleRegion(), QRegion(line->rect())) << "nothing of it is hidden";
        // What is drawn, line by line: the sentence down to its count.
        const QList<PaintedText::Run> runs = PaintedText::record(*line);
        ASSERT_FALSE(runs.isEmpty());
        const QString read = PaintedText::readDown(runs);
        EXPECT_TRUE(read.endsWith(QStringLiteral("isonyourtickernow,3items."))) << read.right(40).toStdString();
        const double last = PaintedText::lines(runs).last().first().origin.y();
        EXPECT_LT(last, line->height()) << "the last line is drawn inside the label";
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



QColor textColor(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

QAbstractButton* buttonTitled(QMessageBox* box, const QString& text)
{
    const auto buttons = box->buttons();
    const auto found = std::find_if(buttons.cbegin(), buttons.cend(), [&](QAbstractButton* b) { return b->text() == text; });
    return found == buttons.cend() ? nullptr : *found;
}

struct CountCase { const char* name; int feeds, off; QString countLine; bool canAdd; };

TEST(PersonalFeedsSection, HeaderAndRowsFollowHowManyFeedsThereAreAndWhichAreOn)
{
    const QList<CountCase> cases = {
        {"no feeds", 0, 0, QStringLiteral("Private to this computer"), true},
        {"19 feeds", 19, 0, QStringLiteral("19 of 19 on \u00B7 private to this computer"), true},
        {"20 feeds, 5 off", 20, 5, QStringLiteral("15 of 20 on \u00B7 private to this computer"), false},
        {"all off", 3, 3, QStringLiteral("0 of 3 on \u00B7 private to this computer"), true},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        PersonalStore personal(feeds(c.feeds, c.off));
        QWidget window;
        auto* section = new PersonalFeedsSection(&window, personal.store.get());
        window.show();

        EXPECT_EQ(section->countLine()->text(), c.countLine);
        EXPECT_EQ(section->emptyText()->isVisibleTo(section), c.feeds == 0);
        ASSERT_EQ(section->rows().size(), c.feeds);
        EXPECT_EQ(section->addButton()->isEnabled(), c.canAdd);
        EXPECT_DOUBLE_EQ(section->addButton()->fillColor().alphaF(), c.canAdd ? 1.0 : 0.4f);
        for (int i = 0; i < c.feeds; ++i) {
            const PersonalFeedRow* row = section->rows().at(i);
            const bool on = i >= c.off;
            EXPECT_EQ(row->titleLabel()->text(), QStringLiteral("Feed %1").arg(i + 1));
            EXPECT_EQ(textColor(row->titleLabel()), on ? QColor(Qt::white) : Color::mutedText());
            EXPECT_NEAR(row->dotOpacity(), on ? 1.0 : 0.35, 0.01);
            EXPECT_DOUBLE_EQ(row->badgeFillOpacity(), on ? 0.08 : 0.04);
            EXPECT_EQ(row->enableSwitch()->isChecked(), on);
            const SwitchReading read = readSwitch(row->enableSwitch());
            EXPECT_EQ(read.role, QAccessible::CheckBox);
            EXPECT_EQ(read.name, row->titleLabel()->text());
            EXPECT_EQ(read.value, on ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
            EXPECT_TRUE(read.checkable);
            EXPECT_EQ(read.checked, on);
        }

        // The add button opens the sheet below the limit and does nothing at it.
        QTest::mouseClick(section->addButton(), Qt::LeftButton);
        EXPECT_EQ(section->addSheet() != nullptr, c.canAdd);
        const QPointer<AddPersonalFeedSheet> first = section->addSheet();
        if (c.canAdd) {
            // The open sheet keeps clicks off the button, but not an
            // assistive technology's press: that opens no second sheet.
            QSignalSpy pressed(section->addButton(), &QAbstractButton::clicked);
            QAccessibleInterface* add = QAccessible::queryAccessibleInterface(section->addButton());
            ASSERT_NE(add, nullptr);
            add->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            ASSERT_TRUE(pressed.wait(2000));
        } else {
            section->showAddSheet();  // nor does a call at the limit
        }
        EXPECT_EQ(section->addSheet(), first.data());
        EXPECT_EQ(window.findChildren<AddPersonalFeedSheet*>().size(), c.canAdd ? 1 : 0);
        if (section->addSheet()) {
            EXPECT_TRUE(section->addSheet()->isVisible());
            section->addSheet()->close();
        }
    }
}

struct RowCase { const char* name; PersonalFeed feed; QColor dot; QString dotTip, subtitle; QColor subtitleColor; };

TEST(PersonalFeedsSection, RowShowsTheFeedsHealthHostAndCount)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const QDateTime now(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC);

    PersonalFeed never = feed(QStringLiteral("Never"), QStringLiteral("https://WWW.Example.COM/www.feed.xml"));
    PersonalFeed failed = feed(QStringLiteral("Failing"), QStringLiteral("https://www.failing.example/rss"));
    failed.lastFetchedAt = now.addSecs(-3600);
    failed.lastError = QStringLiteral("The site answered HTTP 404");
    PersonalFeed recent = feed(QStringLiteral("Recent"), QStringLiteral("http://news.example.org/rss"));
    recent.lastFetchedAt = now.addSecs(-5 * 60 - 20);
    recent.itemCount = 1;
    PersonalFeed raw = feed(QStringLiteral("Raw"), QStringLiteral("www.raw.example/rss"));
    raw.lastFetchedAt = now.addSecs(-2 * 86400);

    const QList<RowCase> cases = {
        {"never fetched, upper-case www host", never, Color::okGreen(), QStringLiteral("Fetched never"), QStringLiteral("example.com"), Color::mutedText()},
        {"failed", failed, Palette::orange(), QStringLiteral("The site answered HTTP 404"), QStringLiteral("The site answered HTTP 404"), Palette::orange()},
        {"fetched minutes ago", recent, Color::okGreen(), QStringLiteral("Fetched 5 min. ago"), QStringLiteral("news.example.org"), Color::mutedText()},
        {"address without a host", raw, Color::okGreen(), QStringLiteral("Fetched 2 days ago"), QStringLiteral("www.raw.example/rss"), Color::mutedText()},
    };
    PersonalStore personal({never, failed, recent, raw});
    personal.time.setNow(now);
    PersonalFeedsSection section(nullptr, personal.store.get(), &personal.time);
    ASSERT_EQ(section.rows().size(), cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        const RowCase& c = cases.at(i);
        SCOPED_TRACE(c.name);
        const PersonalFeedRow* row = section.rows().at(i);
        EXPECT_EQ(row->dotColor(), c.dot);
        EXPECT_EQ(row->statusDot()->toolTip(), c.dotTip);
        EXPECT_EQ(row->subtitleLabel()->text(), c.subtitle);
        EXPECT_EQ(textColor(row->subtitleLabel()), c.subtitleColor);
        EXPECT_EQ(row->itemBadge()->text(), QString::number(c.feed.itemCount));
        EXPECT_EQ(row->itemBadge()->toolTip(), QString::number(c.feed.itemCount) + QStringLiteral(" items held"));
        EXPECT_EQ(row->removeButton()->accessibleName(), QStringLiteral("Remove ") + c.feed.title);
        QImage blank = row->removeButton()->icon().pixmap(9, 9).toImage();
        blank.fill(Qt::transparent);
        EXPECT_NE(row->removeButton()->icon().pixmap(9, 9).toImage(), blank) << "the cross is drawn";
        EXPECT_EQ(row->enableSwitch()->accessibleName(), c.feed.title);
        EXPECT_EQ(readSwitch(row->enableSwitch()).value, QStringLiteral("Enabled"));
    }
    QLocale::setDefault(previous);
}

// Left to right: dot, title and host, the count right after them, then the
// free space, then the remove button and the switch at the trailing edge.
// A title too long for the row gives way; the controls keep their places.
TEST(PersonalFeedsSection, RowKeepsTheCountBesideTheTitleAndTheControlsAtTheEnd)
{
    struct Case { const char* name; QString title; int width; };
    const QList<Case> cases = {
        {"short title, wide row", QStringLiteral("Short"), 640},
        {"long title, narrow row", QStringLiteral("A very long feed title ").repeated(6), 320},
    };
    FakeTime time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PersonalFeedRow row(feed(c.title, QStringLiteral("https://a.example/rss")), [] {}, [] {}, time);
        row.resize(c.width, 40);
        row.show();
        const auto left = [](const QWidget* w) { return w->x(); };
        const auto right = [](const QWidget* w) { return w->x() + w->width(); };
        const int texts = std::max(right(row.titleLabel()), right(row.subtitleLabel()));
        EXPECT_LT(right(row.statusDot()), left(row.titleLabel()));
        EXPECT_LE(texts, left(row.itemBadge()));
        EXPECT_LT(right(row.itemBadge()), left(row.removeButton()));
        EXPECT_EQ(left(row.enableSwitch()) - right(row.removeButton()), 10);
        EXPECT_EQ(right(row.enableSwitch()), c.width - 14);
        if (c.width == 640) {
            const auto textEnd = [&](const QLabel* l) { return l->x() + l->fontMetrics().horizontalAdvance(l->text()); };
            EXPECT_LE(left(row.itemBadge()) - std::max(textEnd(row.titleLabel()), textEnd(row.subtitleLabel())), 12)
                << "the count follows the text";
            EXPECT_GT(left(row.removeButton()) - right(row.itemBadge()), 200) << "the free space is before the button";
        }
    }
}

TEST(PersonalFeedsSection, SwitchAndRemovalGoThroughTheStoreAndShowAtOnce)
{
    PersonalStore personal({feed(QStringLiteral("First"), QStringLiteral("https://one.example/rss")), feed(QStringLiteral("Second"), QStringLiteral("https://two.example/rss")),
                            feed(QStringLiteral("Third"), QStringLiteral("https://three.example/rss"))});
    QWidget window;
    auto* section = new PersonalFeedsSection(&window, personal.store.get());
    window.show();

    // The switch, from the keyboard, asks the store; the row that comes back
    // shows the answer and keeps the focus.
    QApplication::setActiveWindow(&window);
    section->rows().at(1)->enableSwitch()->setFocus();
    QTest::keyClick(section->rows().at(1)->enableSwitch(), Qt::Key_Space);
    EXPECT_TRUE(section->rows().at(1)->enableSwitch()->hasFocus());
    EXPECT_FALSE(personal.store->feeds().at(1).isEnabled);
    EXPECT_EQ(section->countLine()->text(), QStringLiteral("2 of 3 on \u00B7 private to this computer"));
    EXPECT_FALSE(section->rows().at(1)->enableSwitch()->isChecked());
    EXPECT_EQ(readSwitch(section->rows().at(1)->enableSwitch()).value, QStringLiteral("Disabled"));
    EXPECT_FALSE(personal.defaults->arrayValue(PersonalFeedStore::kFeedsKey).at(1)[QStringLiteral("isEnabled")].toBool());
    // A change made elsewhere shows too.
    personal.store->setEnabled(personal.store->feeds().at(1).id, true);
    EXPECT_TRUE(section->rows().at(1)->enableSwitch()->isChecked());
    EXPECT_EQ(readSwitch(section->rows().at(1)->enableSwitch()).value, QStringLiteral("Enabled"));
    // An assistive technology's toggle asks the store, as a click does.
    QAccessibleInterface* toggle = QAccessible::queryAccessibleInterface(section->rows().at(2)->enableSwitch());
    ASSERT_TRUE(toggle && toggle->actionInterface());
    EXPECT_TRUE(toggle->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    toggle->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(personal.store->feeds().at(2).isEnabled);
    EXPECT_EQ(readSwitch(section->rows().at(2)->enableSwitch()).value, QStringLiteral("Disabled"));
    personal.store->setEnabled(personal.store->feeds().at(2).id, true);

    // Remove, then Cancel: nothing changes.
    QTest::mouseClick(section->rows().at(1)->removeButton(), Qt::LeftButton);
    ASSERT_TRUE(section->confirmRemove());
    EXPECT_EQ(section->confirmRemove()->title, QStringLiteral("Second"));
    QMessageBox* question = section->removalConfirmation();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("Remove \u201CSecond\u201D?"));
    EXPECT_EQ(question->informativeText(), QStringLiteral("Its headlines leave the ticker straight away. You can add it back any time."));
    ASSERT_NE(buttonTitled(question, QStringLiteral("Cancel")), nullptr);
    buttonTitled(question, QStringLiteral("Cancel"))->click();
    EXPECT_FALSE(section->confirmRemove());
    EXPECT_EQ(personal.store->feeds().size(), 3);

    // Escape dismisses the question the same way.
    QTest::mouseClick(section->rows().at(2)->removeButton(), Qt::LeftButton);
    ASSERT_TRUE(section->removalConfirmation());
    QTest::keyClick(section->removalConfirmation(), Qt::Key_Escape);
    EXPECT_FALSE(section->confirmRemove());
    EXPECT_EQ(personal.store->feeds().size(), 3);

    // Remove, then Remove: exactly that feed goes, from the list and the settings.
    QTest::mouseClick(section->rows().at(1)->removeButton(), Qt::LeftButton);
    buttonTitled(section->removalConfirmation(), QStringLiteral("Remove"))->click();
    EXPECT_FALSE(section->confirmRemove());
    ASSERT_EQ(section->rows().size(), 2);
    EXPECT_EQ(section->rows().at(0)->titleLabel()->text(), QStringLiteral("First"));
    EXPECT_EQ(section->rows().at(1)->titleLabel()->text(), QStringLiteral("Third"));
    const QJsonArray stored = personal.defaults->arrayValue(PersonalFeedStore::kFeedsKey);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[1].toObject().value(QStringLiteral("title")), QStringLiteral("Third"));
    EXPECT_EQ(section->countLine()->text(), QStringLiteral("2 of 2 on \u00B7 private to this computer"));
}

TEST(PersonalFeedsSection, SpinnerTurnsOnlyWhileTheStoreRefreshes)
{
    LoopbackServer server;
    server.route(QStringLiteral("/rss"), LoopbackServer::Response::withStatus(503));
    PersonalStore personal({feed(QStringLiteral("Slow"), server.url(QStringLiteral("rss")).toString())});
    QWidget window;
    auto* section = new PersonalFeedsSection(&window, personal.store.get());
    window.show();
    EXPECT_FALSE(section->spinner()->isVisible());

    QCoro::Task<void> pass = personal.store->refreshAll();
    EXPECT_TRUE(section->spinner()->isVisible());
    EXPECT_TRUE(section->spinner()->isSpinning());
    awaitTask(std::move(pass));
    EXPECT_FALSE(section->spinner()->isVisible());
    EXPECT_FALSE(section->spinner()->isSpinning());
    // The failed pass shows on the row at once.
    EXPECT_EQ(section->rows().at(0)->subtitleLabel()->text(), QStringLiteral("The site answered HTTP 503"));
}

} // namespace
