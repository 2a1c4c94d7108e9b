// The personal feeds section on a real personal-feed store: what the header,
// the rows and the removal question show, and that every change goes
// through the store and back.

#include "SettingsFixtures.h"

#include "LoopbackServer.h"
#include "Await.h"
#include "api/Color.h"
#include "api/Palette.h"
#include "settings/AddPersonalFeedSheet.h"
#include "settings/BusySpinner.h"
#include "settings/PersonalFeedRow.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/PillButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using namespace SettingsFixtures;

QColor textColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

bool drawsSomething(const QIcon& icon, int side)
{
    const QImage image = icon.pixmap(side, side).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).alpha() > 0)
                return true;
        }
    }
    return false;
}

QPushButton* buttonTitled(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

QStringList storedTitles(Defaults& defaults)
{
    QStringList titles;
    for (const QJsonValue& value : defaults.arrayValue(PersonalFeedStore::kFeedsKey))
        titles.append(value.toObject().value(QStringLiteral("title")).toString());
    return titles;
}

struct CountCase {
    const char* name;
    int feeds;
    int off;
    QString countLine;
    bool canAdd;
};

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
        }

        // The add button opens the sheet below the limit and does nothing at it.
        QTest::mouseClick(section->addButton(), Qt::LeftButton);
        EXPECT_EQ(section->addSheet() != nullptr, c.canAdd);
        if (section->addSheet()) {
            EXPECT_TRUE(section->addSheet()->isVisible());
            section->addSheet()->close();
        }
    }
}

struct RowCase {
    const char* name;
    PersonalFeed feed;
    QColor dot;
    QString dotTip;
    QString subtitle;
    QColor subtitleColor;
};

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
        {"never fetched, upper-case www host", never, Color::okGreen(), QStringLiteral("Fetched never"),
         QStringLiteral("example.com"), Color::mutedText()},
        {"failed", failed, Palette::orange(), QStringLiteral("The site answered HTTP 404"),
         QStringLiteral("The site answered HTTP 404"), Palette::orange()},
        {"fetched minutes ago", recent, Color::okGreen(), QStringLiteral("Fetched 5 min. ago"),
         QStringLiteral("news.example.org"), Color::mutedText()},
        {"address without a host", raw, Color::okGreen(), QStringLiteral("Fetched 2 days ago"),
         QStringLiteral("www.raw.example/rss"), Color::mutedText()},
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
        EXPECT_TRUE(drawsSomething(row->removeButton()->icon(), 9)) << "the cross is drawn";
        EXPECT_EQ(row->enableSwitch()->accessibleName(), c.feed.title);
        EXPECT_EQ(row->enableSwitch()->accessibleDescription(), QStringLiteral("Enabled"));
    }
    QLocale::setDefault(previous);
}

TEST(PersonalFeedsSection, SwitchAndRemovalGoThroughTheStoreAndShowAtOnce)
{
    PersonalStore personal(
        {feed(QStringLiteral("First"), QStringLiteral("https://one.example/rss")),
         feed(QStringLiteral("Second"), QStringLiteral("https://two.example/rss")),
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
    EXPECT_EQ(section->rows().at(1)->enableSwitch()->accessibleDescription(), QStringLiteral("Disabled"));
    EXPECT_FALSE(personal.defaults->arrayValue(PersonalFeedStore::kFeedsKey).at(1)[QStringLiteral("isEnabled")].toBool());
    // A change made elsewhere shows too.
    personal.store->setEnabled(personal.store->feeds().at(1).id, true);
    EXPECT_TRUE(section->rows().at(1)->enableSwitch()->isChecked());

    // Remove, then Cancel: nothing changes.
    QTest::mouseClick(section->rows().at(1)->removeButton(), Qt::LeftButton);
    ASSERT_TRUE(section->confirmRemove());
    EXPECT_EQ(section->confirmRemove()->title, QStringLiteral("Second"));
    QMessageBox* question = section->removalConfirmation();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("Remove \u201CSecond\u201D?"));
    EXPECT_EQ(question->informativeText(),
              QStringLiteral("Its headlines leave the ticker straight away. You can add it back any time."));
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
    EXPECT_EQ(storedTitles(*personal.defaults), (QStringList{QStringLiteral("First"), QStringLiteral("Third")}));
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
