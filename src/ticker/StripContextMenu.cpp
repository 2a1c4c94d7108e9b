#include "ticker/StripContextMenu.h"

#include "platform/storage/Defaults.h"
#include "widgets/PlainText.h"
#include "platform/storage/SettingsCatalogue.h"
#include "ticker/ExtraStripLayer.h"
#include "store/FeedStore.h"
#include "ticker/StripConfig.h"
#include "ticker/StripOptions.h"
#include "ticker/StripServices.h"
#include "ticker/TickerView.h"

#include <QActionGroup>
#include <QMenu>
#include <functional>

namespace {

// A submenu whose choices sit directly in it, the stored one checked.
template <class T>
void addPicker(QMenu& menu, const QString& title, const QIcon& icon, const QList<StripOption<T>>& options,
               const T& current, std::function<void(const T&)> choose)
{
    QMenu* sub = menu.addMenu(icon, title);
    auto* group = new QActionGroup(sub);
    group->setExclusive(true);
    for (const StripOption<T>& option : options) {
        QAction* action = sub->addAction(PlainText::actionText(option.label));
        action->setCheckable(true);
        action->setChecked(option.value == current);
        group->addAction(action);
        const T value = option.value;
        QObject::connect(action, &QAction::triggered, sub, [choose, value] { choose(value); });
    }
}

QAction* addToggle(QMenu& menu, const QString& text, bool checked, std::function<void(bool)> write)
{
    QAction* action = menu.addAction(text);
    action->setCheckable(true);
    action->setChecked(checked);
    QObject::connect(action, &QAction::triggered, &menu, [write](bool on) { write(on); });
    return action;
}

QAction* addButton(QMenu& menu, const QString& text, const QIcon& icon, std::function<void()> run)
{
    QAction* action = menu.addAction(icon, text);
    QObject::connect(action, &QAction::triggered, &menu, [run] { run(); });
    return action;
}

QIcon themed(const char* name)
{
    return QIcon::fromTheme(QString::fromLatin1(name));
}

void addSecondTickerMenu(QMenu& menu, TickerView& view)
{
    Defaults& defaults = view.defaults();
    Defaults* d = &defaults;
    QMenu* sub = menu.addMenu(themed("view-split-top-bottom"), QStringLiteral("Second Ticker"));
    addToggle(*sub, QStringLiteral("Second Ticker"), view.secondTickerEnabled(),
              [d](bool on) { d->setAndSave(TickerView::secondTickerKey, on); });
    if (!view.secondTickerEnabled())
        return;
    sub->addSeparator();
    addPicker<QString>(*sub, QStringLiteral("Mix"), {}, StripOptions::stripMixOptions(view.store().items()),
                       StripConfig::field(defaults, 0, &StripConfig::mix, QStringLiteral("latest")),
                       [d](const QString& v) { StripConfig::setField(*d, 0, &StripConfig::mix, v); });
    addPicker<double>(*sub, QStringLiteral("Speed"), {}, StripOptions::speedOptions(),
                      StripConfig::field(defaults, 0, &StripConfig::speed, 1.0),
                      [d](const double& v) { StripConfig::setField(*d, 0, &StripConfig::speed, v); });
    addPicker<int>(*sub, QStringLiteral("Size"), {}, StripOptions::sizeOptions(),
                   StripConfig::field(defaults, 0, &StripConfig::size, 2),
                   [d](const int& v) { StripConfig::setField(*d, 0, &StripConfig::size, v); });
    addPicker<QString>(*sub, QStringLiteral("Background"), {}, StripOptions::themeOptions(),
                       StripConfig::field(defaults, 0, &StripConfig::background, QStringLiteral("Black")),
                       [d](const QString& v) { StripConfig::setField(*d, 0, &StripConfig::background, v); });
}

void addMainStripPickers(QMenu& menu, TickerView& view)
{
    Defaults* d = &view.defaults();
    auto writeString = [d](const QString& key) { return [d, key](const QString& v) { d->setAndSave(key, v); }; };
    addPicker<QString>(menu, QStringLiteral("Position"), themed("transform-move-vertical"),
                       StripOptions::positionOptions(), Settings::tickerPosition.read(*d),
                       writeString(TickerView::positionKey));
    addPicker<int>(menu, QStringLiteral("Size"), themed("zoom-fit-best"), StripOptions::sizeOptions(),
                   int(Settings::tickerSize.read(*d)),
                   [d](const int& v) { d->setAndSave(TickerView::sizeKey, v); });
    addPicker<double>(menu, QStringLiteral("Speed"), themed("speedometer"), StripOptions::speedOptions(),
                      Settings::scrollSpeed.read(*d),
                      [d](const double& v) { d->setAndSave(TickerView::scrollSpeedKey, v); });
    addPicker<QString>(menu, QStringLiteral("Feed Mix"), themed("media-playlist-shuffle"), StripOptions::mixOptions(),
                       Settings::feedMix.read(*d),
                       writeString(TickerView::feedMixKey));
    addPicker<QString>(menu, QStringLiteral("Background"), themed("preferences-desktop-color"),
                       StripOptions::themeOptions(), view.themeBackground(), writeString(TickerView::themeKey));
}

void addMusicToggles(QMenu& menu, TickerView& view)
{
    Defaults* d = &view.defaults();
    auto write = [d](const QString& key) { return [d, key](bool on) { d->setAndSave(key, on); }; };
    addToggle(menu, QStringLiteral("Always on Top"), Settings::alwaysOnTop.read(*d),
              write(TickerView::alwaysOnTopKey));
    addToggle(menu, QStringLiteral("Tune to Music"), view.tuneToMusic(), write(TickerView::tuneToMusicKey));
    // Both follow "Tune to Music": greyed out while it is off, checks kept.
    addToggle(menu, QStringLiteral("Blend Music with My Feeds"), Settings::musicBlendWithFeeds.read(*d),
              write(TickerView::blendKey))
        ->setEnabled(view.tuneToMusic());
    // A listener that cannot listen is never switched on from here; one left
    // on can still be switched off.
    const bool listening = Settings::roomListenEnabled.read(*d);
    const bool canListen = view.stripServices().canListenToRoom();
    addToggle(menu, QStringLiteral("Listen to the Room"), listening, write(TickerView::listenKey))
        ->setEnabled(view.tuneToMusic() && (listening || canListen));
}

void openUpdate(StripServices& services, const ClientRelease& release)
{
    // Only an http or https address is offered; otherwise nothing happens.
    if (const std::optional<QUrl> url = release.downloadURL())
        services.presentUpdatePrompt(release.version, *url);
}

} // namespace

