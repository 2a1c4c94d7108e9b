#include "TabHarness.h"

#include "settings/FiltersTab.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class FiltersTabTest : public TabTest {};

TEST_F(FiltersTabTest, PhrasesAreAddedTrimmedMovedBetweenListsAndRemoved)
{
    FiltersTab tab(feedStore(), nullptr, filters.get(), reads.get(), defaults.get());
    struct Step {
        const char* what;
        bool mutedList, remove;
        QString text;
        QStringList muted, followed;
    };
    const QList<Step> steps = {
        {"trimmed, case kept", true, false, QStringLiteral("  Apple \n"), {"Apple"}, {}},
        {"same phrase in another case", true, false, QStringLiteral("apple"), {"Apple"}, {}},
        {"blank", true, false, QStringLiteral("   "), {"Apple"}, {}},
        {"following moves it over", false, false, QStringLiteral("APPLE"), {}, {"APPLE"}},
        {"second muted phrase", true, false, QStringLiteral("Mars rover"), {"Mars rover"}, {"APPLE"}},
        {"third muted phrase", true, false, QStringLiteral("storm"), {"Mars rover", "storm"}, {"APPLE"}},
        {"removal keeps the order of the rest", true, true, QStringLiteral("Mars rover"), {"storm"}, {"APPLE"}},
        {"removal of the followed one", false, true, QStringLiteral("APPLE"), {"storm"}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.remove) {
            QPushButton* remove = tab.removeButton(step.mutedList, step.text);
            ASSERT_NE(remove, nullptr);
            QTest::mouseClick(remove, Qt::LeftButton);
        } else {
            QLineEdit* field = step.mutedList ? tab.muteField() : tab.followField();
            field->setText(step.text);
            QTest::keyClick(field, Qt::Key_Return);
            EXPECT_TRUE(field->text().trimmed().isEmpty());
        }
        EXPECT_EQ(filters->muted(), step.muted);
        EXPECT_EQ(filters->followed(), step.followed);
        EXPECT_EQ(tab.shownMuted(), step.muted);
        EXPECT_EQ(tab.shownFollowed(), step.followed);
        EXPECT_EQ(defaults->stringList(FilterStore::MutedKey), step.muted);
        EXPECT_EQ(defaults->stringList(FilterStore::FollowedKey), step.followed);
    }

    // The strip's keyword menu mutes a word: the tab lists it at once.
    filters->mute(QStringLiteral("Eclipse"));
    EXPECT_EQ(tab.shownMuted(), (QStringList{"storm", "Eclipse"}));
    FakeTime::settle();  // removed rows go
    EXPECT_EQ(tab.shownMuted(), (QStringList{"storm", "Eclipse"}));
}

TEST_F(FiltersTabTest, DimSwitchAndReadHistoryFollowTheSettingsBothWays)
{
    reads->markRead(QStringLiteral("a"));
    reads->markRead(QStringLiteral("b"));
    FiltersTab tab(feedStore(), nullptr, filters.get(), reads.get(), defaults.get());

    // Dimming is on when never set; the switch writes the key.
    EXPECT_TRUE(tab.dimSwitch()->isChecked());
    QTest::mouseClick(tab.dimSwitch(), Qt::LeftButton);
    EXPECT_EQ(defaults->value(QStringLiteral("dimReadItems")), QJsonValue(false));
    defaults->set(QStringLiteral("dimReadItems"), true);
    EXPECT_TRUE(tab.dimSwitch()->isChecked());
    EXPECT_EQ(defaults->value(QStringLiteral("dimReadItems")), QJsonValue(true)) << "showing a change writes nothing back";

    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("2 headlines remembered"));
    reads->markRead(QStringLiteral("c"));
    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("3 headlines remembered"));
    ASSERT_TRUE(tab.clearHistoryButton()->isEnabled());
    QTest::mouseClick(tab.clearHistoryButton(), Qt::LeftButton);
    EXPECT_TRUE(reads->order().isEmpty());
    EXPECT_FALSE(reads->isRead(QStringLiteral("a")));
    EXPECT_EQ(defaults->value(ReadStore::StorageKey), QJsonValue(QJsonArray()));
    EXPECT_EQ(tab.historyLabel()->text(), QStringLiteral("0 headlines remembered"));
    EXPECT_FALSE(tab.clearHistoryButton()->isEnabled());

    // All of it is in the file a restart reads.
    const QJsonObject file = QJsonDocument::fromJson(settingsFile()).object();
    EXPECT_EQ(file.value(QStringLiteral("dimReadItems")), QJsonValue(true));
    EXPECT_EQ(file.value(ReadStore::StorageKey), QJsonValue(QJsonArray()));
}

} // namespace
