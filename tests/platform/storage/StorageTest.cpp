// JSON coding, the settings file and the home folder it lives in.
#include "platform/storage/Defaults.h"
#include "platform/storage/Json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

struct Inner {
    QString name;
    static Result<Inner> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Inner"));
        Inner r{in.required<QString>(QStringLiteral("name"))};
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
        Outer r{in.required<QString>(QStringLiteral("id")), in.optional<int>(QStringLiteral("count")), in.optional<Inner>(QStringLiteral("inner")),
                in.optional<QList<Inner>>(QStringLiteral("list")).value_or(QList<Inner>{}), in.optionalDate(QStringLiteral("at"))};
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

TEST(JsonIn, StrictRulesAndARoundTripThatLeavesOutAbsentOptionals)
{
    const std::pair<const char*, bool> cases[] = {
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
    for (const auto& [doc, ok] : cases)
        EXPECT_EQ(decodeJson<Outer>(QByteArray(doc)).has_value(), ok) << doc;
    // The error names the key at fault.
    auto r = decodeJson<Outer>(QByteArray(R"({"id":"a","inner":{"name":3}})"));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, ErrorKind::Decoding);
    EXPECT_TRUE(r.error().description.contains(QStringLiteral("name"))) << r.error().description.toStdString();

    const Outer o{QStringLiteral("x"), std::nullopt, Inner{QStringLiteral("n")}, {Inner{QStringLiteral("p")}},
                  QDateTime(QDate(2024, 5, 1), QTime(12, 30, 15), Qt::UTC)};
    const QJsonObject json = o.toJson(JsonOptions{});
    EXPECT_FALSE(json.contains(QStringLiteral("count")));
    EXPECT_EQ(json.value(QStringLiteral("at")).toString(), QStringLiteral("2024-05-01T12:30:15Z"));
    auto back = Outer::fromJson(json, JsonOptions{});
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->at, o.at);
    EXPECT_EQ(back->inner->name, QStringLiteral("n"));
    EXPECT_EQ(back->list.first().name, QStringLiteral("p"));
}

TEST(Iso8601, Forms)
{
    const QDateTime base(QDate(2024, 5, 1), QTime(12, 30, 0), Qt::UTC);
    const std::pair<const char*, std::optional<QDateTime>> cases[] = {
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
        // Only what the ISO codings can write again: years 0001 to 9999 in UTC.
        {"9999-12-31T23:59:59.999Z", QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)},
        {"0001-01-01T00:00:00Z", QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC)},
        {"9999-12-31T23:30:00-01:00", std::nullopt},
        {"0001-01-01T00:30:00+01:00", std::nullopt},
        {"0000-01-01T00:00:00Z", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseIso8601(QString::fromLatin1(text)), expected) << text;
}

// A date the ISO codings cannot write is left out, as absent, never written
// as a text their reader refuses; every date they read is written back.
TEST(DateCoding, IsoCodingsWriteOnlyWhatTheyRead)
{
    const QDateTime unwritable[] = {
        QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(9999, 12, 31), QTime(23, 30), Qt::UTC).addSecs(3600),
        QDateTime(QDate(-1, 12, 31), QTime(23, 0), Qt::UTC),
        QDateTime(),
    };
    const QDateTime edges[] = {
        QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC),
    };
    for (const DateCoding& coding : {DateCoding::iso8601(), DateCoding::iso8601Fractional()}) {
        for (const QDateTime& d : unwritable) {
            SCOPED_TRACE(d.toString().toStdString());
            EXPECT_TRUE(coding.encode(d).isUndefined());
            JsonOut out(JsonOptions{coding});
            out.putDate(QStringLiteral("at"), d);
            out.putDate(QStringLiteral("maybe"), std::optional<QDateTime>(d));
            EXPECT_TRUE(out.object().isEmpty());
        }
        for (const QDateTime& d : edges)
            EXPECT_EQ(coding.decode(coding.encode(d)), d) << d.toString().toStdString();
    }
}

TEST(DateCoding, SecondsRoundTripAndOnlyNumbersDecode)
{
    EXPECT_EQ(DateCoding::referenceSeconds().decode(QJsonValue(0.0)), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(DateCoding::unixSeconds().decode(QJsonValue(0.0)), QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    const QDateTime d(QDate(2026, 12, 6), QTime(21, 0, 0, 500), Qt::UTC);
    for (const DateCoding& coding : {DateCoding::referenceSeconds(), DateCoding::unixSeconds()}) {
        EXPECT_EQ(coding.decode(coding.encode(d)), d);
        EXPECT_FALSE(coding.decode(QJsonValue(QStringLiteral("0"))).has_value());
    }
}

class DefaultsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + QStringLiteral("/tidewire/defaults.json"); }
};

