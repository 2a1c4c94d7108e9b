#include "ServerFixture.h"

namespace {

class CatalogueFormsTest : public ServerFixture {
protected:
    QJsonObject suggest(const QString& url, int expectedStatus = 200, const QString& note = {})
    {
        QJsonObject body{{"url", url}};
        if (!note.isEmpty())
            body.insert("note", note);
        const HttpResponse response = post("v1_suggest_feed", QJsonDocument(body).toJson(QJsonDocument::Compact));
        EXPECT_EQ(response.status, expectedStatus) << url.toStdString() << ": " << response.body.toStdString();
        return objectOf(response);
    }
};

TEST_F(CatalogueFormsTest, SuggestionsAnswerEachStatus)
{
    struct Case {
        QString url;
        QString note;
        QJsonObject expected;
    };
    const QList<Case> cases = {
        {"https://www.stackline.example/some/feed", {}, {{"status", "already_carried"}, {"title", "Stackline"}}},
        {"https://lakeside.example/feed.xml", {}, {{"status", "added"}, {"title", "Lakeside"}}},
        {"https://gadgets.example/rss", "tech news", {{"status", "added"}, {"title", "Gadgets"}, {"category", "Technology"}}},
        {"https://quietblog.example/about", {}, {{"status", "received"}, {"title", "Quietblog"}}},
        {"https://lakeside.example/feed.xml/", {}, {{"status", "already_suggested"}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.url.toStdString());
        EXPECT_EQ(suggest(test.url, 200, test.note), test.expected);
    }
    ASSERT_EQ(server.suggestionsReceived().size(), 3);
    EXPECT_EQ(server.suggestionsReceived().at(1)["note"].toString(), "tech news");
}

TEST_F(CatalogueFormsTest, BadSuggestionsGetAnErrorMessage)
{
    for (const QByteArray& body : {QByteArray("not json"), QByteArray("[\"https://a.example/feed\"]"),
                                   QByteArray("{}"), QByteArray("{\"url\":\"   \"}"), QByteArray("{\"url\":42}"),
                                   QByteArray("{\"url\":\"ftp://a.example/feed\"}"),
                                   QByteArray("{\"url\":\"https://a.example/feed\",\"note\":7}")}) {
        SCOPED_TRACE(body.toStdString());
        const HttpResponse response = post("v1_suggest_feed", body);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
    const QByteArray huge = "{\"url\":\"https://a.example/feed\",\"note\":\"" + QByteArray(200 * 1024, 'x') + "\"}";
    EXPECT_EQ(post("v1_suggest_feed", huge).status, 413);
    EXPECT_TRUE(server.suggestionsReceived().isEmpty());
}

TEST_F(CatalogueFormsTest, AFewSuggestionsThen429UntilTheWindowPasses)
{
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(suggest(QStringLiteral("https://site%1.example/feed").arg(i))["status"], "added");
    // Past the limit every suggestion is refused, a valid new one included.
    const QJsonObject refused = suggest("https://fresh.example/feed", 429);
    EXPECT_TRUE(refused["error"]["message"].isString());
    EXPECT_EQ(post("v1_suggest_feed", "{}").status, 429);

    advanceMinutes(9);
    suggest("https://fresh.example/feed", 429);
    advanceMinutes(2);
    EXPECT_EQ(suggest("https://fresh.example/feed")["status"], "added");
    EXPECT_EQ(server.suggestionsReceived().size(), 6);
}

TEST_F(CatalogueFormsTest, FeedbackIsCheckedAndKept)
{
    const QByteArray full = R"({"rating":4,"comment":"Lovely ticker","email":"me@example.org","app_version":"0.1.0","macos":""})";
    const HttpResponse accepted = post("feedback", full);
    EXPECT_EQ(accepted.status, 200);
    EXPECT_EQ(post("feedback", R"({"rating":1,"comment":""})").status, 200);
    ASSERT_EQ(server.feedbackReceived().size(), 2);
    EXPECT_EQ(server.feedbackReceived().first(), QJsonDocument::fromJson(full).object());

    for (const QByteArray& body : {QByteArray("nope"), QByteArray(R"({"comment":"no rating"})"),
                                   QByteArray(R"({"rating":4.5,"comment":"x"})"), QByteArray(R"({"rating":"4","comment":"x"})"),
                                   QByteArray(R"({"rating":4})"), QByteArray(R"({"rating":4,"comment":"x","email":3})")}) {
        SCOPED_TRACE(body.toStdString());
        const HttpResponse response = post("feedback", body);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(errorMessage(response).isEmpty());
    }
    EXPECT_EQ(server.feedbackReceived().size(), 2);
}

} // namespace
