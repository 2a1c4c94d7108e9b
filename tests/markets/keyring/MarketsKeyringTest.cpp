// The Finnhub key through the market store against a real Secret Service.
// Runs under tests/support/run-with-keyring.sh; TIDEWIRE_SECRET_TEST says
// whether a private gnome-keyring, one without a login keyring, or no secret
// service at all is there.
#include "markets/MarketsStore.h"

#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"

#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

QString mode()
{
    return qEnvironmentVariable("TIDEWIRE_SECRET_TEST");
}

class MarketsKeyring : public ::testing::Test {
protected:
    LoopbackServer server;  // Finnhub stand-in: refuses every key
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();

    void SetUp() override
    {
        if (mode().startsWith(QStringLiteral("missing:")))
            GTEST_SKIP() << mode().toStdString();
        server.fallback([](const LoopbackServer::Request&) {
            return LoopbackServer::Response::json(R"({"error":"Invalid API key"})", 401);
        });
    }

    // A store that has read the key: the read runs in the background.
    std::unique_ptr<MarketsStore> makeStore()
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = e.finnhubBase = e.coingeckoBase = server.baseUrl();
        auto s = std::make_unique<MarketsStore>(*defaults, SecretStore::system(), time, time, e);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return s->hasFinnhubKey() || s->keyStatus().kind != MarketsStore::KeyStatus::Kind::Checking; }, 30000));
        return s;
    }

    static std::optional<QString> stored()
    {
        return Keychain(SecretStore::system()).read(Keychain::kFinnhubAccount);
    }

    static void settle(MarketsStore& s)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.keyStatus().kind != MarketsStore::KeyStatus::Kind::Checking; }, 30000));
        FakeTime::settle();
    }
};

TEST_F(MarketsKeyring, StoreReplaceReadBackDelete)
{
    if (mode() != QLatin1String("keyring"))
        GTEST_SKIP() << "needs a keyring";
    ASSERT_FALSE(stored().has_value());
    {
        auto s = makeStore();
        EXPECT_FALSE(s->hasFinnhubKey());
        s->setFinnhubKey(QStringLiteral("  first-key\n"));
        settle(*s);
        EXPECT_EQ(stored(), QStringLiteral("first-key"));
        EXPECT_EQ(s->keyStatus(), MarketsStore::KeyStatus::rejected()) << "the stand-in refuses every key";
        s->setFinnhubKey(QStringLiteral("second-key"));
        settle(*s);
        EXPECT_EQ(stored(), QStringLiteral("second-key"));
    }
    {
        auto s = makeStore();  // a restart reads the stored key
        EXPECT_TRUE(s->hasFinnhubKey());
        EXPECT_EQ(s->keyStatus(), MarketsStore::KeyStatus::checking());
        s->setFinnhubKey(QStringLiteral(" "));
        ASSERT_TRUE(QTest::qWaitFor([&] { return s->keyStatus() == MarketsStore::KeyStatus::none(); }, 30000));
        EXPECT_FALSE(stored().has_value());
        EXPECT_FALSE(s->hasFinnhubKey());
    }
    auto s = makeStore();
    EXPECT_FALSE(s->hasFinnhubKey());
    EXPECT_EQ(s->keyStatus(), MarketsStore::KeyStatus::none());
    FakeTime::settle();
}

TEST_F(MarketsKeyring, WithoutAServiceASaveReportsAnError)
{
    if (mode() != QLatin1String("no-service"))
        GTEST_SKIP() << "needs a bus without a secret service";
    auto s = makeStore();
    EXPECT_FALSE(s->hasFinnhubKey());
    s->setFinnhubKey(QStringLiteral("some-key"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->keyStatus().kind == MarketsStore::KeyStatus::Kind::Error; }, 30000));
    EXPECT_TRUE(s->keyStatus().message.startsWith(QStringLiteral("Could not save the Finnhub key: ")))
        << s->keyStatus().message.toStdString();
    EXPECT_FALSE(s->keyStatus().message.contains(QStringLiteral("some-key")) || s->hasFinnhubKey());
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

// A keyring service without a login keyring (none was made or unlocked): the
// line says so in plain words and what to do, and nothing is sent.
// gnome-keyring opens its prompt for the new keyring's password, and having
// no display to show it on, dismisses it: the line says so meanwhile and after.
TEST_F(MarketsKeyring, WithoutAnUnlockedKeyringASaveSaysSoInPlainWords)
{
    if (mode() != QLatin1String("no-keyring"))
        GTEST_SKIP() << "needs a keyring service without a login keyring";
    auto s = makeStore();
    QStringList lines;
    QObject::connect(s.get(), &MarketsStore::keyStatusChanged, [&] { lines << s->keyStatus().message; });
    s->setFinnhubKey(QStringLiteral("some-key"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->keyStatus().kind == MarketsStore::KeyStatus::Kind::Error; }, 5000));
    EXPECT_TRUE(lines.contains(QStringLiteral("Waiting for the keyring: answer its prompt to save the key…")))
        << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s->keyStatus().message.toStdString(),
              "Could not save the Finnhub key: the keyring's prompt was dismissed, so no keyring is unlocked on this "
              "computer. Unlock or create a login keyring in your desktop's passwords app, then save the key again.");
    EXPECT_FALSE(s->hasFinnhubKey());
    EXPECT_EQ(stored(), std::nullopt);
    FakeTime::settle();
    EXPECT_EQ(server.requestCount(), 0);
}

} // namespace
