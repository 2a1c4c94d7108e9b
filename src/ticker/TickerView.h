#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "ticker/TickerRow.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class Defaults;
class ExtraStripLayer;
class FeedStore;
class FilterStore;
class FixedBrandBlock;
class MarketsStore;
class MarqueeClock;
class PaintedOverlay;
class QMenu;
class QRandomGenerator;
class Scheduler;
class StripChipsRow;
class StripServices;
class TickerAnimationLayer;
class UrlOpener;

// The main strip: the theme background, the scrolling headlines, the brand
// block and the chips, with the second strip beneath when it is switched on.
// Every setting is read live from the settings; a change of the window's
// size, edge or level places the window again through the strip services.
// Mini mode leaves only the brand block on a clear background and is
// mirrored in "tickerMiniModeTransient" before the window is placed again.
// A secondary click anywhere on either strip opens the strip's menu.
class TickerView : public QWidget {
    Q_OBJECT
public:
    // Settings keys and defaults.
    static inline const QString scrollSpeedKey = Settings::scrollSpeed.key.toString();
    static inline const QString opacityKey = Settings::tickerOpacity.key.toString();
    static inline const QString sizeKey = Settings::tickerSize.key.toString();
    static inline const QString positionKey = Settings::tickerPosition.key.toString();
    static inline const QString alwaysOnTopKey = Settings::alwaysOnTop.key.toString();
    static inline const QString feedMixKey = Settings::feedMix.key.toString();
    static inline const QString tuneToMusicKey = Settings::nowPlayingEnabled.key.toString();
    static inline const QString blendKey = Settings::musicBlendWithFeeds.key.toString();
    static inline const QString themeKey = Settings::themeBackground.key.toString();
    static inline const QString listenKey = Settings::roomListenEnabled.key.toString();
    static inline const QString secondTickerKey = Settings::secondTickerEnabled.key.toString();
    static inline const QString stripsKey = Settings::stackedStripsJSON.key.toString();
    static inline const QString miniModeTransientKey = Settings::tickerMiniModeTransient.key.toString();
    static constexpr int scrollerFadeWidth = 40;

    struct Services {
        Defaults& defaults;
        FilterStore& filters;
        StripServices& strip;
        MarketsStore& markets;
        Scheduler& scheduler;
        MarqueeClock& clock;
        TickerRowContext rows;  // also the link opener of the orb's keywords
        QRandomGenerator* random;  // nullptr: the system's generator
    };

    // On the shared stores, the standard settings and the installed services.
    explicit TickerView(FeedStore& store, QWidget* parent = nullptr);
    TickerView(FeedStore& store, Services services, QWidget* parent = nullptr);
    ~TickerView() override;

    FeedStore& store() const { return m_store; }
    Defaults& defaults() const { return m_services.defaults; }
    StripServices& stripServices() const { return m_services.strip; }

    // Current settings.
    int tickerSize() const;
    double tickerOpacity() const;
    QString themeBackground() const;
    bool secondTickerEnabled() const;
    bool tuneToMusic() const;

    bool isMiniMode() const { return m_miniMode; }
    // Writes the mirror, then places the window again.
    void setMiniMode(bool mini);
    // While in mini mode only the brand block's panel takes the pointer.
    std::optional<QRect> miniModeInputRegion() const;
    // Leaves the topic focus (the focus chip's close button).
    void exitFocus();

    // The whole height: the main strip, plus the stacked strips while the
    // second strip is on and mini mode is off.
    int totalHeight() const;
    // Opacity of the main strip's background colour (0 in mini mode).
    double backgroundOpacity() const;
    // The main strip's background: the theme colour at that opacity.
    QColor backgroundColor() const;
    // The strip's menu as it would open now (the caller shows or walks it).
    std::unique_ptr<QMenu> contextMenu();

    TickerAnimationLayer* scrollerLayer() const { return m_layer; }
    FixedBrandBlock* brandBlock() const { return m_brand; }
    StripChipsRow* chipsRow() const { return m_chips; }
    // The second strip, or null while it is not shown.
    ExtraStripLayer* extraStrip() const;
    // Opacity the scroller layer is drawn at: 1 online, 0.8 offline.
    double scrollerOpacity() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void settingChanged(const QString& key);
    void rebuildBrandBlock();
    void updateExtraStrip();
    void updateScrollerOpacity();
    void updateScrollerBackground();
    void relayout();
    void updateInputRegion();

    FeedStore& m_store;
    Services m_services;
    bool m_miniMode = false;
    bool m_listenersStarted = false;
    TickerAnimationLayer* m_layer;
    PaintedOverlay* m_scrollerFade;
    FixedBrandBlock* m_brand = nullptr;
    StripChipsRow* m_chips;
    QPointer<ExtraStripLayer> m_extra;
    std::optional<QRect> m_inputRegion;  // as last handed to the services
};
