// The market store against a Secret Service that takes its time: a stand-in
// on a private session bus (tests/music/run-on-private-bus.sh) answers every
// search for the key after a delay, or fails. The interface's event loop must
// never wait for it, and a failing keyring must not cost a running pass its
// quotes.
#include "markets/MarketsStore.h"

#include "platform/storage/Defaults.h"
#include "platform/session/SecretStore.h"

#include "Await.h"
#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>

namespace {

const QString kKey = QStringLiteral("slow-key-42");
const QString kCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");
const QString kItem = QStringLiteral("/org/freedesktop/secrets/collection/login/1");
const QString kSession = QStringLiteral("/org/freedesktop/secrets/session/1");
const QString kPrompt = QStringLiteral("/org/freedesktop/secrets/prompt/1");
constexpr int kDelayMs = 400;
// How long an answer waits at most for the main thread's event loop to run.
constexpr int kLoopWaitMs = 3000;

// One secret as the Secret Service sends it: (oayays).
struct WireSecret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};
using WireSecrets = QMap<QDBusObjectPath, WireSecret>;

QDBusArgument& operator<<(QDBusArgument& arg, const WireSecret& s)
{
    arg.beginStructure();
    arg << s.session << s.parameters << s.value << s.contentType;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, WireSecret& s)
{
    arg.beginStructure();
    arg >> s.session >> s.parameters >> s.value >> s.contentType;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(WireSecret)
Q_DECLARE_METATYPE(WireSecrets)

namespace {

// Just enough of org.freedesktop.secrets for the store's reads and writes: a
// "plain" session, SearchItems and GetSecrets, the default collection's
// CreateItem and the item's Delete. Searches and removals are answered after
// kDelayMs, stores after kDelayMs when the value contains "slow" (else
// 20 ms); a store or removal takes effect when it is answered, as when the
// keyring first asked the user to unlock it. While `silent` is set, none of
// those is answered at all. A store of a value containing "asks" opens a
// prompt instead, which answerPrompt() answers. Lives on a thread and
// connection of its own.
//
// Each of those answers also waits until the test's main thread has run its
// event loop while the request was held here (at most kLoopWaitMs): a caller
// that sat in the call on the main thread cannot run it, and that answer is
// counted in `answersTheLoopMissed`. No clock decides it, however busy the
// machine.
class StandInSecretService final : public QDBusVirtualObject {
public:
    std::atomic<int> searches = 0;
    std::atomic<int> writes = 0;  // stores and removals answered
    std::atomic<int> answersTheLoopMissed = 0;
    std::atomic<int> held = 0;  // requests not answered yet
    std::atomic<bool> failing = false;
    std::atomic<bool> silent = false;
    std::atomic<bool> prompting = false;  // a prompt is on show

    // The user answers the open prompt: the store takes effect.
    void answerPrompt()
    {
        QMetaObject::invokeMethod(this, [this] {
            setStored(m_prompted);
            ++writes;
            prompting = false;
            QDBusMessage completed =
                QDBusMessage::createSignal(kPrompt, QStringLiteral("org.freedesktop.Secret.Prompt"),
                                           QStringLiteral("Completed"));
            completed << false << QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(kItem))));
            m_promptConnection.send(completed);
        }, Qt::BlockingQueuedConnection);
    }

    void setStored(const std::optional<QByteArray>& value)
    {
        QMutexLocker lock(&m_mutex);
        m_stored = value;
    }
    std::optional<QByteArray> stored() const
    {
        QMutexLocker lock(&m_mutex);
        return m_stored;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        if (member == QLatin1String("GetAll")) {
            connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
        } else if (member == QLatin1String("OpenSession")) {
            if (message.arguments().value(0).toString() != QLatin1String("plain"))
                connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                                         QStringLiteral("plain only")));
            else
                connection.send(message.createReply(
                    {QVariant::fromValue(QDBusVariant(QString())), QVariant::fromValue(QDBusObjectPath(kSession))}));
        } else if (member == QLatin1String("SearchItems")) {
            ++searches;
            QList<QDBusObjectPath> items;
            if (stored())
                items.append(QDBusObjectPath(kItem));
            const QDBusMessage reply =
                failing ? message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                                   QStringLiteral("the keyring is busy"))
                        : message.createReply({QVariant::fromValue(items), QVariant::fromValue(QList<QDBusObjectPath>{})});
            answerLater(kDelayMs, [connection, reply]() mutable { connection.send(reply); });
        } else if (member == QLatin1String("GetSecrets")) {
            WireSecrets secrets;
            if (const auto value = stored())
                secrets.insert(QDBusObjectPath(kItem), WireSecret{QDBusObjectPath(kSession), {}, *value, "text/plain"});
            connection.send(message.createReply(QVariant::fromValue(secrets)));
        } else if (member == QLatin1String("ReadAlias")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(kCollection))));
        } else if (member == QLatin1String("CreateItem")
                   && qdbus_cast<WireSecret>(message.arguments().value(1).value<QDBusArgument>()).value.contains("asks")) {
            m_prompted = qdbus_cast<WireSecret>(message.arguments().value(1).value<QDBusArgument>()).value;
            connection.send(message.createReply(
                {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))), QVariant::fromValue(QDBusObjectPath(kPrompt))}));
        } else if (member == QLatin1String("Prompt") && message.path() == kPrompt) {
            m_promptConnection = connection;
            prompting = true;
            connection.send(message.createReply());
        } else if (member == QLatin1String("CreateItem")) {
            const auto secret = qdbus_cast<WireSecret>(message.arguments().value(1).value<QDBusArgument>());
            const QDBusMessage reply = message.createReply(
                {QVariant::fromValue(QDBusObjectPath(kItem)), QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))});
            const int delay = secret.value.contains("slow") ? kDelayMs : 20;
            answerLater(delay, [this, connection, reply, value = secret.value]() mutable {
                setStored(value);
                ++writes;
                connection.send(reply);
            });
        } else if (member == QLatin1String("Delete") && message.path() == kItem) {
            const QDBusMessage reply = message.createReply(QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))));
            answerLater(kDelayMs, [this, connection, reply]() mutable {
                setStored(std::nullopt);
                ++writes;
                connection.send(reply);
            });
        } else if (member == QLatin1String("Close")) {
            connection.send(message.createReply());
        } else {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
        }
        return true;
    }

