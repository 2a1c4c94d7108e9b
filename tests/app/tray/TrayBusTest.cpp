// The tray item on a private session bus (tests/music/run-on-private-bus.sh)
// and a private X server: the test owns a stand-in tray watcher and reads and
// drives the item's menu over dbusmenu, as a desktop's tray does.
#include "LoopbackServer.h"
#include "XvfbDisplay.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/AppInfo.h"
#include "app/MenuBarController.h"
#include "ticker/StripServices.h"
#include "platform/storage/CacheFiles.h"
#include "platform/storage/Defaults.h"
#include "platform/net/ImageNetwork.h"
#include "ticker/FaviconStore.h"
#include "store/FeedStore.h"

#include "FakeTime.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Takes item registrations on a thread and connection of its own: the
// item's first question to it is a blocking one from the main thread.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    bool isHostRegistered() const { return true; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_items.clear();
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service)
    {
        QMutexLocker lock(&m_mutex);
        m_items << service;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

// Records the windows asked for; the board is the real one.
struct Services final : StripServices {
    void reposition() override {}
    void setInputRegion(const std::optional<QRect>&) override {}
    void showSettings(FeedStore&, const std::optional<QString>& tab) override { calls << "settings:" + tab.value_or("-"); }
    void showSearch(FeedStore&) override { calls << "search"; }
    void showFullScreen(FeedStore& store) override { FullScreenWindowManager::shared().show(store); }
    void presentUpdatePrompt(const QString& version, const QUrl& url) override { calls << version + " " + url.toString(); }
    void quit() override { calls << "quit"; }
    void startNowPlaying(FeedStore&) override {}
    void startRoomListener(FeedStore&) override {}
    QStringList calls;
};

// One menu entry as dbusmenu lays it out: "-" for a separator, else its
// label with the shortcut's keys, e.g. "Quit Tidewire [Control+Q]".
struct Entry {
    int id = 0;
    QString text;
};

QList<Entry> readChildren(const QDBusArgument& node)
{
    QList<Entry> entries;
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        item.beginStructure();
        Entry entry;
        QVariantMap p;
        item >> entry.id >> p;
        item.endStructure();
        entry.text = p.value("type") == "separator" ? "-" : p.value("label").toString();
        QList<QStringList> chords;
        if (p.contains("shortcut"))
            p.value("shortcut").value<QDBusArgument>() >> chords;
        for (const QStringList& chord : chords)
            entry.text += " [" + chord.join('+') + "]";
        entries << entry;
    }
    node.endArray();
    node.endStructure();
    return entries;
}

// A catalogue with no feeds that offers this release.
void offerRelease(LoopbackServer& server, const QString& version)
{
    const QJsonObject release{{"version", version}, {"download_url", "https://get.example/tw"}};
    server.route("/v1_manifest", LoopbackServer::Response::json(QJsonDocument(QJsonObject{
        {"topics", QJsonArray{}}, {"feed_index", QJsonArray{}}, {"client_release", release}}).toJson()));
}

class TrayBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TIDEWIRE_REQUIRE_XVFB();
        const QByteArray bus = qgetenv("TIDEWIRE_BUS_TEST");
        if (bus.startsWith("missing:"))
            GTEST_SKIP() << "no private session bus: " << bus.mid(8).toStdString();
        ASSERT_EQ(bus, QByteArray("private")) << "run through tests/music/run-on-private-bus.sh";
        watcherThread.start();
        watcher.moveToThread(&watcherThread);
        bool registered = false;
        QMetaObject::invokeMethod(&watcher, [this, &registered] {
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
            registered = bus.registerObject("/StatusNotifierWatcher", &watcher,
                                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) &&
                         bus.registerService("org.kde.StatusNotifierWatcher");
        }, Qt::BlockingQueuedConnection);
        ASSERT_TRUE(registered);
        StripServices::install(&services);
    }
    void TearDown() override
    {
        StripServices::install(nullptr);
        watcherThread.quit();
        watcherThread.wait();
    }

    // Calls without blocking the main thread, where the item answers.
    QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QVariantList& args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(item, path, interface, method);
        message.setArguments(args);
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 30000)) << method.toStdString();
        return pending.reply();
    }
    // Returns once the watcher has handled every call this process sent it
    // before (a registration included): it answers a question after them.
    bool watcherCaughtUp()
    {
        QDBusMessage ask = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                          "org.freedesktop.DBus.Properties", "Get");
        ask.setArguments({"org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"});
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(ask);
        return QTest::qWaitFor([&] { return pending.isFinished(); }, 30000) && !pending.isError();
    }
    // The menu as the item exports it, read without opening it.
    QList<Entry> layout()
    {
        const QDBusMessage reply = call(menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        if (reply.arguments().size() < 2)
            return {};
        return readChildren(reply.arguments().at(1).value<QDBusArgument>());
    }
    // The menu as a tray shows it: told it is about to open, then read.
    QList<Entry> openMenu()
    {
        call(menuPath, "com.canonical.dbusmenu", "AboutToShow", {0});
        return layout();
    }
    static QStringList texts(const QList<Entry>& entries)
    {
        QStringList out;
        for (const Entry& entry : entries)
            out << entry.text;
        return out;
    }
    QStringList texts() { return texts(openMenu()); }
    // Where the item's menu is exported; empty when it is not.
    QString exportedMenuPath()
    {
        const QDBusMessage menu = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                       {"org.kde.StatusNotifierItem", "Menu"});
        return menu.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    }
    void click(const QString& text)
    {
        for (const Entry& entry : openMenu())
            if (entry.text.startsWith(text))
                call(menuPath, "com.canonical.dbusmenu", "Event",
                     {entry.id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
    }

    QThread watcherThread;
    StandInWatcher watcher;
    Services services;
    QString item;
    QString menuPath;
};

TEST_F(TrayBusTest, ItemRegistersOnceAndItsMenuFollowsTheStoreAndDrivesTheWindows)
{
    auto defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    offerRelease(server, "2.4");
    auto makeStore = [&] {
        return std::make_unique<FeedStore>(FeedStore::Services{*defaults, time, time, nullptr, nullptr, {},
                                                               server.baseUrl(), std::nullopt, {}, "1.0"});
    };
    auto plain = makeStore();
    auto offering = makeStore();
    offering->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return offering->availableUpdate().has_value(); }, 30000));

    applyAppIdentity();  // as the app starts
    MenuBarController controller;
    controller.install(*plain);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !watcher.items().isEmpty(); }, 30000)) << "never registered";
    item = watcher.items().first();
    // The name a tray shows for the item, and its tool tip.
    const QDBusMessage title = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                    {"org.kde.StatusNotifierItem", "Title"});
    EXPECT_EQ(title.arguments().value(0).value<QDBusVariant>().variant().toString().toStdString(), "Tidewire")
        << title.errorMessage().toStdString();
    const QDBusMessage tip = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                  {"org.kde.StatusNotifierItem", "ToolTip"});
    QString tipIcon, tipTitle, tipText;
    const QDBusArgument tipStruct = tip.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    tipStruct.beginStructure();
    tipStruct >> tipIcon;
    tipStruct.beginArray();
    while (!tipStruct.atEnd()) {
        tipStruct.beginStructure();
        int w = 0, h = 0;
        QByteArray pixels;
        tipStruct >> w >> h >> pixels;
        tipStruct.endStructure();
    }
    tipStruct.endArray();
    tipStruct >> tipTitle >> tipText;
    tipStruct.endStructure();
    EXPECT_EQ(tipTitle.toStdString(), "Tidewire") << tip.errorMessage().toStdString();
    // The name the desktop shows moves no folder: settings and caches stay
    // where earlier versions kept them.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString caches = qEnvironmentVariable("XDG_CACHE_HOME");
    ASSERT_FALSE(config.isEmpty() || caches.isEmpty());
    EXPECT_EQ(QStringList({Defaults::standardFilePath(), CacheFiles::standardDirectory(),
                           FaviconStore::standardCacheDir(), ImageNetwork::standardCacheDir()}),
              QStringList({config + "/tidewire/defaults.json", caches + "/tidewire", caches + "/tidewire/favicons",
                           caches + "/tidewire/http"}));
    menuPath = exportedMenuPath();
    ASSERT_FALSE(menuPath.isEmpty());
    EXPECT_EQ(texts(), (QStringList{"Ambient Board", "Search…", "-", "Settings…", "-", "Quit Tidewire [Control+Q]"}));

    // A second install only changes the store the menu reads.
    controller.install(*offering);
    EXPECT_EQ(texts(), (QStringList{"Ambient Board", "Search…", "-", "Settings…", "-", "Update to 2.4…", "-",
                                    "Quit Tidewire [Control+Q]"}));
    ASSERT_TRUE(watcherCaughtUp());
    EXPECT_EQ(watcher.items().size(), 1);
    for (const char* entry : {"Search…", "Settings…", "Update to 2.4…", "Quit Tidewire"})
        click(entry);
    EXPECT_TRUE(QTest::qWaitFor([&] { return services.calls.size() >= 4; }, 30000));
    EXPECT_EQ(services.calls, (QStringList{"search", "settings:-", "2.4 https://get.example/tw", "quit"}));

    FullScreenWindowManager& board = FullScreenWindowManager::shared();
    ASSERT_EQ(board.window(), nullptr);
    click("Ambient Board");
    EXPECT_TRUE(QTest::qWaitFor([&] { return board.window() != nullptr; }, 30000)) << "the board did not open";
    click("Ambient Board");
    EXPECT_TRUE(QTest::qWaitFor([&] { return board.window() == nullptr; }, 30000)) << "the board did not close";

    // A left click reaches the item as an activation: the same menu opens.
    call("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", {0, 0});
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller.menu()->isVisible(); }, 30000));
    controller.menu()->hide();

    offering->stop();
    plain.reset();
    offering.reset();
    EXPECT_TRUE(texts().isEmpty()) << "a menu without its store is empty";
}

