#include "ticker/ExtraStripLayer.h"

#include "api/Palette.h"
#include "markets/MarketsStore.h"
#include "store/FeedStore.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/PaintedOverlay.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHideEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QShowEvent>

namespace {

const QString kShuffle = QStringLiteral("shuffle");
const QString kMusic = QStringLiteral("music");
const QLatin1String kCategoryPrefix("cat:");
constexpr double kFadeWidth = 40;

QSet<QString> idSet(const QList<FeedItem>& items)
{
    QSet<QString> ids;
    ids.reserve(items.size());
    for (const FeedItem& item : items)
        ids.insert(item.stableId);
    return ids;
}

// The item's category slug lower-cased; empty without one.
QString categorySlug(const FeedItem& item)
{
    if (!item.source || !item.source->category || !item.source->category->slug)
        return {};
    return item.source->category->slug->toLower();
}

QFont captionFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    font.setWeight(QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    return font;
}

} // namespace

ExtraStripLayer::ExtraStripLayer(FeedStore& store, StripConfig config, bool reversed, Services services,
                                 QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_markets(services.markets)
    , m_random(services.random ? services.random : QRandomGenerator::system())
    , m_config(std::move(config))
    , m_reversed(reversed)
    , m_marquee(new MarqueeTickerView(services.rows, services.clock, this))
    , m_fade(new PaintedOverlay(
          [this](QPainter& p, const QRect& r) {
              paintEdgeFade(p, r, themeBackgroundColor(m_config.background), m_reversed);
          },
          this))
    , m_hairline(new PaintedOverlay(
          [](QPainter& p, const QRect& r) {
              QColor line(Qt::white);
              line.setAlphaF(0.12f);
              p.fillRect(r, line);
          },
          this))
    , m_captionLabel(new PaintedOverlay(
          [this](QPainter& p, const QRect& r) {
              QColor text(Qt::white);
              text.setAlphaF(0.45f);
              p.setPen(text);
              p.setFont(captionFont());
              p.drawText(r, Qt::AlignLeft | Qt::AlignTop, m_captionText);
          },
          this))
    , m_itemIds(idSet(store.items()))
{
    connectInputs();
    updateLook();
}

ExtraStripLayer::~ExtraStripLayer()
{
    // Leaving the screen for good: give the market strip back.
    m_onScreen = false;
    updateMarketCount();
}

QList<FeedItem> ExtraStripLayer::items(const QString& mix, const FeedStore& store, QRandomGenerator& random)
{
    if (mix == kShuffle) {
        QList<FeedItem> list = store.items();
        for (qsizetype i = list.size() - 1; i > 0; --i)
            list.swapItemsAt(i, qsizetype(random.bounded(quint64(i) + 1)));
        return list;
    }
    if (mix == kMusic)
        return store.nowPlayingItems().isEmpty() ? store.items() : store.nowPlayingItems();
    if (mix.startsWith(kCategoryPrefix)) {
        const QString slug = mix.mid(kCategoryPrefix.size());
        QList<FeedItem> matching;
        for (const FeedItem& item : store.items()) {
            if (categorySlug(item) == slug)
                matching.append(item);
        }
        return matching.isEmpty() ? store.items() : matching;
    }
    return store.items();
}

QString ExtraStripLayer::caption(const QString& mix, const FeedStore& store, const MarketsStore& markets)
{
    if (mix == marketsMix) {
        QString text = QStringLiteral("MARKET QUOTES · Powered by CoinGecko · ECB");
        const auto kind = markets.keyStatus().kind;
        if (markets.hasFinnhubKey() && kind != MarketsStore::KeyStatus::Kind::Ok) {
            text += QStringLiteral(" · KEY ");
            text += kind == MarketsStore::KeyStatus::Kind::Rejected ? QStringLiteral("REJECTED")
                                                                     : QStringLiteral("CHECKING");
        }
        return text;
    }
    if (mix == kShuffle)
        return QStringLiteral("SHUFFLE");
    if (mix == kMusic)
        return store.nowPlayingItems().isEmpty() ? QStringLiteral("MUSIC · IDLE") : QStringLiteral("MUSIC");
    if (mix.startsWith(kCategoryPrefix)) {
        const QString slug = mix.mid(kCategoryPrefix.size());
        for (const FeedItem& item : store.items()) {
            if (categorySlug(item) != slug)
                continue;
            // An item without a category matches the empty slug: no name.
            const bool named = item.source && item.source->category && item.source->category->name;
            return named ? item.source->category->name->toUpper() : slug.toUpper();
        }
        return slug.toUpper();
    }
    return QStringLiteral("LATEST");
}

QString ExtraStripLayer::caption() const
{
    return caption(m_config.mix, m_store, m_markets);
}

void ExtraStripLayer::connectInputs()
{
    connect(&m_store, &FeedStore::itemsChanged, this, [this] {
        QSet<QString> ids = idSet(m_store.items());
        const bool same = ids == m_itemIds;
        m_itemIds = std::move(ids);
        if (!same || m_displayItems.isEmpty())
            rebuild();
        else
            updateCaption();  // a category's name may have changed
    });
    connect(&m_store, &FeedStore::nowPlayingChanged, this, [this] { rebuild(); });
    connect(&m_store, &FeedStore::nowPlayingItemsChanged, this, [this] {
        if (m_config.mix == kMusic)
            rebuild();
        updateCaption();
    });
    connect(&m_markets, &MarketsStore::stripQuotesChanged, this, [this] {
        if (m_config.mix == marketsMix)
            pushToScroller();
    });
    connect(&m_markets, &MarketsStore::keyStatusChanged, this, [this] { updateCaption(); });
    connect(&m_markets, &MarketsStore::hasFinnhubKeyChanged, this, [this] { updateCaption(); });
}

void ExtraStripLayer::setConfig(const StripConfig& config)
{
    if (config == m_config)
        return;
    const bool mixChanged = config.mix != m_config.mix;
    m_config = config;
    updateMarketCount();
    updateLook();
    if (mixChanged)
        rebuild();
    else
        pushToScroller();
    update();
}

void ExtraStripLayer::rebuild()
{
    m_displayItems = items(m_config.mix, m_store, *m_random);
    ++m_rebuildCount;
    pushToScroller();
    updateCaption();
}

void ExtraStripLayer::pushToScroller()
{
    if (m_config.mix == marketsMix)
        m_marquee->updateContent({}, m_markets.stripQuotes(), m_config.size, m_reversed, m_config.speed);
    else
        m_marquee->updateContent(m_displayItems, std::nullopt, m_config.size, m_reversed, m_config.speed);
}

void ExtraStripLayer::updateMarketCount()
{
    const bool want = m_onScreen && m_config.mix == marketsMix;
    if (want == m_counted)
        return;
    m_counted = want;
    if (want)
        m_markets.stripAppeared();
    else
        m_markets.stripDisappeared();
}

void ExtraStripLayer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_onScreen = true;
    updateMarketCount();
    if (m_displayItems.isEmpty())
        rebuild();
}

void ExtraStripLayer::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    m_onScreen = false;
    updateMarketCount();
}

void ExtraStripLayer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), themeBackgroundColor(m_config.background));
}

void ExtraStripLayer::updateLook()
{
    // An opaque background lets the scroller move its painted row.
    m_marquee->setBackground(themeBackgroundColor(m_config.background));
    m_fade->update();
    placeOverlays();
    updateCaption();
}

void ExtraStripLayer::updateCaption()
{
    const QString text = caption();
    if (text == m_captionText)
        return;
    m_captionText = text;
    const QFontMetrics metrics(captionFont());
    const QSize size(metrics.horizontalAdvance(m_captionText) + 2, metrics.height());
    m_captionLabel->setGeometry(QRect(QPoint(14, 4), size));
    m_captionLabel->update();
}

void ExtraStripLayer::placeOverlays()
{
    const int fade = int(kFadeWidth);
    m_fade->setGeometry(m_reversed ? width() - fade : 0, 0, fade, height());
    m_hairline->setGeometry(0, 0, width(), 1);
    m_fade->raise();
    m_hairline->raise();
    m_captionLabel->raise();
}

void ExtraStripLayer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_marquee->setGeometry(rect());
    placeOverlays();
}
