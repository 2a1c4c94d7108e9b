#include "ServerFixture.h"

#include <QProcess>
#include <QTcpServer>
#include <csignal>

namespace {

class CatalogueTransportTest : public ServerFixture {};

TEST_F(CatalogueTransportTest, EveryReadCarriesAValidatorAndAMatchGets304)
{
    for (const QString& path : {QStringLiteral("v1_manifest"), QStringLiteral("v1_orbs"), QStringLiteral("v1_markets"),
                                QStringLiteral("v1_weather?city=Dublin"), QStringLiteral("v1_nowplaying?artist=Mara%20Vell"),
                                QStringLiteral("v1_items_batch?feed_ids=f-stackline&limit_per_feed=3"),
                                QStringLiteral("feeds/workshop.atom"), QStringLiteral("ip3/stackline.example.ico")}) {
        SCOPED_TRACE(path.toStdString());
        const HttpResponse first = get(path);
        ASSERT_EQ(first.status, 200);
        const QByteArray tag = first.header("etag");
        ASSERT_TRUE(tag.startsWith('"') && tag.endsWith('"') && tag.size() > 2) << tag.toStdString();

        const HttpResponse again = get(path, {{"If-None-Match", tag}});
        EXPECT_EQ(again.status, 304);
        EXPECT_TRUE(again.body.isEmpty());
        EXPECT_EQ(again.header("etag"), tag);

        const HttpResponse stale = get(path, {{"If-None-Match", "\"not-it\""}});
        EXPECT_EQ(stale.status, 200);
        EXPECT_EQ(stale.body, first.body);
    }
}

TEST_F(CatalogueTransportTest, ANewBodyGetsANewValidator)
{
    const QString path = QStringLiteral("v1_items_batch?feed_ids=f-hn-front-page&limit_per_feed=2");
    const HttpResponse first = get(path);
    advanceMinutes(24 * 60);
    const HttpResponse later = get(path, {{"If-None-Match", first.header("etag")}});
    EXPECT_EQ(later.status, 200);
    EXPECT_NE(later.header("etag"), first.header("etag"));
    EXPECT_NE(later.body, first.body);
}

TEST(EntityTagMatch, IfNoneMatchForms)
{
    const QByteArray tag = "\"abc\"";
    struct Case {
        QByteArray header;
        bool matches;
    };
    const QList<Case> cases = {
        {"\"abc\"", true},
        {"W/\"abc\"", true},                // weak comparison for GET
        {"\"x\", \"abc\"", true},          // a list
        {"\"x\",W/\"abc\"", true},
        {"*", true},
        {"\"abd\"", false},
        {"abc", false},                     // unquoted is another tag
        {"", false},
        {"\"x\", \"y\"", false},
    };
    for (const Case& test : cases)
        EXPECT_EQ(CatalogueServer::matchesAny(test.header, tag), test.matches) << test.header.toStdString();
    EXPECT_NE(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("b"));
    EXPECT_EQ(CatalogueServer::entityTag("a"), CatalogueServer::entityTag("a"));
}

TEST_F(CatalogueTransportTest, UnknownPathsAndWrongMethods)
{
    struct Case {
        QByteArray method;
        QString path;
        int status;
        QByteArray allow;
    };
    const QList<Case> cases = {
        {"GET", "v1_nothing", 404, {}},
        {"GET", "v1_manifest/extra", 404, {}},
        {"GET", "feeds/missing.rss", 404, {}},
        {"GET", "ip3/.ico", 404, {}},
        {"GET", "ip3/a%20b.ico", 404, {}},
        {"GET", "img/../x.png", 404, {}},
        {"GET", "feedback", 405, "POST"},
        {"GET", "v1_suggest_feed", 405, "POST"},
        {"POST", "v1_manifest", 405, "GET, HEAD"},
        {"PUT", "v1_manifest", 405, "GET, HEAD"},
        {"POST", "v1_unknown", 404, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE((test.method + " " + test.path.toUtf8()).toStdString());
        HttpRequest request(QUrl(server.baseUrl().toString() + test.path));
        request.method = test.method;
        request.body = "{}";
        const HttpResponse response = send(request);
        EXPECT_EQ(response.status, test.status);
        EXPECT_FALSE(errorMessage(response).isEmpty());
        EXPECT_EQ(response.header("allow"), test.allow);
        EXPECT_TRUE(response.header("etag").isEmpty());
    }
}

TEST_F(CatalogueTransportTest, StartsOnceAndReportsABusyPort)
{
    EXPECT_TRUE(server.isRunning());
    EXPECT_EQ(server.baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.port())));
    EXPECT_FALSE(server.start().has_value());

    CatalogueServer::Options options;
    options.port = server.port();
    CatalogueServer second(options);
    const auto started = second.start();
    ASSERT_FALSE(started.has_value());
    EXPECT_TRUE(started.error().description.contains(QString::number(server.port())));

    server.stop();
    EXPECT_FALSE(server.isRunning());
    server.stop();  // twice is fine
}

TEST_F(CatalogueTransportTest, TheProgramPrintsItsAddressAndStopsOnSignal)
{
    QProcess program;
    program.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), {"--seed", "7"});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(program.waitForReadyRead(10000));
    const QString line = QString::fromUtf8(program.readLine()).trimmed();
    const QUrl base(line);
    EXPECT_EQ(base.scheme(), "http");
    EXPECT_EQ(base.host(), "127.0.0.1");
    EXPECT_GT(base.port(), 0);
    EXPECT_TRUE(line.endsWith('/'));

    const HttpResponse manifest = send(HttpRequest(QUrl(line + "v1_manifest")));
    EXPECT_EQ(manifest.status, 200);
    const HttpResponse icon = send(HttpRequest(QUrl(line + "ip3/example.org.ico")));
    EXPECT_EQ(icon.status, 200);

    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(CatalogueProgram, RejectsBadOptions)
{
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost));
    struct Case {
        QStringList arguments;
        int exitCode;
    };
    const QList<Case> cases = {
        {{"--port", "70000"}, 2},
        {{"--port", "x"}, 2},
        {{"--seed", "-1"}, 2},
        {{"--host", "0.0.0.0"}, 2},
        {{"--port", QString::number(busy.serverPort())}, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments.join(' ').toStdString());
        QProcess program;
        program.start(QStringLiteral(TIDEWIRE_CATALOGUE_SERVER_BINARY), test.arguments);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitCode(), test.exitCode);
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty()) << "no address is printed on failure";
        EXPECT_FALSE(program.readAllStandardError().isEmpty());
    }
}

} // namespace
