#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class FeedStore;
class QMenu;
class QSystemTrayIcon;

// The application's item in the desktop's tray and its menu. The item speaks
// StatusNotifierItem and dbusmenu on the session bus where a tray host runs,
// XEmbed where only that exists. The menu holds its entries from the start
// and is rebuilt whenever what it shows changes (the store, the update it
// offers), so a tray reading it unopened sees what the feed store offers now.
// Windows are reached through StripServices::installed(), as the strip's own
// menu does. Main thread only.
class MenuBarController : public QObject {
    Q_OBJECT
public:
    // Draws the mark into a clear square: side in logical pixels, the
    // device pixel ratio, the colour; a null image when drawing failed.
    using MarkRenderer = std::function<QImage(int side, qreal devicePixelRatio, const QColor& color)>;

    explicit MenuBarController(QObject* parent = nullptr);
    ~MenuBarController() override;

    // The process-wide controller; created on first use, never destroyed.
    static MenuBarController& shared();

    // Keeps `store` (weakly) for the menu and its actions. The tray item is
    // created on the first call only; later calls just replace the store.
    void install(FeedStore& store);

    // Null before install().
    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }

    // The tray picture at the sizes trays ask for (16, 22, 24 and 32 pixels
    // and their 2x versions) in MenuBarMark::trayColor(), named
    // "tidewire-symbolic" when the icon theme holds that icon. When the mark
    // cannot be drawn: the error is logged and a themed symbol stands in, or
    // else an empty 16x16 picture; never a null icon.
    static QIcon statusImage(const MarkRenderer& render = {});

    // Empties the menu and fills it again from the store when what it shows
    // differs from what it holds; empty when the store is gone.
    void buildMenu();

    // The menu's actions. Each does nothing when the store is gone, except
    // quit().
    void toggleBoard();
    void openSearch();
    void openSettings(const std::optional<QString>& tab = std::nullopt);
    // The update prompt for the offered release; nothing without one or when
    // its download address is not http or https.
    void openUpdate();
    void quit();

private:
    void openSettingsWindow();  // no particular tab

    // What the menu shows of the store: the version of the offered update.
    struct Content {
        std::optional<QString> update;
        bool operator==(const Content&) const = default;
    };

    QPointer<FeedStore> m_store;
    bool m_built = false;
    std::optional<Content> m_shown;  // none: the store is gone
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
};
