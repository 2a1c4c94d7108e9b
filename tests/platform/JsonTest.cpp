#include "platform/Json.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

struct Inner {
    QString name;
    static Result<Inner> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Inner"));
        Inner r;
        r.name = in.required<QString>(QStringLiteral("name"));
        if (!in.ok())
            return std::unexpected(in.error());
        return r;
    }
    QJsonObject toJson(const JsonOptions& o) const
    {
        JsonOut out(o);
        out.put(QStringLiteral("name"), name);
        return out.object();
    }
};

struct Outer {
    QString id;
    std::optional<int> count;
    std::optional<Inner> inner;
    QList<Inner> list;
    std::optional<QDateTime> at;
    static Result<Outer> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Outer"));
        Outer r;
        r.id = in.required<QString>(QStringLiteral("id"));
        r.count = in.optional<int>(QStringLiteral("count"));
        r.inner = in.optional<Inner>(QStringLiteral("inner"));
        r.list = in.optional<QList<Inner>>(QStringLiteral("list")).value_or(QList<Inner>{});
        r.at = in.optionalDate(QStringLiteral("at"));
        if (!in.ok())
            return std::unexpected(in.error());
        return r;
    }
    QJsonObject toJson(const JsonOptions& o) const
    {
        JsonOut out(o);
        out.put(QStringLiteral("id"), id);
        out.put(QStringLiteral("count"), count);
        out.put(QStringLiteral("inner"), inner);
        out.put(QStringLiteral("list"), list);
        out.putDate(QStringLiteral("at"), at);
        return out.object();
    }
};

TEST(JsonIn, StrictRules)
{
    struct Case {
        const char* doc;
        bool ok;
    };
    const Case cases[] = {
        {R"({"id":"a"})", true},
        {R"({"id":"a","count":null,"inner":null})", true},
        {R"({"id":"a","unknown":[1,2,3]})", true},
        {R"({})", false},
        {R"({"id":null})", false},
        {R"({"id":5})", false},
        {R"({"id":"a","count":1.5})", false},
        {R"({"id":"a","count":"1"})", false},
        {R"({"id":"a","count":3000000000})", false},
        {R"({"id":"a","inner":{}})", false},
        {R"({"id":"a","list":[{"name":"x"},{"nom":"y"}]})", false},
        {R"({"id":"a","list":{"name":"x"}})", false},
        {R"({"id":"a","at":"2024-02-30T00:00:00Z"})", false},
        {R"({"id":"a","at":"2024-02-29T10:00:00Z"})", true},
        {R"([{"id":"a"}])", false},
        {R"({"id":"a")", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeJson<Outer>(QByteArray(c.doc)).has_value(), c.ok) << c.doc;
}

TEST(JsonIn, RoundTripLeavesOutAbsentOptionals)
{
    Outer o;
    o.id = QStringLiteral("x");
    o.inner = Inner{QStringLiteral("n")};
    o.list = {Inner{QStringLiteral("p")}};
    o.at = QDateTime(QDate(2024, 5, 1), QTime(12, 30, 15), Qt::UTC);
    const JsonOptions opts;
    const QJsonObject json = o.toJson(opts);
    EXPECT_FALSE(json.contains(QStringLiteral("count")));
    EXPECT_EQ(json.value(QStringLiteral("at")).toString(), QStringLiteral("2024-05-01T12:30:15Z"));
    auto back = Outer::fromJson(json, opts);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->at, o.at);
    EXPECT_EQ(back->inner->name, QStringLiteral("n"));
    EXPECT_EQ(back->list.first().name, QStringLiteral("p"));
}

TEST(JsonIn, ErrorNamesTheKey)
{
    auto r = decodeJson<Outer>(QByteArray(R"({"id":"a","inner":{"name":3}})"));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
    EXPECT_TRUE(r.error().description.contains(QStringLiteral("name"))) << r.error().description.toStdString();
}

TEST(Iso8601, Forms)
{
    const QDateTime base(QDate(2024, 5, 1), QTime(12, 30, 0), Qt::UTC);
    struct Case {
        const char* text;
        std::optional<QDateTime> expected;
    };
    const Case cases[] = {
        {"2024-05-01T12:30:00Z", base},
        {"2024-05-01T12:30:00.250Z", base.addMSecs(250)},
        {"2024-05-01T12:30:00.123456Z", base.addMSecs(123)},
        {"2024-05-01T14:30:00+02:00", base},
        {"2024-05-01T07:00:00-0530", base},
        {"2024-05-01 12:30:00Z", std::nullopt},
        {"2024-05-01T12:30:00", std::nullopt},
        {"2024-05-01", std::nullopt},
        {"2024-13-01T12:30:00Z", std::nullopt},
        {" 2024-05-01T12:30:00Z", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseIso8601(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(DateCoding, ReferenceSecondsRoundTrip)
{
    const auto coding = DateCoding::referenceSeconds();
    EXPECT_EQ(coding.decode(QJsonValue(0.0)), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    const QDateTime d(QDate(2026, 12, 6), QTime(21, 0, 0, 500), Qt::UTC);
    EXPECT_EQ(coding.decode(coding.encode(d)), d);
    EXPECT_FALSE(coding.decode(QJsonValue(QStringLiteral("0"))).has_value());
}

} // namespace
