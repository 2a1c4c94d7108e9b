#include "platform/SecretStore.h"

#include <gtest/gtest.h>

namespace {

const QString kService = QStringLiteral("tidewire.client");
const QString kAccount = QStringLiteral("finnhub_api_key");

TEST(MemorySecretStore, StoresReplacesAndRemovesPerServiceAndAccount)
{
    MemorySecretStore store;
    EXPECT_EQ(store.read(kService, kAccount), std::nullopt);
    ASSERT_TRUE(store.write(kService, kAccount, QStringLiteral("one")).has_value());
    ASSERT_TRUE(store.write(kService, kAccount, QStringLiteral("two")).has_value());
    ASSERT_TRUE(store.write(kService, QStringLiteral("other"), QStringLiteral("x")).has_value());
    ASSERT_TRUE(store.write(QStringLiteral("a\nb"), QStringLiteral("c"), QStringLiteral("first")).has_value());
    ASSERT_TRUE(store.write(QStringLiteral("a"), QStringLiteral("b\nc"), QStringLiteral("second")).has_value());

    EXPECT_EQ(store.read(kService, kAccount), QStringLiteral("two"));
    EXPECT_EQ(store.read(QStringLiteral("a\nb"), QStringLiteral("c")), QStringLiteral("first"));
    EXPECT_EQ(store.read(QStringLiteral("a"), QStringLiteral("b\nc")), QStringLiteral("second"));
    ASSERT_TRUE(store.remove(kService, kAccount).has_value());
    EXPECT_EQ(store.read(kService, kAccount), std::nullopt);
    EXPECT_EQ(store.read(kService, QStringLiteral("other")), QStringLiteral("x"));
    EXPECT_TRUE(store.remove(kService, kAccount).has_value()) << "removing an absent secret succeeds";
    EXPECT_EQ(store.readCount, 6);
}

TEST(MemorySecretStore, FailuresChangeNothing)
{
    const struct {
        const char* name;
        bool failWrites;
        bool unavailable;
        ErrorKind kind;
        bool readable;
    } cases[] = {
        {"failing writes", true, false, ErrorKind::Io, true},
        {"no service", false, true, ErrorKind::Unavailable, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySecretStore store;
        ASSERT_TRUE(store.write(kService, kAccount, QStringLiteral("old")).has_value());
        store.failWrites = c.failWrites;
        store.unavailable = c.unavailable;

        const auto written = store.write(kService, kAccount, QStringLiteral("new"));
        ASSERT_FALSE(written.has_value());
        EXPECT_EQ(written.error().kind, c.kind);
        EXPECT_FALSE(written.error().description.contains(QStringLiteral("new")));
        const auto removed = store.remove(kService, kAccount);
        ASSERT_FALSE(removed.has_value());
        EXPECT_EQ(removed.error().kind, c.kind);
        EXPECT_EQ(store.read(kService, kAccount).has_value(), c.readable);

        store.failWrites = false;
        store.unavailable = false;
        EXPECT_EQ(store.read(kService, kAccount), QStringLiteral("old"));
    }
}

}  // namespace
