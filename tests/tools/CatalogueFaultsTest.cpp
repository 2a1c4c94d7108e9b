// The sample server's fault mode, seen by the app's HTTP client: every fault
// arrives on the wire as the failure it stands for.
#include "CatalogueServer.h"
#include "FaultInjector.h"
#include "platform/net/Http.h"

#include "Await.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <gtest/gtest.h>

namespace {

TEST(CatalogueFaults, EachFaultReachesTheClientAsWhatItStandsFor)
{
    constexpr quint64 seed = 11;
    CatalogueServer::Options options;
    options.faultShare = 1;
    options.faultSeed = seed;
    CatalogueServer server(options);
    ASSERT_TRUE(server.start().has_value());
    QNetworkAccessManager network;
    // The same seed gives the server's sequence: requests go one at a time.
    FaultInjector expected(1, seed);

    QSet<QString> seen;
    for (int i = 0; i < 48; ++i) {
        const FaultInjector::Fault fault = *expected.next();
        const QString name = FaultInjector::name(fault);
        SCOPED_TRACE(name.toStdString());
        seen.insert(name);
        HttpRequest request(QUrl(server.baseUrl().toString() + QStringLiteral("v1_manifest")));
        request.idleTimeout = std::chrono::milliseconds(400);  // ends a stalled body
        const auto answer = awaitTask(httpSend(&network, request), 20000);
        ASSERT_TRUE(answer.has_value()) << "no answer";
        const Result<HttpResponse>& reply = *answer;

        using Fault = FaultInjector::Fault;
        switch (fault) {
        case Fault::Status500:
        case Fault::Status503:
        case Fault::Status429:
            ASSERT_TRUE(reply.has_value());
            EXPECT_EQ(QString::number(reply->status), name);
            EXPECT_EQ(reply->header("retry-after").isEmpty(), fault == Fault::Status500);
            break;
        case Fault::ClosedConnection:
        case Fault::TruncatedBody:
            ASSERT_FALSE(reply.has_value()) << "a broken answer read as " << reply->status;
            EXPECT_TRUE(reply.error().is(ErrorKind::Transport)) << reply.error().description.toStdString();
            break;
        case Fault::StalledBody:
            ASSERT_FALSE(reply.has_value());
            EXPECT_TRUE(reply.error().is(ErrorKind::TimedOut)) << reply.error().description.toStdString();
            break;
        case Fault::MalformedJson: {
            ASSERT_TRUE(reply.has_value());
            EXPECT_EQ(reply->status, 200);
            QJsonParseError error{};
            QJsonDocument::fromJson(reply->body, &error);
            EXPECT_NE(error.error, QJsonParseError::NoError);
            break;
        }
        case Fault::NotModifiedUnknownTag:
            ASSERT_TRUE(reply.has_value());
            EXPECT_EQ(reply->status, 304);
            EXPECT_TRUE(reply->body.isEmpty());
            break;
        }
    }
    EXPECT_EQ(seen.size(), FaultInjector::kFaultCount);
}

} // namespace