private:
    // Runs `answer` once `delayMs` has passed and the main thread's event
    // loop has run since the request came (or kLoopWaitMs has passed).
    void answerLater(int delayMs, std::function<void()> answer)
    {
        ++held;
        auto loopRan = std::make_shared<std::atomic<bool>>(false);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [loopRan] { *loopRan = true; }, Qt::QueuedConnection);
        auto since = std::make_shared<QElapsedTimer>();
        since->start();
        auto* poll = new QTimer(this);
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, this, [this, poll, since, loopRan, delayMs, answer] {
            if (silent || since->elapsed() < delayMs || (!*loopRan && since->elapsed() < kLoopWaitMs))
                return;
            if (!*loopRan)
                ++answersTheLoopMissed;
            poll->stop();
            poll->deleteLater();
            answer();
            --held;
        });
        poll->start();
    }

    mutable QMutex m_mutex;
    std::optional<QByteArray> m_stored = kKey.toUtf8();
    QByteArray m_prompted;  // what the open prompt stores once answered
    QDBusConnection m_promptConnection{QString()};
};

QByteArray quote()
{
    return R"({"c":100,"d":1.0,"dp":0.5,"pc":99,"t":1715976000})";
}

class SlowKeyring : public ::testing::Test {
protected:
    static inline QThread* serviceThread = nullptr;
    static inline StandInSecretService* service = nullptr;

    LoopbackServer server;  // Finnhub and the house set
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();

