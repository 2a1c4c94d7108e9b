// The tray item on a private session bus (tests/music/run-on-private-bus.sh)
// and a private X server: the test owns a stand-in tray watcher and reads
// and drives the item's menu over dbusmenu, as a desktop's tray does.
#include "LoopbackServer.h"
#include "XvfbDisplay.h"
#include "ambient/FullScreenWindowManager.h"
#include "app/AppStripServices.h"
#include "app/MenuBarController.h"
#include "app/TickerWindowController.h"
#include "platform/Defaults.h"
#include "store/FeedStore.h"

#include "FakeTime.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QThread>
#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// The tray host's side: takes registrations of items. It lives on a thread
// and a connection of its own, because the item's first question to it is a
// blocking one asked from the main thread.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service)
    {
        QMutexLocker lock(&m_mutex);
        m_items << service;
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;
};

MenuNode readNode(const QDBusArgument& argument)
{
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children << readNode(child.variant().value<QDBusArgument>());
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

// "-" for a separator, else the label, with "[Control+Q]" for a shortcut.
QString describe(const MenuNode& node)
{
    if (node.properties.value("type").toString() == "separator")
        return "-";
    QString text = node.properties.value("label").toString();
    if (node.properties.contains("shortcut")) {
        const QDBusArgument shortcut = node.properties.value("shortcut").value<QDBusArgument>();
        QList<QStringList> chords;
        shortcut >> chords;
        for (const QStringList& chord : chords)
            text += " [" + chord.join('+') + "]";
    }
    return text;
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
        QMetaObject::invokeMethod(
            &watcher,
            [this, &registered] {
                QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "watcher");
                registered = bus.registerObject("/StatusNotifierWatcher", &watcher,
                                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) &&
                             bus.registerService(kWatcher);
            },
            Qt::BlockingQueuedConnection);
        ASSERT_TRUE(registered);
        StripServices::install(&services);
    }
    void TearDown() override
    {
        StripServices::install(nullptr);
        watcherThread.quit();
        watcherThread.wait();
    }

    // Calls `method` on the item's menu without blocking the main thread,
    // where the item answers.
    QDBusMessage callMenu(const QString& method, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(item, menuPath, "com.canonical.dbusmenu", method);
        message.setArguments(arguments);
        QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(message);
        EXPECT_TRUE(QTest::qWaitFor([&] { return call.isFinished(); }, 10000)) << method.toStdString();
        return call.reply();
    }
    void findItem()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !watcher.items().isEmpty(); }, 10000)) << "never registered";
        item = watcher.items().first();
        QDBusMessage get = QDBusMessage::createMethodCall(item, "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get.setArguments({"org.kde.StatusNotifierItem", "Menu"});
        QDBusPendingCall call = QDBusConnection::sessionBus().asyncCall(get);
        ASSERT_TRUE(QTest::qWaitFor([&] { return call.isFinished(); }, 10000));
        menuPath = call.reply().arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
        ASSERT_FALSE(menuPath.isEmpty()) << call.reply().errorMessage().toStdString();
    }
    // The menu as a tray shows it: told it is about to open, then read.
    QList<MenuNode> openMenu()
    {
        callMenu("AboutToShow", {0});
        const QDBusMessage reply = callMenu("GetLayout", {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
            ADD_FAILURE() << "GetLayout: " << reply.errorMessage().toStdString();
            return {};
        }
        return readNode(reply.arguments().at(1).value<QDBusArgument>()).children;
    }
    QStringList entries()
    {
        QStringList out;
        for (const MenuNode& node : openMenu())
            out << describe(node);
        return out;
    }
    void click(const QString& label)
    {
        for (const MenuNode& node : openMenu()) {
            if (describe(node) == label) {
                callMenu("Event", {node.id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
                return;
            }
        }
        ADD_FAILURE() << "no entry " << label.toStdString();
    }

    QThread watcherThread;
    StandInWatcher watcher;
    AppStripServices services{TickerWindowController::shared(), [] {}};
    QString item;
    QString menuPath;
};

TEST_F(TrayBusTest, ItemRegistersOnceAndItsMenuFollowsTheStoreAndOpensTheBoard)
{
    auto defaults = Defaults::inMemory();
    FakeTime time;
    LoopbackServer server;
    const QJsonObject manifest{
        {"topics", QJsonArray{}},
        {"feed_index", QJsonArray{}},
        {"client_release", QJsonObject{{"version", "2.4"}, {"download_url", "https://get.example/tw.AppImage"}}}};
    server.route("/v1_manifest", LoopbackServer::Response::json(QJsonDocument(manifest).toJson()));
    auto makeStore = [&] {
        return std::make_unique<FeedStore>(FeedStore::Services{*defaults, time, time, nullptr, nullptr, {},
                                                               server.baseUrl(), std::nullopt, server.baseUrl(),
                                                               QStringLiteral("1.0")});
    };
    auto plain = makeStore();
    auto offering = makeStore();
    offering->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return offering->availableUpdate().has_value(); }, 10000));

    MenuBarController controller;
    controller.install(*plain);
    findItem();
    const QStringList withoutUpdate = {"Ambient Board", "Search…", "-", "Settings…", "-", "Quit Tidewire [Control+Q]"};
    EXPECT_EQ(entries(), withoutUpdate);

    // The second install only changes the store the menu reads.
    controller.install(*offering);
    EXPECT_EQ(entries(), (QStringList{"Ambient Board", "Search…", "-", "Settings…", "-", "Update to 2.4…", "-",
                                      "Quit Tidewire [Control+Q]"}));
    EXPECT_EQ(watcher.items().size(), 1);

    FullScreenWindowManager& board = FullScreenWindowManager::shared();
    ASSERT_EQ(board.window(), nullptr);
    click("Ambient Board");
    EXPECT_TRUE(QTest::qWaitFor([&] { return board.window() != nullptr; }, 5000)) << "the board did not open";
    click("Ambient Board");
    EXPECT_TRUE(QTest::qWaitFor([&] { return board.window() == nullptr; }, 5000)) << "the board did not close";

    offering->stop();
    plain.reset();
    offering.reset();
    EXPECT_TRUE(entries().isEmpty()) << "a menu without its store is empty";
}

} // namespace

#include "TrayBusTest.moc"
