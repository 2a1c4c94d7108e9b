#include "ticker/TickerView.h"

#include "api/Palette.h"
#include "markets/MarketsStore.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "ticker/ExtraStripLayer.h"
#include "ticker/FixedBrandBlock.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeTickerView.h"
#include "ticker/PaintedOverlay.h"
#include "ticker/PopupMenu.h"
#include "ticker/StripChipsRow.h"
#include "ticker/StripConfig.h"
#include "ticker/StripContextMenu.h"
#include "ticker/StripMetrics.h"
#include "ticker/StripServices.h"
#include "ticker/TickerAnimationLayer.h"

#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QPainter>
#include <QShowEvent>

namespace {

constexpr int kChipsTop = 4;
constexpr int kChipsTrailing = 14;

bool isPlacementKey(const QString& key)
{
    return key == TickerView::positionKey || key == TickerView::sizeKey || key == TickerView::alwaysOnTopKey
        || key == TickerView::secondTickerKey || key == TickerView::stripsKey;
}

// Everything the stacked strip's configuration is read from, the older
// single-strip settings it falls back on included.
bool isStackedStripKey(const QString& key)
{
    return key == TickerView::secondTickerKey || key == TickerView::stripsKey || key == TickerView::sizeKey
        || key == TickerView::scrollSpeedKey || key == TickerView::themeKey || key == StripConfig::legacyMixesKey;
}

} // namespace

TickerView::TickerView(FeedStore& store, QWidget* parent)
    : TickerView(store,
                 Services{Defaults::standard(), FilterStore::shared(), StripServices::installed(),
                          MarketsStore::shared(), Scheduler::system(), MarqueeClock::steady(),
                          TickerRowContext::standard(), nullptr},
                 parent)
{
}

TickerView::TickerView(FeedStore& store, Services services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_services(services)
    , m_layer(new TickerAnimationLayer(
          store, tickerSize(), Settings::scrollSpeed.read(m_services.defaults),
          TickerAnimationLayer::Services{m_services.defaults, m_services.filters, m_services.rows, m_services.clock,
                                         m_services.random},
          this))
    , m_scrollerFade(new PaintedOverlay(
          [this](QPainter& p, const QRect& r) { paintEdgeFade(p, r, themeBackgroundColor(themeBackground())); },
          this))
    , m_chips(new StripChipsRow(store, m_services.defaults, [this] { exitFocus(); }, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto* effect = new QGraphicsOpacityEffect(m_layer);
    m_layer->setGraphicsEffect(effect);
    updateScrollerOpacity();
    updateScrollerBackground();
    rebuildBrandBlock();

    connect(&m_services.defaults, &Defaults::changed, this, [this](const QString& key) { settingChanged(key); });
    connect(&m_store, &FeedStore::isOnlineChanged, this, [this] { updateScrollerOpacity(); });
    connect(m_chips, &StripChipsRow::contentChanged, this, [this] { relayout(); });
    updateExtraStrip();
    relayout();
}

TickerView::~TickerView() = default;

ExtraStripLayer* TickerView::extraStrip() const
{
    return m_extra.data();
}

int TickerView::tickerSize() const
{
    const qint64 size = Settings::tickerSize.read(m_services.defaults);
    return size < INT_MIN || size > INT_MAX ? StripMetrics::standard : int(size);
}

double TickerView::tickerOpacity() const
{
    return Settings::tickerOpacity.read(m_services.defaults);
}

QString TickerView::themeBackground() const
{
    return Settings::themeBackground.read(m_services.defaults);
}

bool TickerView::secondTickerEnabled() const
{
    return Settings::secondTickerEnabled.read(m_services.defaults);
}

bool TickerView::tuneToMusic() const
{
    return Settings::nowPlayingEnabled.read(m_services.defaults);
}

double TickerView::backgroundOpacity() const
{
    return m_miniMode ? 0.0 : std::clamp(tickerOpacity(), 0.0, 1.0);
}

QColor TickerView::backgroundColor() const
{
    QColor color = themeBackgroundColor(themeBackground());
    color.setAlphaF(float(backgroundOpacity()));
    return color;
}

double TickerView::scrollerOpacity() const
{
    return m_store.isOnline() ? 1.0 : 0.8;
}

int TickerView::totalHeight() const
{
    int height = StripMetrics::stripHeight(tickerSize());
    if (secondTickerEnabled() && !m_miniMode)
        height += StripConfig::totalHeight(m_services.defaults);
    return height;
}

void TickerView::setMiniMode(bool mini)
{
    if (mini == m_miniMode)
        return;
    m_miniMode = mini;
    m_brand->setMiniMode(mini);
    updateScrollerBackground();
    updateExtraStrip();
    relayout();
    update();
    // The window controller reads the mirror: write it first.
    m_services.defaults.set(miniModeTransientKey, mini);
    m_services.strip.reposition();
    updateInputRegion();
}

std::optional<QRect> TickerView::miniModeInputRegion() const
{
    if (!m_miniMode || !m_brand)
        return std::nullopt;
    return QRect(0, 0, m_brand->panelWidth(), StripMetrics::stripHeight(tickerSize()));
}

void TickerView::updateInputRegion()
{
    const std::optional<QRect> region = miniModeInputRegion();
    if (region == m_inputRegion)
        return;
    m_inputRegion = region;
    m_services.strip.setInputRegion(region);
}

void TickerView::exitFocus()
{
    m_store.setFocusedTopicID(std::nullopt);
    m_store.setFocusedItems({});
}

void TickerView::settingChanged(const QString& key)
{
    if (key == sizeKey) {
        m_layer->setTickerSize(tickerSize());
        m_brand->setSize(tickerSize());
    } else if (key == scrollSpeedKey) {
        m_layer->setScrollSpeed(Settings::scrollSpeed.read(m_services.defaults));
    } else if (key == themeKey || key == opacityKey) {
        updateScrollerBackground();
        update();
        m_scrollerFade->update();
    }
    if (isStackedStripKey(key))
        updateExtraStrip();
    if (key == sizeKey || key == secondTickerKey || key == stripsKey)
        relayout();
    if (isPlacementKey(key))
        m_services.strip.reposition();
}

void TickerView::rebuildBrandBlock()
{
    if (m_brand) {
        m_brand->hide();
        m_brand->deleteLater();
    }
    m_brand = new FixedBrandBlock(
        m_store, tickerSize(), m_miniMode, [this] { setMiniMode(!m_miniMode); },
        FixedBrandBlock::Services{m_services.defaults, m_services.filters, *m_services.rows.opener,
                                  m_services.scheduler, m_services.strip},
        this);
    m_brand->show();
    relayout();
}

void TickerView::updateExtraStrip()
{
    const bool wanted = secondTickerEnabled() && !m_miniMode;
    if (!wanted) {
        delete m_extra.data();
        return;
    }
    // Exactly one stacked strip: the loader falls back to the older settings.
    const StripConfig config = StripConfig::load(m_services.defaults).first();
    if (m_extra) {
        m_extra->setConfig(config);
        return;
    }
    // Position 0 is even: the stacked strip runs the other way.
    m_extra = new ExtraStripLayer(
        m_store, config, true,
        ExtraStripLayer::Services{m_services.markets, m_services.rows, m_services.clock, m_services.random}, this);
    if (isVisible())
        m_extra->show();
}

void TickerView::updateScrollerBackground()
{
    // The row paints the strip's own background under itself, so that an
    // opaque strip can move its painted row instead of painting it again.
    m_layer->marquee()->setBackground(backgroundColor());
}

void TickerView::updateScrollerOpacity()
{
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_layer->graphicsEffect())) {
        effect->setOpacity(scrollerOpacity());
        // Off while online: the moving row then paints straight to the window.
        effect->setEnabled(scrollerOpacity() < 1.0);
    }
}

