// The Finnhub key against a keyring that refuses it or does not answer: the
// status line says so in plain words within seconds, the work waiting for the
// key goes on, and an answer that comes late still counts.
#include "markets/MarketsStore.h"
#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using KeyStatus = MarketsStore::KeyStatus;

const QString kNoAnswerSave = QStringLiteral(
    "Could not save the Finnhub key: the keyring did not answer. Check that your desktop's keyring is running and "
    "unlocked, then save the key again.");

class KeyringAnswer : public ::testing::Test {
protected:
    LoopbackServer server;  // Finnhub: every quote at 100
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    MemorySecretStore secrets;

    void SetUp() override
    {
        server.route(QStringLiteral("/api/v1/quote"),
                     LoopbackServer::Response::json(R"({"c":100,"d":1,"dp":1,"pc":99,"t":1715976000})"));
    }
    void TearDown() override { FakeTime::settle(); }

    std::unique_ptr<MarketsStore> makeStore()
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = e.finnhubBase = e.coingeckoBase = server.baseUrl();
        return std::make_unique<MarketsStore>(*defaults, secrets, time, time, e);
    }

    std::optional<QString> stored() { return secrets.read(Keychain::kService, Keychain::kFinnhubAccount); }
};

std::vector<bool> outcomes(const QSignalSpy& spy)
{
    std::vector<bool> out;
    for (const QList<QVariant>& emitted : spy)
        out.push_back(emitted.at(0).toBool());
    return out;
}

TEST_F(KeyringAnswer, AReadTheKeyringHoldsEndsWithAClearLineAndItsLateAnswerCounts)
{
    ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, QStringLiteral("held-key")).has_value());
    secrets.holdReads = true;
    auto store = makeStore();
    ASSERT_EQ(store->keyStatus(), KeyStatus::checking());
    auto pass = store->refreshOwnKeyQuotes();  // waits for the key

    time.advance(MarketsStore::kKeyringAnswerWait - std::chrono::milliseconds(1));
    EXPECT_EQ(store->keyStatus(), KeyStatus::checking()) << "the keyring still has time";
    time.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(store->keyStatus(),
              KeyStatus::error(QStringLiteral("Could not read the Finnhub key: the keyring did not answer. Check "
                                              "that your desktop's keyring is running and unlocked.")));
    awaitTask(std::move(pass));
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 0) << "no key to price with";
    EXPECT_FALSE(store->hasFinnhubKey());

    secrets.holdReads = false;
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }));
    EXPECT_EQ(store->keyStatus(), KeyStatus::checking());
}