    // One stand-in for the whole run: libsecret keeps its connection to the
    // service for the life of the process.
    static void startService()
    {
        if (service)
            return;
        qDBusRegisterMetaType<WireSecret>();
        qDBusRegisterMetaType<WireSecrets>();
        serviceThread = new QThread;
        serviceThread->start();
        service = new StandInSecretService;
        service->moveToThread(serviceThread);
        bool registered = false;
        QMetaObject::invokeMethod(service, [&registered] {
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("keyring"));
            registered = bus.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), service,
                                                   QDBusConnection::SubPath)
                      && bus.registerService(QStringLiteral("org.freedesktop.secrets"));
        }, Qt::BlockingQueuedConnection);
        ASSERT_TRUE(registered);
    }

    void SetUp() override
    {
        const QByteArray bus = qgetenv("TIDEWIRE_BUS_TEST");
        if (bus.startsWith("missing:"))
            GTEST_SKIP() << "no private session bus: " << bus.mid(8).toStdString();
        ASSERT_EQ(bus, QByteArray("private")) << "run through tests/music/run-on-private-bus.sh";
        ASSERT_NO_FATAL_FAILURE(startService());
        service->failing = false;
        service->silent = false;
        service->setStored(kKey.toUtf8());
        server.route(QStringLiteral("/v1_markets"),
                     LoopbackServer::Response::json(R"({"api_version":"1","as_of":"t","delayed":true,"attribution":[],"quotes":[]})"));
        server.route(QStringLiteral("/api/v1/quote"), LoopbackServer::Response::json(quote()));
        server.route(QStringLiteral("/api/v1/search"), LoopbackServer::Response::json(
            R"({"count":1,"result":[{"description":"APPLE INC","displaySymbol":"AAPL","symbol":"AAPL","type":"Common Stock"}]})"));
        ASSERT_NO_FATAL_FAILURE(warmUpNetwork());
    }

    void TearDown() override { FakeTime::settle(); }

    // Loads what the first request of the process loads (network plugins,
    // proxy settings) before any gap is measured: only the keyring is on
    // trial here.
    void warmUpNetwork()
    {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(server.url(QStringLiteral("v1_markets"))));
        ASSERT_TRUE(waitUntil([&] { return reply->isFinished(); }, 30000));
        delete reply;
        server.clearRequests();
    }

    std::unique_ptr<MarketsStore> makeStore()
    {
        Endpoints e = Endpoints::builtIn();
        e.apiBase = e.finnhubBase = e.coingeckoBase = server.baseUrl();
        return std::make_unique<MarketsStore>(*defaults, SecretStore::system(), time, time, e);
    }

    bool keySentWithEveryRequest(const QString& key = kKey) const
    {
        for (const auto& r : server.requests()) {
            if (r.path.startsWith(QStringLiteral("/api/v1/"))
                && (r.header("X-Finnhub-Token") != key.toUtf8() || r.rawTarget.contains(key)))
                return false;
        }
        return true;
    }
};

TEST_F(SlowKeyring, TheEventLoopNeverWaitsForTheKeyring)
{
    const int searchesBefore = service->searches;
    const int missedBefore = service->answersTheLoopMissed;
    auto store = makeStore();
    EXPECT_FALSE(store->hasFinnhubKey()) << "the answer is still on its way";
    EXPECT_EQ(store->keyStatus().kind, MarketsStore::KeyStatus::Kind::Checking);
    // Keystrokes in the suggestion field and a strip coming on screen.
    std::vector<QCoro::Task<QList<StockSuggestion>>> typed;
    for (const char* text : {"a", "aa", "aap", "aapl"})
        typed.push_back(store->searchStocks(QString::fromUtf8(text)));
    store->stripAppeared();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }, 30000));
    EXPECT_EQ(service->answersTheLoopMissed - missedBefore, 0) << "the main thread waited for the keyring";
    ASSERT_TRUE(waitUntil([&] { return store->lastUpdated().has_value(); }, 30000));
    for (auto& search : typed)
        awaitTask(std::move(search));
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/search")), 3) << "every search of two or more characters";
    EXPECT_EQ(store->byok().size(), 4);
    EXPECT_EQ(store->keyStatus(), MarketsStore::KeyStatus::ok());
    EXPECT_TRUE(keySentWithEveryRequest());
    EXPECT_EQ(service->searches - searchesBefore, 1) << "one read for all of it";
    store->stripDisappeared();
}

TEST_F(SlowKeyring, AFailingKeyringIsAnErrorAndNeverDropsARunningPass)
{
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }, 30000));
    // The pass is still waiting for its first quote while the searches run.
    server.handle(QStringLiteral("/api/v1/quote"), [](const LoopbackServer::Request& r) {
        LoopbackServer::Response answer = LoopbackServer::Response::json(quote());
        if (r.query.queryItemValue(QStringLiteral("symbol")) == QLatin1String("SPY"))
            answer.delay = std::chrono::milliseconds(300);
        return answer;
    });
    service->failing = true;
    auto pass = store->refreshOwnKeyQuotes();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount(QStringLiteral("/api/v1/quote")) >= 1; }, 30000));
    for (const char* text : {"aa", "aap", "aapl"})
        awaitTask(store->searchStocks(QString::fromUtf8(text)));
    awaitTask(std::move(pass));
    EXPECT_EQ(store->byok().size(), 4) << "the pass kept its quotes";
    EXPECT_EQ(store->keyStatus(), MarketsStore::KeyStatus::ok());
    EXPECT_TRUE(store->hasFinnhubKey());

    // A store that starts while the keyring fails: an error, not "no key",
    // and the interface does not wait for it either.
    const int missedBefore = service->answersTheLoopMissed;
    auto starting = makeStore();
    ASSERT_TRUE(waitUntil([&] { return starting->keyStatus().kind != MarketsStore::KeyStatus::Kind::Checking; }, 30000));
    EXPECT_EQ(service->answersTheLoopMissed - missedBefore, 0) << "the main thread waited for the keyring";
    EXPECT_EQ(starting->keyStatus().kind, MarketsStore::KeyStatus::Kind::Error);
    EXPECT_TRUE(starting->keyStatus().message.startsWith(QStringLiteral("Could not read the Finnhub key: ")))
        << starting->keyStatus().message.toStdString();
    EXPECT_FALSE(starting->keyStatus().message.contains(kKey));
    // Once the keyring answers again, the next pass finds the key.
    service->failing = false;
    server.clearRequests();
    awaitTask(starting->refreshOwnKeyQuotes());
    EXPECT_TRUE(starting->hasFinnhubKey());
    EXPECT_EQ(starting->keyStatus(), MarketsStore::KeyStatus::ok());
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 4);
    EXPECT_TRUE(keySentWithEveryRequest());
}

