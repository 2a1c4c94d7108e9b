#include "TabHarness.h"

#include "settings/FiltersTab.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class FiltersTabTest : public TabTest {};

struct PhraseStep {
    const char* what;
    enum { Mute, Follow, RemoveMuted, RemoveFollowed } action;
    QString text;
    QStringList muted;
    QStringList followed;
};

TEST_F(FiltersTabTest, PhrasesAreAddedTrimmedMovedBetweenListsAndRemovedIgnoringCase)
{
    FiltersTab tab(feedStore(), nullptr, filters.get(), reads.get(), defaults.get());
    const QList<PhraseStep> steps = {
        {"trimmed, case kept", PhraseStep::Mute, QStringLiteral("  Apple \n"), {"Apple"}, {}},
        {"same phrase in another case", PhraseStep::Mute, QStringLiteral("apple"), {"Apple"}, {}},
        {"blank", PhraseStep::Mute, QStringLiteral("   "), {"Apple"}, {}},
        {"following moves it over", PhraseStep::Follow, QStringLiteral("APPLE"), {}, {"APPLE"}},
        {"second muted phrase", PhraseStep::Mute, QStringLiteral("Mars rover"), {"Mars rover"}, {"APPLE"}},
        {"third muted phrase", PhraseStep::Mute, QStringLiteral("storm"), {"Mars rover", "storm"}, {"APPLE"}},
        {"remove keeps the order of the rest", PhraseStep::RemoveMuted, QStringLiteral("Mars rover"), {"storm"},
         {"APPLE"}},
        {"remove the followed one", PhraseStep::RemoveFollowed, QStringLiteral("APPLE"), {"storm"}, {}},
    };
    for (const PhraseStep& step : steps) {
        SCOPED_TRACE(step.what);
        switch (step.action) {
        case PhraseStep::Mute:
        case PhraseStep::Follow: {
            QLineEdit* field = step.action == PhraseStep::Mute ? tab.muteField() : tab.followField();
            field->setText(step.text);
            QTest::keyClick(field, Qt::Key_Return);
            EXPECT_TRUE(field->text().trimmed().isEmpty());
            break;
        }
        case PhraseStep::RemoveMuted:
        case PhraseStep::RemoveFollowed: {
            QPushButton* remove = tab.removeButton(step.action == PhraseStep::RemoveMuted, step.text);
            ASSERT_NE(remove, nullptr);
            QTest::mouseClick(remove, Qt::LeftButton);
            break;
        }
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
