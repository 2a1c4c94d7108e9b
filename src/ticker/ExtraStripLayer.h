#pragma once

#include "api/ItemModels.h"
#include "ticker/StripConfig.h"
#include "ticker/TickerRow.h"

#include <QSet>
#include <QWidget>

class FeedStore;
class MarketsStore;
class MarqueeClock;
class MarqueeTickerView;
class PaintedOverlay;
class QRandomGenerator;

// A strip stacked under the main one, drawn from its own configuration: the
// store's curated items picked by the mix (or the market quotes), on its own
// background, with an edge fade and a small caption naming the mix.
//
// The headline list is picked again only when the strip comes on screen
// empty, when the set of curated ids changes, when the playing track changes,
// when the lane's items change under the "music" mix, or when the mix
// changes; so a shuffled strip keeps its order in between. While the strip
// is on screen with the "markets" mix it counts as one visible market strip.
class ExtraStripLayer : public QWidget {
    Q_OBJECT
public:
    static inline const QString marketsMix = QStringLiteral("markets");

    struct Services {
        MarketsStore& markets;
        TickerRowContext rows;
        MarqueeClock& clock;
        QRandomGenerator* random;  // nullptr: the system's generator
    };

    ExtraStripLayer(FeedStore& store, StripConfig config, bool reversed, Services services,
                    QWidget* parent = nullptr);
    ~ExtraStripLayer() override;

    // The headlines a mix shows: "shuffle" the curated items shuffled, "music"
    // the lane's items (the curated ones while the lane is empty), "cat:slug"
    // the curated items of that category (all of them when none matches),
    // anything else the curated items in order.
    static QList<FeedItem> items(const QString& mix, const FeedStore& store, QRandomGenerator& random);
    static QString caption(const QString& mix, const FeedStore& store, const MarketsStore& markets);

    const StripConfig& config() const { return m_config; }
    void setConfig(const StripConfig& config);
    bool isReversed() const { return m_reversed; }
    QString caption() const;
    // The caption as last drawn.
    const QString& shownCaption() const { return m_captionText; }
    const QList<FeedItem>& displayItems() const { return m_displayItems; }
    int rebuildCount() const { return m_rebuildCount; }
    // True while this strip holds one of the market store's visible strips.
    bool countsAsMarketStrip() const { return m_counted; }
    MarqueeTickerView* marquee() const { return m_marquee; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectInputs();
    void rebuild();
    void pushToScroller();
    void updateMarketCount();
    // The scroller's background, the fade and the caption follow the
    // configuration and the caption text.
    void updateLook();
    void updateCaption();
    void placeOverlays();

    FeedStore& m_store;
    MarketsStore& m_markets;
    QRandomGenerator* m_random;
    StripConfig m_config;
    bool m_reversed;
    MarqueeTickerView* m_marquee;
    // Each overlay covers only what it paints, so the scroller moves the
    // rest of its painted row from frame to frame.
    PaintedOverlay* m_fade;
    PaintedOverlay* m_hairline;
    PaintedOverlay* m_captionLabel;
    QString m_captionText;
    QList<FeedItem> m_displayItems;
    QSet<QString> m_itemIds;
    int m_rebuildCount = 0;
    bool m_onScreen = false;
    bool m_counted = false;
};