// A keyring that does not answer at all: within seconds the line says so,
// for the check of the key as for a save, and the interface never waits for
// it; what it answers once it speaks again still counts.
TEST_F(SlowKeyring, AKeyringThatDoesNotAnswerEndsWithAClearLineWithinSeconds)
{
    using KeyStatus = MarketsStore::KeyStatus;
    const int missedBefore = service->answersTheLoopMissed;
    service->silent = true;
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return service->held > 0; }, 10000)) << "the read did not reach the keyring";
    EXPECT_EQ(store->keyStatus(), KeyStatus::checking());
    time.advance(MarketsStore::kKeyringAnswerWait);
    EXPECT_EQ(store->keyStatus(),
              KeyStatus::error(QStringLiteral("Could not read the Finnhub key: the keyring did not answer. Check "
                                              "that your desktop's keyring is running and unlocked.")));

    const QString typed = QStringLiteral("silent-new-key");
    store->setFinnhubKey(typed);
    EXPECT_EQ(store->keyStatus(), KeyStatus::checking());
    time.advance(MarketsStore::kKeyringAnswerWait);
    EXPECT_EQ(store->keyStatus(),
              KeyStatus::error(QStringLiteral("Could not save the Finnhub key: the keyring did not answer. Check "
                                              "that your desktop's keyring is running and unlocked, then save the "
                                              "key again.")));

    server.clearRequests();
    service->silent = false;
    ASSERT_TRUE(waitUntil([&] { return store->keyStatus() == KeyStatus::ok(); }, 10000))
        << store->keyStatus().message.toStdString();
    EXPECT_EQ(service->stored(), typed.toUtf8());
    EXPECT_TRUE(store->hasFinnhubKey());
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 4);
    EXPECT_TRUE(keySentWithEveryRequest(typed));
    EXPECT_EQ(service->answersTheLoopMissed - missedBefore, 0) << "the main thread waited for the keyring";
    FakeTime::settle();
}

// Saving and removing the key wait for the keyring on its worker thread:
// the event loop runs on while the keyring holds each request, and the
// status tells the outcome when it comes.
TEST_F(SlowKeyring, SavingAndRemovingTheKeyNeverStopTheEventLoop)
{
    using Kind = MarketsStore::KeyStatus::Kind;
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }, 30000));
    const struct { const char* name; QString typed; std::optional<QByteArray> stored; Kind after; } cases[] = {
        {"a save the keyring answers late", QStringLiteral("slow-new-key"), QByteArray("slow-new-key"), Kind::Ok},
        {"a removal", QStringLiteral(" "), std::nullopt, Kind::None},
        {"a save", QStringLiteral("fast-key"), QByteArray("fast-key"), Kind::Ok},
    };
    for (const auto& c : cases) {
        server.clearRequests();
        const int writes = service->writes;
        const int missed = service->answersTheLoopMissed;
        store->setFinnhubKey(c.typed);
        EXPECT_NE(store->keyStatus().kind, c.after) << c.name << ": nothing is known yet";
        ASSERT_TRUE(waitUntil([&] { return store->keyStatus().kind == c.after; }, 30000)) << c.name;
        EXPECT_EQ(service->answersTheLoopMissed - missed, 0) << c.name << ": the main thread waited for the keyring";
        EXPECT_EQ(service->writes - writes, 1) << c.name;
        EXPECT_EQ(service->stored(), c.stored) << c.name;
        EXPECT_EQ(store->hasFinnhubKey(), c.stored.has_value()) << c.name;
        EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), c.stored ? 4 : 0) << c.name;
        EXPECT_TRUE(keySentWithEveryRequest(c.typed)) << c.name;
    }
    FakeTime::settle();
}

