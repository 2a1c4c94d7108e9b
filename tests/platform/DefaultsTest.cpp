#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DefaultsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + QStringLiteral("/tidewire/defaults.json"); }
};

TEST_F(DefaultsFileTest, EveryValueTypeSurvivesARestart)
{
    {
        auto d = Defaults::openFile(path());
        d->set(QStringLiteral("flag"), true);
        d->set(QStringLiteral("speed"), 1.5);
        d->set(QStringLiteral("size"), 4);
        d->set(QStringLiteral("position"), QStringLiteral("bottom"));
        d->set(QStringLiteral("ids"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        d->set(QStringLiteral("config"), QJsonObject{{QStringLiteral("mix"), QStringLiteral("markets")}});
        d->set(QStringLiteral("empty"), QString());
        ASSERT_TRUE(d->flush());
    }
    auto d = Defaults::openFile(path());
    EXPECT_TRUE(d->boolValue(QStringLiteral("flag"), false));
    EXPECT_DOUBLE_EQ(d->doubleValue(QStringLiteral("speed"), 0), 1.5);
    EXPECT_EQ(d->intValue(QStringLiteral("size"), 2), 4);
    EXPECT_EQ(d->stringValue(QStringLiteral("position")), QStringLiteral("bottom"));
    EXPECT_EQ(d->stringList(QStringLiteral("ids")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(d->objectValue(QStringLiteral("config")).value(QStringLiteral("mix")).toString(), QStringLiteral("markets"));
    EXPECT_TRUE(d->contains(QStringLiteral("empty")));
    EXPECT_EQ(d->stringValue(QStringLiteral("empty"), QStringLiteral("x")), QString());
}

TEST_F(DefaultsFileTest, DestructionSavesPendingWrites)
{
    {
        auto d = Defaults::openFile(path());
        d->set(QStringLiteral("k"), 7);
    }
    EXPECT_EQ(Defaults::openFile(path())->intValue(QStringLiteral("k"), 0), 7);
}

TEST_F(DefaultsFileTest, RapidWritesKeepTheNewestValue)
{
    auto d = Defaults::openFile(path());
    for (int i = 0; i < 500; ++i) {
        d->set(QStringLiteral("counter"), i);
        if (i % 97 == 0)
            d->flush();
    }
    d->flush();
    EXPECT_EQ(Defaults::openFile(path())->intValue(QStringLiteral("counter"), -1), 499);
}

TEST_F(DefaultsFileTest, CorruptFileIsKeptAsideAndNotOverwritten)
{
    QDir().mkpath(dir.path() + QStringLiteral("/tidewire"));
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{\"tickerSize\": 4, broken");
    }
    auto d = Defaults::openFile(path());
    EXPECT_FALSE(d->contains(QStringLiteral("tickerSize")));
    const QStringList aside = QDir(dir.path() + QStringLiteral("/tidewire"))
                                  .entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.path() + QStringLiteral("/tidewire/") + aside.first());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("{\"tickerSize\": 4, broken"));

    d->set(QStringLiteral("fresh"), true);
    EXPECT_TRUE(d->flush());
    EXPECT_TRUE(Defaults::openFile(path())->boolValue(QStringLiteral("fresh"), false));
}

TEST_F(DefaultsFileTest, AJsonArrayAtTheTopIsCorruptToo)
{
    QDir().mkpath(dir.path() + QStringLiteral("/tidewire"));
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[1,2]");
    f.close();
    auto d = Defaults::openFile(path());
    EXPECT_TRUE(d->keys().isEmpty());
    EXPECT_FALSE(QFile::exists(path()));
}

TEST(Defaults, WrongTypesReadAsTheCallersDefault)
{
    auto d = Defaults::inMemory();
    d->set(QStringLiteral("s"), QStringLiteral("text"));
    d->set(QStringLiteral("n"), 2.5);
    d->set(QStringLiteral("mixed"), QJsonArray{QStringLiteral("a"), 1});
    struct Case {
        const char* what;
        bool ok;
    };
    const Case cases[] = {
        {"bool from string", d->boolValue(QStringLiteral("s"), true) == true},
        {"double from string", d->doubleValue(QStringLiteral("s"), 3.0) == 3.0},
        {"int from fraction", d->intValue(QStringLiteral("n"), 9) == 9},
        {"string from number", d->stringValue(QStringLiteral("n"), QStringLiteral("d")) == QStringLiteral("d")},
        {"list with a number", d->stringList(QStringLiteral("mixed"), {QStringLiteral("f")}) == QStringList{QStringLiteral("f")}},
        {"absent int", d->intValue(QStringLiteral("absent"), 2) == 2},
        {"object from array", d->objectValue(QStringLiteral("mixed")).isEmpty()},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(c.ok) << c.what;
    // Reading with the wrong type never rewrites the stored value.
    EXPECT_EQ(d->value(QStringLiteral("n")).toDouble(), 2.5);
}

TEST(Defaults, ChangedFiresOnlyOnRealChanges)
{
    auto d = Defaults::inMemory();
    QSignalSpy spy(d.get(), &Defaults::changed);
    d->set(QStringLiteral("k"), 1);
    d->set(QStringLiteral("k"), 1);
    d->set(QStringLiteral("k"), 2);
    d->remove(QStringLiteral("k"));
    d->remove(QStringLiteral("k"));
    d->set(QStringLiteral("k"), QJsonValue());  // null removes; already absent
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("k"));
}

TEST(Defaults, StandardIsReplaceableForTests)
{
    auto mem = Defaults::inMemory();
    Defaults::setStandard(mem.get());
    Defaults::standard().set(QStringLiteral("x"), 5);
    EXPECT_EQ(mem->intValue(QStringLiteral("x"), 0), 5);
    Defaults::setStandard(nullptr);
    EXPECT_TRUE(Defaults::standardFilePath().endsWith(QStringLiteral("/tidewire/defaults.json")));
}

} // namespace

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
}

TEST_F(DefaultsFileTest, AFailedCacheWriteIsReported)
{
    QFile blocker(dir.filePath(QStringLiteral("cache")));  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto defaults = Defaults::openFile(path(), blocker.fileName());
    defaults->caches().set(QStringLiteral("k"), QJsonArray{1});
    EXPECT_FALSE(defaults->caches().flush());
    EXPECT_TRUE(defaults->caches().flush()) << "reported once";
    EXPECT_FALSE(defaults->caches().contains(QStringLiteral("k")));
}
