#include "SettingsHarness.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QTest>

namespace {

CatalogueServer::Options catalogueOptions()
{
    CatalogueServer::Options o;
    o.seed = 7;
    o.now = [] { return QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC); };
    return o;
}

} // namespace

SettingsTest::SettingsTest() : catalogue(catalogueOptions())
{
    defaults = Defaults::openFile(dir.path() + QStringLiteral("/defaults.json"));
    Defaults::setStandard(defaults.get());
    StripServices::install(&services);
    Clipboard::setSystem(&clipboard);
    makeStore(QUrl(QStringLiteral("http://127.0.0.1:9/")), QStringLiteral("0.1"));
}

SettingsTest::~SettingsTest()
{
    store->stop();
    store.reset();
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
        .makePathMonitor =
            [this] {
                auto m = std::make_unique<FakePathMonitor>();
                monitor = m.get();
                return std::unique_ptr<PathMonitor>(std::move(m));
            },
        .apiBase = base,
        .api = std::nullopt,
        .itunesBase = base,
        .runningVersion = runningVersion,
    });
}

void SettingsTest::startStore(const QString& runningVersion)
{
    ASSERT_TRUE(catalogue.start().has_value());
    makeStore(catalogue.baseUrl(), runningVersion);
    store->start();
    ASSERT_TRUE(waitUntil([this] { return store->phase().isRunning() && !store->items().isEmpty(); }));
}

bool SettingsTest::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
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
