// The Finnhub key field when the keyring does not take the key: the key is
// back in the masked field to be saved again, the line says why, and the
// field lets go of it once a save goes through. What the user did meanwhile
// is not undone.
#include "SettingsHarness.h"

#include "settings/MarketsTab.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kUnanswered = QStringLiteral(
    "Could not save the Finnhub key: the keyring did not answer. Check that your desktop's keyring is running and "
    "unlocked, then save the key again.");

class KeyEntryTest : public SettingsTest {
protected:
    static void typeAndSave(MarketsTab& tab, const QString& key)
    {
        QTest::keyClicks(tab.keyField(), key);
        QTest::mouseClick(tab.saveKeyButton(), Qt::LeftButton);
    }
    std::optional<QString> storedKey() { return secrets.read(Keychain::kService, Keychain::kFinnhubAccount); }
};

TEST_F(KeyEntryTest, AKeyTheKeyringDidNotTakeIsBackInTheFieldToSaveAgain)
{
    const struct {
        const char* name;
        std::optional<ErrorKind> refusal;  // none: the keyring holds the save
        QString line;
    } cases[] = {
        {"no unlocked keyring", ErrorKind::Locked,
         QStringLiteral("Could not save the Finnhub key: no keyring is unlocked on this computer. Unlock or create a "
                        "login keyring in your desktop's passwords app, then save the key again.")},
        {"a keyring that fails", ErrorKind::Io,
         QStringLiteral("Could not save the Finnhub key: Could not store the secret for \"finnhub_api_key\"")},
        {"a keyring that does not answer", std::nullopt, kUnanswered},
    };
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    int typed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString key = QStringLiteral("typed-key-%1").arg(++typed);
        secrets.failWrites = c.refusal.has_value();
        secrets.writeFailure = c.refusal.value_or(ErrorKind::Io);
        secrets.holdWrites = !c.refusal;
        typeAndSave(tab, key);
        if (!c.refusal) {
            EXPECT_TRUE(tab.keyField()->text().isEmpty()) << "the field lets go of the key at once";
            time.advance(MarketsStore::kKeyringAnswerWait);
        }
        ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == c.line; }))
            << tab.keyStatusLabel()->text().toStdString();
        EXPECT_EQ(tab.keyField()->text(), key);
        EXPECT_EQ(tab.keyField()->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(tab.saveKeyButton()->isEnabled());
        EXPECT_NE(storedKey(), key);

        // The keyring takes it: a held save answers late, a refused one is saved again.
        secrets.failWrites = false;
        secrets.holdWrites = false;
        if (c.refusal)
            QTest::mouseClick(tab.saveKeyButton(), Qt::LeftButton);
        else
            secrets.release();
        ASSERT_TRUE(waitUntil([&] { return storedKey() == key && tab.keyField()->text().isEmpty(); }))
            << tab.keyStatusLabel()->text().toStdString();
        ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == QStringLiteral("Key accepted"); }))
            << tab.keyStatusLabel()->text().toStdString();
        EXPECT_TRUE(tab.keyField()->text().isEmpty());
    }
}

// The keyring asks the user first (a new keyring's password, an unlock):
// however long the user takes there, the line says that the keyring waits
// for them, not that it did not answer; what they answered shows after.
TEST_F(KeyEntryTest, TheTimeSpentInTheKeyringsPromptIsNoFailure)
{
    const QString waiting = QStringLiteral("Waiting for the keyring: answer its prompt to save the key…");
    const struct {
        const char* name;
        bool prompt;     // the keyring opens its prompt; else it neither answers nor asks
        bool dismissed;  // the user closes the prompt without answering
        QString lineWhileHeld;
        QString lineAfter;
    } cases[] = {
        {"the user answers the prompt", true, false, waiting, QStringLiteral("Key accepted")},
        {"the user dismisses the prompt", true, true, waiting,
         QStringLiteral("Could not save the Finnhub key: the keyring's prompt was dismissed, so no keyring is "
                        "unlocked on this computer. Unlock or create a login keyring in your desktop's passwords "
                        "app, then save the key again.")},
        {"a keyring that neither answers nor asks", false, false, kUnanswered, QStringLiteral("Key accepted")},
    };
    MarketsTab tab(*store, nullptr, &markets(), defaults.get());
    int typed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString key = QStringLiteral("prompted-key-%1").arg(++typed);
        secrets.promptWrites = c.prompt;
        secrets.dismissPrompts = c.dismissed;
        secrets.holdWrites = !c.prompt;
        typeAndSave(tab, key);
        FakeTime::settle();
        time.advance(3 * MarketsStore::kKeyringAnswerWait);
        FakeTime::settle();
        EXPECT_EQ(tab.keyStatusLabel()->text(), c.lineWhileHeld);
        EXPECT_EQ(tab.keyField()->text().isEmpty(), c.prompt) << "the key is back in the field only on a failure";

        secrets.promptWrites = secrets.holdWrites = false;
        secrets.release();
        ASSERT_TRUE(waitUntil([&] { return tab.keyStatusLabel()->text() == c.lineAfter; }))
            << tab.keyStatusLabel()->text().toStdString();
        EXPECT_EQ(storedKey() == key, !c.dismissed);
        EXPECT_EQ(tab.keyField()->text(), c.dismissed ? key : QString()) << "to be saved again";
        tab.keyField()->clear();
    }
}

TEST_F(KeyEntryTest, WhatTheUserDidWhileTheKeyringTookItsTimeStays)
{
    const struct {
        const char* name;
        std::function<void(MarketsTab&)> meanwhile;
        QString fieldAfter;
    } cases[] = {
        {"typed another key", [](MarketsTab& tab) { QTest::keyClicks(tab.keyField(), QStringLiteral("other")); },
         QStringLiteral("other")},
        {"removed the key", [](MarketsTab& tab) { QTest::mouseClick(tab.removeKeyButton(), Qt::LeftButton); },
         QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, QStringLiteral("old-key")).has_value());
        MarketsTab tab(*store, nullptr, &markets(), defaults.get());
        markets().setFinnhubKey(QStringLiteral("old-key"));
        ASSERT_TRUE(waitUntil([&] { return tab.removeKeyButton()->isEnabled(); }));
        secrets.holdWrites = true;
        typeAndSave(tab, QStringLiteral("unsaved-key"));
        c.meanwhile(tab);
        time.advance(MarketsStore::kKeyringAnswerWait);
        EXPECT_TRUE(tab.keyStatusLabel()->text().startsWith(QStringLiteral("Could not "))) << tab.keyStatusLabel()->text().toStdString();
        EXPECT_EQ(tab.keyField()->text(), c.fieldAfter);
        secrets.holdWrites = false;
        secrets.release();
        FakeTime::settle();
        EXPECT_EQ(tab.keyField()->text(), c.fieldAfter);
    }
}

} // namespace