void TickerView::relayout()
{
    if (!m_brand)
        return;
    const int size = tickerSize();
    const int main = StripMetrics::stripHeight(size);
    setFixedHeight(totalHeight());

    const int inset = StripMetrics::scrollerLeadingInset(size);
    m_layer->setGeometry(inset, 0, std::max(0, width() - inset), main);
    m_scrollerFade->setGeometry(inset, 0, scrollerFadeWidth, main);
    m_layer->setVisible(!m_miniMode);
    m_scrollerFade->setVisible(!m_miniMode);

    m_brand->setGeometry(0, 0, m_brand->sizeHint().width(), main);
    m_brand->raise();

    m_chips->adjustSize();
    const QSize chips = m_chips->sizeHint();
    m_chips->setGeometry(width() - kChipsTrailing - chips.width(), kChipsTop, chips.width(), chips.height());
    m_chips->setVisible(!m_miniMode);
    m_chips->raise();

    if (m_extra) {
        const int extraHeight = StripMetrics::stripHeight(m_extra->config().size);
        m_extra->setGeometry(0, main, width(), extraHeight);
    }
    if (m_miniMode && m_inputRegion)
        updateInputRegion();  // the brand block may have grown or shrunk
}

std::unique_ptr<QMenu> TickerView::contextMenu()
{
    return StripContextMenu::build(*this);
}

// A row passes on a secondary click that no cell menu takes (between
// cells, a quote, a headline without a link), so it arrives here from either
// strip.
void TickerView::contextMenuEvent(QContextMenuEvent* event)
{
    // The strip may be replaced while its menu shows; the menu goes with it.
    PopupMenu::show(contextMenu(), event->globalPos());
}

void TickerView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor background = backgroundColor();
    const int main = StripMetrics::stripHeight(tickerSize());
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRect(0, 0, width(), main), background);
}

bool TickerView::event(QEvent* event)
{
    // A child's ideal size changed (the brand block grew with the orb's text).
    if (event->type() == QEvent::LayoutRequest)
        relayout();
    return QWidget::event(event);
}

void TickerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void TickerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // The mirror starts false with the view; on a later appearance it keeps
    // telling the truth when the strip was left in mini mode.
    m_services.defaults.set(miniModeTransientKey, m_miniMode);
    if (m_listenersStarted)
        return;
    m_listenersStarted = true;
    m_services.strip.startNowPlaying(m_store);
    m_services.strip.startRoomListener(m_store);
}
