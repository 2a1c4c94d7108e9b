#include "SettingsHarness.h"

#include <QFile>
#include <QJsonArray>

SettingsTest::SettingsTest(quint64 seed)
    : catalogue(CatalogueServer::Options{.seed = seed, .now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); }})
{
    defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"), {}, time);
    filters = std::make_unique<FilterStore>(*defaults);
    reads = std::make_unique<ReadStore>(*defaults);
    Defaults::setStandard(defaults.get());
    StripServices::install(&services);
    Clipboard::setSystem(&clipboard);
    makeStore(QUrl(QStringLiteral("http://127.0.0.1:9/")));
}

SettingsTest::~SettingsTest()
{
    store->stop();
    store.reset();
    m_markets.reset();
    FakeTime::settle();
    catalogue.stop();
    Clipboard::setSystem(nullptr);
    StripServices::install(nullptr);
    Defaults::setStandard(nullptr);
}

void SettingsTest::makeStore(const QUrl& base, const QString& runningVersion)
{
    store = std::make_unique<FeedStore>(FeedStore::Services{
        .defaults = *defaults,
        .clock = time,
        .scheduler = time,
        .network = &network,
        .personal = nullptr,
        .makePathMonitor = [this] { auto m = std::make_unique<FakePathMonitor>(); monitor = m.get(); return std::unique_ptr<PathMonitor>(std::move(m)); },
        .apiBase = base,
        .api = std::nullopt,
        .itunesBase = base,
        .runningVersion = runningVersion,
    });
}

QUrl SettingsTest::serverBase()
{
    if (!catalogue.isRunning()) {
        EXPECT_TRUE(catalogue.start().has_value());
    }
    return catalogue.baseUrl();
}

void SettingsTest::startStore(const QString& runningVersion)
{
    makeStore(serverBase(), runningVersion);
    store->start();
    ASSERT_TRUE(waitUntil([this] { return store->phase().isRunning() && !store->items().isEmpty(); }));
}

MarketsStore& SettingsTest::markets()
{
    if (!m_markets) {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = e.finnhubBase = e.coingeckoBase = serverBase();
        m_markets = std::make_unique<MarketsStore>(*defaults, secrets, time, time, e);
    }
    return *m_markets;
}

QByteArray SettingsTest::settingsFile()
{
    EXPECT_TRUE(defaults->flush());
    QFile file(defaults->filePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SettingsTest::choose(QComboBox* box, const QString& label)
{
    const int index = box->findText(label);
    ASSERT_GE(index, 0) << "no entry " << label.toStdString();
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

void SettingsTest::click(QAbstractButton* button)
{
    ASSERT_TRUE(button->isEnabled());
    button->click();
}

PersonalFeed feed(const QString& title, const QString& url, bool on)
{
    PersonalFeed f;
    f.id = QStringLiteral("pf-") + title.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    f.url = url;
    f.title = title;
    f.isEnabled = on;
    f.addedAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    f.itemCount = 12;
    return f;
}

QList<PersonalFeed> feeds(int count, int off)
{
    QList<PersonalFeed> list;
    for (int i = 1; i <= count; ++i)
        list.append(feed(QStringLiteral("Feed %1").arg(i), QStringLiteral("https://feed%1.example.com/rss").arg(i), i > off));
    return list;
}

PersonalStore::PersonalStore(const QList<PersonalFeed>& stored)
{
    QJsonArray array;
    for (const PersonalFeed& f : stored)
        array.append(f.toJson(JsonOptions{DateCoding::iso8601()}));
    if (!stored.isEmpty())
        defaults->set(PersonalFeedStore::kFeedsKey, array);
    store = std::make_unique<PersonalFeedStore>(*defaults, time, time, &network);
}

PersonalStore::~PersonalStore()
{
    store.reset();
    FakeTime::settle();
}