// The keyring asks the user first (as a new keyring's password prompt
// does): however long the user takes there, the status says that the keyring
// waits for them, and the key is checked once they answered.
TEST_F(SlowKeyring, TheTimeTheUserSpendsInTheKeyringsPromptIsNoFailure)
{
    using KeyStatus = MarketsStore::KeyStatus;
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }, 30000));
    server.clearRequests();
    const QString typed = QStringLiteral("user-asks-key");
    store->setFinnhubKey(typed);
    const KeyStatus waiting =
        KeyStatus::waiting(QStringLiteral("Waiting for the keyring: answer its prompt to save the key…"));
    ASSERT_TRUE(waitUntil([&] { return service->prompting && store->keyStatus() == waiting; }, 30000))
        << store->keyStatus().message.toStdString();
    time.advance(3 * MarketsStore::kKeyringAnswerWait);
    EXPECT_EQ(store->keyStatus(), waiting);

    service->answerPrompt();
    ASSERT_TRUE(waitUntil([&] { return store->keyStatus() == KeyStatus::ok(); }, 30000))
        << store->keyStatus().message.toStdString();
    EXPECT_EQ(service->stored(), typed.toUtf8());
    EXPECT_TRUE(keySentWithEveryRequest(typed));
    FakeTime::settle();
}

// Two keys saved in quick succession, the first of which the keyring holds
// back: the second is the one that stays, and the only one checked.
TEST_F(SlowKeyring, OfTwoQuickSavesTheLaterOneStays)
{
    auto store = makeStore();
    ASSERT_TRUE(waitUntil([&] { return store->hasFinnhubKey(); }, 30000));
    server.clearRequests();
    const int writes = service->writes;
    store->setFinnhubKey(QStringLiteral("first-slow-key"));
    store->setFinnhubKey(QStringLiteral("second-key"));
    ASSERT_TRUE(waitUntil([&] {
        return service->writes - writes == 2 && store->keyStatus().kind == MarketsStore::KeyStatus::Kind::Ok;
    }, 30000));
    EXPECT_EQ(service->stored(), QByteArray("second-key"));
    EXPECT_EQ(server.requestCount(QStringLiteral("/api/v1/quote")), 4);
    EXPECT_TRUE(keySentWithEveryRequest(QStringLiteral("second-key")));
    FakeTime::settle();
}

// A key saved or removed just before the application quits is in the keyring
// once the process has ended, whichever road it took out; what a keyring
// slower than the way out waits for does not finish is logged, without the key.
TEST_F(SlowKeyring, AKeySavedJustBeforeQuittingIsKeptOrLogged)
{
    const struct {
        const char* name;
        const char* road;
        QString typed;
        int waitMs;  // what the way out waits for the keyring at most
        std::optional<QByteArray> stored;
        const char* logged;
    } cases[] = {
        // The read of the key comes first, so each write waits at least twice kDelayMs.
        {"a save, then Quit", "quit", QStringLiteral("slow-quit-key"), 20000, QByteArray("slow-quit-key"), nullptr},
        {"a save, then SIGTERM", "SIGTERM", QStringLiteral("slow-term-key"), 20000, QByteArray("slow-term-key"),
         nullptr},
        {"a removal, then Quit", "quit", QStringLiteral(" "), 20000, std::nullopt, nullptr},
        // Last: the stand-in still stores this one after the process is gone.
        {"a keyring slower than the wait", "quit", QStringLiteral("slow-late-key"), 1, std::nullopt,
         "quitting before the keyring finished: the secret for \"finnhub_api_key\" is not stored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service->setStored(kKey.toUtf8());
        const int writes = service->writes;
        QProcess child;
        // It quits with work of the event loop never run (the continuation of
        // its key read): what that leaves at exit is no leak of a running app.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(KEY_SAVE_AT_QUIT), {QString::fromLatin1(c.road), c.typed, QString::number(c.waitMs)});
        ASSERT_TRUE(child.waitForStarted(10000));
        // The stand-in answers only while this thread runs its event loop.
        ASSERT_TRUE(waitUntil([&] { return child.state() == QProcess::NotRunning; }, 30000));
        const QByteArray log = child.readAllStandardError();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << log.data();
        EXPECT_EQ(child.exitCode(), 0) << log.data();
        if (c.logged) {
            EXPECT_TRUE(log.contains(c.logged)) << log.data();
            EXPECT_FALSE(log.contains(c.typed.toUtf8())) << log.data();
            // What the keyring still does for the process that has gone stays out of later tests.
            EXPECT_TRUE(waitUntil([&] { return service->held == 0; }, 30000));
            continue;
        }
        EXPECT_EQ(service->writes - writes, 1) << log.data();
        EXPECT_EQ(service->stored(), c.stored) << log.data();
        EXPECT_FALSE(log.contains("quitting before the keyring finished")) << log.data();
    }
}

} // namespace
