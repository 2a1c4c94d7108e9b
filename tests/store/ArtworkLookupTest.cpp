#include "Await.h"
#include "LoopbackServer.h"
#include "store/ArtworkLookup.h"

#include <QNetworkAccessManager>
#include <gtest/gtest.h>

namespace {

TEST(ArtworkLookup, ReadsTheFirstResultWidenedTo600)
{
    struct Case {
        const char* name;
        const char* body;
        const char* expected;  // nullptr: nothing
    };
    const Case cases[] = {
        {"first result", R"({"results":[{"artworkUrl100":"https://a.example/x/100x100bb.jpg"},{"artworkUrl100":"https://b"}]})",
         "https://a.example/x/600x600bb.jpg"},
        {"every occurrence replaced", R"({"results":[{"artworkUrl100":"https://h/100x100/100x100.jpg"}]})",
         "https://h/600x600/600x600.jpg"},
        {"no results", R"({"results":[]})", nullptr},
        {"results not an array", R"({"results":{}})", nullptr},
        {"missing artwork key", R"({"results":[{"trackName":"x"}]})", nullptr},
        {"artwork not a string", R"({"results":[{"artworkUrl100":5}]})", nullptr},
        {"not JSON", "<html>", nullptr},
        {"top level array", "[]", nullptr},
        {"not an address", R"({"results":[{"artworkUrl100":"no scheme here"}]})", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto url = ArtworkLookup::artworkFromReply(QByteArray(c.body));
        if (c.expected)
            EXPECT_EQ(url, QUrl(QString::fromUtf8(c.expected)));
        else
            EXPECT_FALSE(url.has_value());
    }
}

TEST(ArtworkLookup, AsksTheSearchServiceForOneSong)
{
    LoopbackServer server;
    server.route(QStringLiteral("/search"),
                 LoopbackServer::Response::json(R"({"results":[{"artworkUrl100":"http://img/100x100.png"}]})", 404));
    QNetworkAccessManager network;
    const auto url = awaitTask(ArtworkLookup::lookUp(&network, server.baseUrl(), QStringLiteral("AC/DC & Co"),
                                                     QStringLiteral("T.N.T."), {}));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(*url, QUrl(QStringLiteral("http://img/600x600.png")));  // the status is not consulted
    ASSERT_EQ(server.requestCount(QStringLiteral("/search")), 1);
    const auto request = server.requestsFor(QStringLiteral("/search")).first();
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("term"), QUrl::FullyDecoded), QStringLiteral("AC/DC & Co T.N.T."));
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("entity")), QStringLiteral("song"));
    EXPECT_EQ(request.query.queryItemValue(QStringLiteral("limit")), QStringLiteral("1"));
}

TEST(ArtworkLookup, TransportFailureGivesNothing)
{
    QNetworkAccessManager network;
    LoopbackServer server;
    const QUrl base = server.baseUrl();
    server.stop();
    const auto url = awaitTask(ArtworkLookup::lookUp(&network, base, QStringLiteral("a"), QStringLiteral("b"), {}));
    ASSERT_TRUE(url.has_value());
    EXPECT_FALSE(url->has_value());
}

} // namespace