// A save or removal the keyring refuses, or does not answer (and answers
// later, when released): the line says what happened, and the outcome is
// told once more when a late answer comes.
TEST_F(KeyringAnswer, ASaveOrRemovalTheKeyringRefusesOrHoldsSaysSoInPlainWords)
{
    const QString locked = QStringLiteral(
        "Could not save the Finnhub key: no keyring is unlocked on this computer. Unlock or create a login keyring in "
        "your desktop's passwords app, then save the key again.");
    const QString failed = QStringLiteral("Could not save the Finnhub key: Could not store the secret for \"finnhub_api_key\"");
    const QString lockedRemoval = QStringLiteral(
        "Could not remove the Finnhub key: no keyring is unlocked on this computer. Unlock or create a login keyring "
        "in your desktop's passwords app, then remove the key again.");
    const QString unansweredRemoval = QStringLiteral(
        "Could not remove the Finnhub key: the keyring did not answer. Check that your desktop's keyring is running "
        "and unlocked, then remove the key again.");
    const struct {
        const char* name;
        QString typed;
        bool hold;  // the keyring holds the write until released
        std::optional<ErrorKind> refusal;
        QString line;                        // what the status says first
        std::optional<QString> finalLine;    // what it says once the keyring answered, when an error
        std::optional<QString> storedAfter;  // once the keyring answered
        std::vector<bool> told;
    } cases[] = {
        {"a save into a locked keyring, or none", QStringLiteral("new-key"), false, ErrorKind::Locked, locked, locked,
         QStringLiteral("old-key"), {false}},
        {"a save that fails otherwise", QStringLiteral("new-key"), false, ErrorKind::Io, failed, failed,
         QStringLiteral("old-key"), {false}},
        {"a removal from a locked keyring", QStringLiteral(" "), false, ErrorKind::Locked, lockedRemoval,
         lockedRemoval, QStringLiteral("old-key"), {false}},
        {"a save the keyring answers late", QStringLiteral("new-key"), true, std::nullopt, kNoAnswerSave,
         std::nullopt, QStringLiteral("new-key"), {false, true}},
        {"a removal the keyring answers late", QStringLiteral(" "), true, std::nullopt, unansweredRemoval,
         std::nullopt, std::nullopt, {false, true}},
        {"a save the keyring answers late with a refusal", QStringLiteral("new-key"), true, ErrorKind::Locked,
         kNoAnswerSave, locked, QStringLiteral("old-key"), {false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        secrets.failWrites = false;
        ASSERT_TRUE(secrets.write(Keychain::kService, Keychain::kFinnhubAccount, QStringLiteral("old-key")).has_value());
        auto store = makeStore();
        ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }));
        QSignalSpy told(store.get(), &MarketsStore::keyWriteFinished);
        secrets.holdWrites = c.hold;
        secrets.failWrites = c.refusal.has_value();
        secrets.writeFailure = c.refusal.value_or(ErrorKind::Io);

        store->setFinnhubKey(c.typed);
        if (c.hold) {
            time.advance(MarketsStore::kKeyringAnswerWait);
            EXPECT_EQ(store->keyStatus(), KeyStatus::error(c.line));
            EXPECT_EQ(outcomes(told), std::vector<bool>{false});
            secrets.holdWrites = false;
            secrets.release();
        } else {
            ASSERT_TRUE(waitUntil([&] { return !told.isEmpty(); }));
            EXPECT_EQ(store->keyStatus(), KeyStatus::error(c.line));
        }
        ASSERT_TRUE(waitUntil([&] { return told.size() == qsizetype(c.told.size()); }));
        FakeTime::settle();
        EXPECT_EQ(outcomes(told), c.told);
        EXPECT_EQ(stored(), c.storedAfter);
        EXPECT_EQ(store->hasFinnhubKey(), c.storedAfter.has_value());
        if (c.finalLine) {
            EXPECT_EQ(store->keyStatus(), KeyStatus::error(*c.finalLine));
        } else {
            EXPECT_NE(store->keyStatus().kind, KeyStatus::Kind::Error) << store->keyStatus().message.toStdString();
        }
    }
}

// Of two saves the keyring holds, only the later one is told about: the
// earlier one's wait ends with it.
TEST_F(KeyringAnswer, OnlyTheLatestSaveIsWaitedFor)
{
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return store->keyStatus() == KeyStatus::none(); }));
    QSignalSpy told(store.get(), &MarketsStore::keyWriteFinished);
    const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(MarketsStore::kKeyringAnswerWait) / 2;
    secrets.holdWrites = true;
    store->setFinnhubKey(QStringLiteral("first-key"));
    time.advance(half);
    store->setFinnhubKey(QStringLiteral("second-key"));
    time.advance(half);
    EXPECT_TRUE(told.isEmpty()) << "the second save has had half its time";
    EXPECT_EQ(store->keyStatus(), KeyStatus::checking());
    time.advance(half);
    EXPECT_EQ(store->keyStatus(), KeyStatus::error(kNoAnswerSave));
    secrets.holdWrites = false;
    secrets.release();
    ASSERT_TRUE(waitUntil([&] { return told.size() == 2; }));
    EXPECT_EQ(outcomes(told), (std::vector<bool>{false, true}));
    EXPECT_EQ(stored(), QStringLiteral("second-key"));
}

} // namespace