TEST_F(DefaultsFileTest, EveryValueTypeAndTheNewestWriteSurviveARestart)
{
    {
        auto d = Defaults::openFile(path());
        d->set(QStringLiteral("flag"), true);
        d->set(QStringLiteral("speed"), 1.5);
        d->set(QStringLiteral("position"), QStringLiteral("bottom"));
        d->set(QStringLiteral("ids"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        d->set(QStringLiteral("config"), QJsonObject{{QStringLiteral("mix"), QStringLiteral("markets")}});
        d->set(QStringLiteral("empty"), QString());
        for (int i = 0; i < 500; ++i) {
            d->set(QStringLiteral("counter"), i);
            if (i % 97 == 0) {
                ASSERT_TRUE(d->flush());
            }
        }
        // No flush: destruction saves what is pending.
    }
    auto d = Defaults::openFile(path());
    EXPECT_TRUE(d->boolValue(QStringLiteral("flag"), false));
    EXPECT_DOUBLE_EQ(d->doubleValue(QStringLiteral("speed"), 0), 1.5);
    EXPECT_EQ(d->intValue(QStringLiteral("counter"), -1), 499);
    EXPECT_EQ(d->stringValue(QStringLiteral("position")), QStringLiteral("bottom"));
    EXPECT_EQ(d->stringList(QStringLiteral("ids")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(d->objectValue(QStringLiteral("config")).value(QStringLiteral("mix")).toString(), QStringLiteral("markets"));
    EXPECT_TRUE(d->contains(QStringLiteral("empty")));
    EXPECT_EQ(d->stringValue(QStringLiteral("empty"), QStringLiteral("x")), QString());
}

TEST_F(DefaultsFileTest, ACorruptFileIsKeptAsideAndNotOverwritten)
{
    const QString folder = dir.path() + QStringLiteral("/tidewire");
    // What still reads of a damaged object is kept and written again at once.
    const std::pair<QByteArray, QStringList> files[] = {
        {QByteArray("{\"tickerSize\": 4, broken"), {QStringLiteral("tickerSize")}},
        {QByteArray("[1,2]"), {}},
    };
    for (const auto& [bad, readable] : files) {
        SCOPED_TRACE(bad.toStdString());
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bad);
        f.close();
        auto d = Defaults::openFile(path());
        EXPECT_EQ(d->keys(), readable);
        EXPECT_EQ(QFile::exists(path()), !readable.isEmpty());
        if (!readable.isEmpty()) {
            EXPECT_EQ(Defaults::openFile(path())->intValue(QStringLiteral("tickerSize"), 0), 4);
        }
        const QStringList aside = QDir(folder).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        QFile kept(folder + QLatin1Char('/') + aside.first());
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bad);
        d->set(QStringLiteral("fresh"), true);
        EXPECT_TRUE(d->flush());
        EXPECT_TRUE(Defaults::openFile(path())->boolValue(QStringLiteral("fresh"), false));
    }
}

TEST_F(DefaultsFileTest, DamagedFilesWithinOneSecondAreEachKeptAsideAndSavingGoesOn)
{
    const QString folder = dir.path() + QStringLiteral("/tidewire");
    const QByteArray damaged[] = {"{\"tickerSize\": 4, broken", "[1,2]", "{\"speed\": oops"};
    const auto second = [] { return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")); };
    // Each round takes milliseconds; one that straddles a second proves nothing.
    QString stamp;
    for (int round = 0; round < 5 && stamp.isEmpty(); ++round) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const QString before = second();
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            QFile f(path());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(damaged[i]);
            f.close();
            auto d = Defaults::openFile(path());
            d->set(QStringLiteral("fresh"), i);
            ASSERT_TRUE(d->flush()) << "saving goes on";
        }
        if (second() == before)
            stamp = before;
    }
    ASSERT_FALSE(stamp.isEmpty());
    const QStringList aside = QDir(folder).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files, QDir::Name);
    ASSERT_EQ(aside.size(), 3);
    QList<QByteArray> kept;
    for (const QString& name : aside) {
        EXPECT_TRUE(name.startsWith(QStringLiteral("defaults.json.corrupt-") + stamp)) << name.toStdString();
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        kept << f.readAll();
    }
    for (const QByteArray& bytes : damaged)
        EXPECT_TRUE(kept.contains(bytes)) << bytes.toStdString();
    EXPECT_EQ(Defaults::openFile(path())->intValue(QStringLiteral("fresh"), -1), 2);
}

