#include "app/MenuBarController.h"

#include "ambient/FullScreenWindowManager.h"
#include "app/MenuBarMark.h"
#include "app/NamedIconEngine.h"
#include "platform/base/Logging.h"
#include "widgets/PlainText.h"
#include "store/FeedStore.h"
#include "ticker/StripServices.h"

#include <QApplication>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

const QString kTitle = QStringLiteral("Tidewire");
constexpr int kTraySides[] = {16, 22, 24, 32};
// The mark as a symbolic theme icon (resources/tidewire-symbolic.svg,
// installed with the app): trays that tint symbolic icons for their panel
// draw this one.
const QString kSymbolicName = QStringLiteral("tidewire-symbolic");

} // namespace

MenuBarController::MenuBarController(QObject* parent) : QObject(parent) {}

MenuBarController::~MenuBarController() = default;

MenuBarController& MenuBarController::shared()
{
    static MenuBarController* const controller = new MenuBarController;
    return *controller;
}

void MenuBarController::install(FeedStore& store)
{
    if (m_store != &store) {
        if (m_store)
            disconnect(m_store, nullptr, this, nullptr);
        m_store = &store;
        // The menu follows what it shows as it changes, opened or not.
        connect(&store, &FeedStore::availableUpdateChanged, this, &MenuBarController::buildMenu);
        connect(&store, &QObject::destroyed, this, &MenuBarController::buildMenu);
        buildMenu();
    }
    if (m_statusItem)
        return;

    m_menu = std::make_unique<QMenu>();
    // Filled before the item is registered: a tray may read the whole menu
    // before, or instead of, asking it to open.
    buildMenu();

    m_statusItem = std::make_unique<QSystemTrayIcon>();
    m_statusItem->setIcon(statusImage());
    m_statusItem->setToolTip(kTitle);
    m_statusItem->setContextMenu(m_menu.get());
    // Trays open the menu on a right click and report a left click as an
    // activation: that opens the same menu.
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible())
            m_menu->popup(QCursor::pos());
    });
    m_statusItem->show();
    qCInfo(lcMenuBar, "menu bar item installed");
    // Qt puts the item in a tray that appears later by itself.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcMenuBar, "no system tray on this desktop; the strip's menu offers the same actions");
}

QIcon MenuBarController::statusImage(const MarkRenderer& render)
{
    const MarkRenderer draw = render ? render : MarkRenderer(&MenuBarMark::render);
    QIcon icon;
    bool drawn = true;
    for (const int side : kTraySides) {
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image = draw(side, ratio, MenuBarMark::trayColor());
            if (image.isNull()) {
                drawn = false;
                break;
            }
            icon.addPixmap(QPixmap::fromImage(image));
        }
        if (!drawn)
            break;
    }
    // Named only when the theme holds the symbolic icon: a tray that gets a
    // name shows nothing when it cannot find it, and some (the indicator
    // service's) take a name in place of the pictures.
    if (drawn)
        return QIcon::hasThemeIcon(kSymbolicName) ? QIcon(new NamedIconEngine(icon, kSymbolicName)) : icon;

    qCCritical(lcMenuBar, "menu bar mark failed to render — falling back to a symbol");
    const QIcon symbol = QIcon::fromTheme(QStringLiteral("application-rss+xml-symbolic"),
                                          QIcon::fromTheme(QStringLiteral("application-rss+xml")));
    if (!symbol.isNull())
        return symbol;
    QPixmap empty(16, 16);
    empty.fill(Qt::transparent);
    return QIcon(empty);
}

void MenuBarController::buildMenu()
{
    if (!m_menu)
        return;
    // Rebuilt only when what it shows changed: a tray holding the layout
    // keeps the entries' ids it read.
    std::optional<Content> content;
    if (m_store)
        content = Content{m_store->availableUpdate() ? std::optional(m_store->availableUpdate()->version) : std::nullopt};
    if (m_built && m_shown == content)
        return;
    m_built = true;
    m_shown = content;
    m_menu->clear();
    if (!m_store)
        return;

    // Queued: a window or prompt opens after the menu and the tray's call
    // that chose the entry are done, never inside them.
    auto add = [this](const QString& text, void (MenuBarController::*action)()) {
        QAction* item = m_menu->addAction(text);
        connect(item, &QAction::triggered, this, action, Qt::QueuedConnection);
        return item;
    };
    add(QStringLiteral("Ambient Board"), &MenuBarController::toggleBoard);
    add(QStringLiteral("Search…"), &MenuBarController::openSearch);
    m_menu->addSeparator();
    add(QStringLiteral("Settings…"), &MenuBarController::openSettingsWindow);
    if (const std::optional<ClientRelease>& release = m_store->availableUpdate()) {
        m_menu->addSeparator();
        add(PlainText::actionText(QStringLiteral("Update to ") + release->version + QStringLiteral("…")),
            &MenuBarController::openUpdate);
    }
    m_menu->addSeparator();
    QAction* quitItem = add(QStringLiteral("Quit Tidewire"), &MenuBarController::quit);
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitItem->setShortcutVisibleInContextMenu(true);
}

void MenuBarController::toggleBoard()
{
    if (!m_store)
        return;
    FullScreenWindowManager& board = FullScreenWindowManager::shared();
    if (board.window())
        board.close();
    else
        StripServices::installed().showFullScreen(*m_store);
}

void MenuBarController::openSearch()
{
    if (m_store)
        StripServices::installed().showSearch(*m_store);
}

void MenuBarController::openSettings(const std::optional<QString>& tab)
{
    if (m_store)
        StripServices::installed().showSettings(*m_store, tab);
}

void MenuBarController::openSettingsWindow()
{
    openSettings();
}

void MenuBarController::openUpdate()
{
    if (!m_store)
        return;
    const std::optional<ClientRelease> release = m_store->availableUpdate();
    if (!release)
        return;
    if (const std::optional<QUrl> url = release->downloadURL())
        StripServices::installed().presentUpdatePrompt(release->version, *url);
}

void MenuBarController::quit()
{
    StripServices::installed().quit();
}
