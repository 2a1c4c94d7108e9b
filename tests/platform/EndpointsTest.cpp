#include "platform/Endpoints.h"

#include <gtest/gtest.h>

namespace {

TEST(Endpoints, EnvironmentOverridesOnlyValidAddresses)
{
    qputenv("TIDEWIRE_API_BASE", "http://127.0.0.1:8123/");
    qputenv("TIDEWIRE_FINNHUB_BASE", "   ");
    qputenv("TIDEWIRE_COINGECKO_BASE", "not a url");
    const Endpoints e = Endpoints::fromEnvironment();
    qunsetenv("TIDEWIRE_API_BASE");
    qunsetenv("TIDEWIRE_FINNHUB_BASE");
    qunsetenv("TIDEWIRE_COINGECKO_BASE");
    EXPECT_EQ(e.apiBase, QUrl(QStringLiteral("http://127.0.0.1:8123/")));
    EXPECT_EQ(e.finnhubBase, Endpoints::builtIn().finnhubBase);
    EXPECT_EQ(e.coingeckoBase, Endpoints::builtIn().coingeckoBase);
    EXPECT_EQ(Endpoints::builtIn().apiBase, QUrl(QStringLiteral("https://api.tidewire.invalid/")));
}

TEST(Endpoints, JoinKeepsTheBasePath)
{
    struct Case {
        const char* base;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"http://h/", "v1_manifest", "http://h/v1_manifest"},
        {"http://h/api", "v1_manifest", "http://h/api/v1_manifest"},
        {"http://h/api/", "/v1_orbs", "http://h/api/v1_orbs"},
        {"http://h:81/", "v1_weather?city=Oslo", "http://h:81/v1_weather?city=Oslo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Endpoints::join(QUrl(QString::fromLatin1(c.base)), QString::fromLatin1(c.path)).toString(),
                  QString::fromLatin1(c.expected));
}

} // namespace