// Some trays (xfce4-panel's) read the layout and show the item's menu only
// when it holds entries, without asking it to open first.
TEST_F(TrayBusTest, ExportedMenuHoldsItsEntriesFromRegistrationAndFollowsTheOfferUnopened)
{
    auto defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    offerRelease(server, "9.9.9");
    FeedStore store(FeedStore::Services{*defaults, time, time, nullptr, nullptr, {}, server.baseUrl(), std::nullopt,
                                        {}, "1.0"});
    MenuBarController controller;
    controller.install(store);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !watcher.items().isEmpty(); }, 30000)) << "never registered";
    item = watcher.items().first();
    menuPath = exportedMenuPath();
    ASSERT_FALSE(menuPath.isEmpty());
    const QStringList plain{"Ambient Board", "Search…", "-", "Settings…", "-", "Quit Tidewire [Control+Q]"};
    EXPECT_EQ(texts(layout()), plain) << "the menu is empty until it is opened";

    store.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.availableUpdate().has_value(); }, 30000));
    EXPECT_EQ(texts(layout()), (QStringList{"Ambient Board", "Search…", "-", "Settings…", "-", "Update to 9.9.9…",
                                            "-", "Quit Tidewire [Control+Q]"}));
    store.dismissUpdate();
    EXPECT_EQ(texts(layout()), plain);
    store.stop();
}

TEST_F(TrayBusTest, ItemNamesTheSymbolicIconOnlyWhenTheThemeHoldsIt)
{
    auto defaults = Defaults::inMemory();
    FakeTime time;
    FeedStore store({*defaults, time, time, nullptr, nullptr, {}, QUrl("http://127.0.0.1:9/"), std::nullopt, {}, {}});
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    auto property = [this](const char* name) {
        return call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                    {"org.kde.StatusNotifierItem", QString::fromLatin1(name)})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    };

    // First a theme with only the application's own icon, then with the
    // symbolic one installed beside it.
    QTemporaryDir icons;
    ASSERT_TRUE(icons.isValid());
    const QDir theme(icons.filePath("hicolor"));
    ASSERT_TRUE(theme.mkpath("scalable/apps") && theme.mkpath("symbolic/apps"));
    QFile index(theme.filePath("index.theme"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=scalable/apps,symbolic/apps\n\n"
                "[scalable/apps]\nSize=128\nMinSize=8\nMaxSize=512\nType=Scalable\n\n"
                "[symbolic/apps]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    ASSERT_TRUE(QFile::copy(TIDEWIRE_RESOURCES_DIR "/tidewire.svg", theme.filePath("scalable/apps/tidewire.svg")));
    QIcon::setThemeName(QStringLiteral("hicolor"));
    for (const bool installed : {false, true}) {
        if (installed) {
            ASSERT_TRUE(QFile::copy(TIDEWIRE_RESOURCES_DIR "/tidewire-symbolic.svg",
                                    theme.filePath("symbolic/apps/tidewire-symbolic.svg")));
        }
        QIcon::setThemeSearchPaths({icons.path()});  // reads the folder again
        SCOPED_TRACE(installed ? "installed" : "not installed");
        MenuBarController controller;
        watcher.clear();
        controller.install(store);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !watcher.items().isEmpty(); }, 30000)) << "never registered";
        item = watcher.items().first();
        EXPECT_EQ(property("IconName").toString().toStdString(), installed ? "tidewire-symbolic" : "");
        // The pictures go along, for trays that draw them as they are.
        const QDBusArgument pixmaps = property("IconPixmap").value<QDBusArgument>();
        int pictures = 0;
        pixmaps.beginArray();
        while (!pixmaps.atEnd()) {
            int w = 0, h = 0;
            QByteArray argb;
            pixmaps.beginStructure();
            pixmaps >> w >> h >> argb;
            pixmaps.endStructure();
            pictures += w > 0 && argb.size() == qsizetype(w) * h * 4;
        }
        pixmaps.endArray();
        EXPECT_GE(pictures, 4);
    }
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(themeName);
}

} // namespace

#include "TrayBusTest.moc"
