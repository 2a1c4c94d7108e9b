#pragma once

#include "api/ItemModels.h"
#include "api/OrbModels.h"
#include "platform/storage/SettingsCatalogue.h"
#include "ticker/TickerRow.h"

#include <QSet>
#include <QWidget>
#include <functional>
#include <optional>

class Defaults;
class FeedStore;
class FilterStore;
class MarqueeClock;
class MarqueeTickerView;
class QRandomGenerator;

// Decides which headlines the main strip scrolls and in which order: the
// store's ticker list narrowed to the focused topic, muted items dropped,
// shuffled unless the mix is "latest", followed items in front. The list is
// composed again only when one of its inputs changes, so the order stays put
// between changes; a refresh that brings back the same ids changes nothing.
class TickerAnimationLayer : public QWidget {
    Q_OBJECT
public:
    static inline const QString feedMixKey = Settings::feedMix.key.toString();
    static inline const QString feedMixDefault = Settings::feedMix.fallback.toString();
    static inline const QString latestMix = QStringLiteral("latest");

    struct Services {
        Defaults& defaults;
        FilterStore& filters;
        TickerRowContext rows;
        MarqueeClock& clock;
        QRandomGenerator* random;  // nullptr: the system's generator
    };

    // The shared filter store, the standard settings and rows.
    TickerAnimationLayer(FeedStore& store, int tickerSize, double scrollSpeed, QWidget* parent = nullptr);
    TickerAnimationLayer(FeedStore& store, int tickerSize, double scrollSpeed, Services services,
                         QWidget* parent = nullptr);

    // The composition. `muted` and `followed` are lower-cased phrases.
    static QList<FeedItem> filteredAndMixed(const QList<FeedItem>& items, const std::optional<Orb>& focused,
                                            const QStringList& muted, const QStringList& followed,
                                            const QString& feedMix, QRandomGenerator& random);

    void setTickerSize(int size);
    void setScrollSpeed(double speed);
    int tickerSize() const { return m_tickerSize; }
    double scrollSpeed() const { return m_scrollSpeed; }

    const QList<FeedItem>& displayItems() const { return m_displayItems; }
    int rebuildCount() const { return m_rebuildCount; }
    MarqueeTickerView* marquee() const { return m_marquee; }

    // Composes the list afresh after a change of the playing track, with a
    // log line naming the track.
    void rebuild();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectInputs();
    void recompose();
    void itemsMayHaveChanged(QSet<QString>& lastIds, const QList<FeedItem>& now);
    void pushToScroller();
    QString feedMix() const;

    FeedStore& m_store;
    Defaults& m_defaults;
    FilterStore& m_filters;
    QRandomGenerator* m_random;
    MarqueeTickerView* m_marquee;
    int m_tickerSize;
    double m_scrollSpeed;
    QList<FeedItem> m_displayItems;
    QSet<QString> m_itemIds;
    QSet<QString> m_personalIds;
    int m_rebuildCount = 0;
};