TEST(Defaults, WrongTypesReadAsTheCallersDefaultAndChangedFiresOnRealChanges)
{
    auto d = Defaults::inMemory();
    QSignalSpy spy(d.get(), &Defaults::changed);
    d->set(QStringLiteral("s"), QStringLiteral("text"));
    d->set(QStringLiteral("n"), 2.5);
    d->set(QStringLiteral("mixed"), QJsonArray{QStringLiteral("a"), 1});
    EXPECT_EQ(d->boolValue(QStringLiteral("s"), true), true);
    EXPECT_EQ(d->doubleValue(QStringLiteral("s"), 3.0), 3.0);
    EXPECT_EQ(d->intValue(QStringLiteral("n"), 9), 9);
    EXPECT_EQ(d->stringValue(QStringLiteral("n"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(d->stringList(QStringLiteral("mixed"), {QStringLiteral("f")}), QStringList{QStringLiteral("f")});
    EXPECT_EQ(d->intValue(QStringLiteral("absent"), 2), 2);
    EXPECT_TRUE(d->objectValue(QStringLiteral("mixed")).isEmpty());
    EXPECT_EQ(d->value(QStringLiteral("n")).toDouble(), 2.5) << "a wrong-type read never rewrites the value";

    spy.clear();
    for (const QJsonValue& v : {QJsonValue(1), QJsonValue(1), QJsonValue(2)})
        d->set(QStringLiteral("k"), v);
    d->remove(QStringLiteral("k"));
    d->remove(QStringLiteral("k"));
    d->set(QStringLiteral("k"), QJsonValue());  // null removes; already absent
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("k"));

    Defaults::setStandard(d.get());
    Defaults::standard().set(QStringLiteral("x"), 5);
    EXPECT_EQ(d->intValue(QStringLiteral("x"), 0), 5);
    Defaults::setStandard(nullptr);
    EXPECT_TRUE(Defaults::standardFilePath().endsWith(QStringLiteral("/tidewire/defaults.json")));
}

// Started without HOME or any XDG folder (by a service manager, `env -i`),
// the app keeps its files under the home folder the password database names
// for the user, where it would with HOME set. For a user it names none, the
// app runs on its defaults: nothing is written anywhere (under "/" least of
// all), no save fails to be tried again, and the log says why.
TEST(HomeFolder, WithoutHomeTheFilesGoUnderTheAccountsHomeFolderOrNowhere)
{
    const struct passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const QString home = QString::fromLocal8Bit(account->pw_dir);
    const struct {
        const char* account;
        QString out;
        const char* log;
    } cases[] = {
        {"account",
         QStringLiteral("settings: %1/.config/tidewire/defaults.json\ncaches: %1/.cache/tidewire\n"
                        "favicons: %1/.cache/tidewire/favicons\nhttp: %1/.cache/tidewire/http\n"
                        "autostart: %1/.config/autostart/tidewire.desktop\n")
             .arg(home),
         "using the home folder"},
        {"none",
         QStringLiteral("settings: \ncaches: \nfavicons: \nhttp: \nautostart: \n"
                        "settings kept in memory\ncache kept in memory\n"
                        "autostart there is no home folder to keep the autostart entry in\n"),
         "names no home folder for user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.account);
        if (c.account == std::string_view("account") && !QFileInfo(home).isDir())
            continue;  // the account's own home folder is missing here
        QProcessEnvironment env;  // no HOME, no XDG folders
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QProcessEnvironment outer = QProcessEnvironment::systemEnvironment();
        for (const QString& name : outer.keys())
            if (name.endsWith(QLatin1String("SAN_OPTIONS")))
                env.insert(name, outer.value(name));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(TIDEWIRE_READ_CHILD), {QStringLiteral("home"), QString::fromLatin1(c.account)});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString log = QString::fromUtf8(child.readAllStandardError());
        EXPECT_EQ(child.exitCode(), 0) << log.toStdString();
        EXPECT_EQ(QString::fromUtf8(child.readAllStandardOutput()), c.out) << log.toStdString();
        EXPECT_TRUE(log.contains(QLatin1String(c.log))) << log.toStdString();
    }
}

TEST_F(DefaultsFileTest, CachedValuesLiveInTheirOwnFilesAndTheNewestWins)
{
    const QString cacheDir = dir.filePath(QStringLiteral("cache"));
    {
        auto defaults = Defaults::openFile(path(), cacheDir);
        // Many writes in flight at once: the last one asked for is the one kept.
        for (int i = 0; i < 50; ++i)
            defaults->caches().setLater(QStringLiteral("k"), [i] { return QJsonValue(QJsonArray{i}); });
        defaults->caches().set(QStringLiteral("gone"), QJsonObject{{QStringLiteral("a"), 1}});
        defaults->caches().set(QStringLiteral("gone"), QJsonValue());
        EXPECT_EQ(defaults->caches().value(QStringLiteral("k")), QJsonArray{49});
        EXPECT_TRUE(defaults->keys().isEmpty());
    }
    auto reopened = Defaults::openFile(path(), cacheDir);
    EXPECT_EQ(reopened->caches().value(QStringLiteral("k")), QJsonArray{49});
    EXPECT_FALSE(reopened->caches().contains(QStringLiteral("gone")));
    EXPECT_FALSE(QFile::exists(cacheDir + QStringLiteral("/gone")));

    // A file where the cache folder should be: the failed write is reported, once.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto blocked = Defaults::openFile(path(), blocker.fileName());
    blocked->caches().set(QStringLiteral("k"), QJsonArray{1});
    EXPECT_FALSE(blocked->caches().flush());
    EXPECT_TRUE(blocked->caches().flush()) << "reported once";
    EXPECT_FALSE(blocked->caches().contains(QStringLiteral("k")));
}

} // namespace