namespace StripContextMenu {

std::unique_ptr<QMenu> build(TickerView& view)
{
    auto menu = std::make_unique<QMenu>(&view);
    FeedStore* store = &view.store();
    StripServices* services = &view.stripServices();
    TickerView* strip = &view;

    addToggle(*menu, QStringLiteral("Mini Mode"), view.isMiniMode(), [strip](bool on) { strip->setMiniMode(on); });
    addSecondTickerMenu(*menu, view);
    addButton(*menu, QStringLiteral("Full Screen"), themed("view-fullscreen"),
              [services, store] { services->showFullScreen(*store); });
    menu->addSeparator();
    addButton(*menu, QStringLiteral("Search…"), themed("edit-find"), [services, store] { services->showSearch(*store); });
    addButton(*menu, QStringLiteral("Refresh Now"), themed("view-refresh"), [store] {
        // The store owns the refresh and its reporting; the task runs on.
        QCoro::Task<void> refresh = store->refresh();
        Q_UNUSED(refresh);
    });
    menu->addSeparator();
    addMainStripPickers(*menu, view);
    addMusicToggles(*menu, view);
    menu->addSeparator();
    if (const std::optional<ClientRelease>& release = store->availableUpdate()) {
        const ClientRelease offer = *release;
        addButton(*menu, PlainText::actionText(QStringLiteral("Update to ") + offer.version + QStringLiteral("…")),
                  themed("software-update-available"), [services, offer] { openUpdate(*services, offer); });
    }
    addButton(*menu, QStringLiteral("Settings..."), {}, [services, store] { services->showSettings(*store, std::nullopt); });
    addButton(*menu, QStringLiteral("Quit Tidewire"), {}, [services] { services->quit(); });
    return menu;
}

} // namespace StripContextMenu
