#include "ticker/FixedBrandBlock.h"

#include "api/Palette.h"
#include "platform/storage/Defaults.h"
#include "store/FeedStore.h"
#include "ticker/PaintedOverlay.h"
#include "ticker/SignalRotationOrb.h"
#include "ticker/StripMetrics.h"
#include "ticker/StripMusicViews.h"
#include "ticker/StripServices.h"
#include "ticker/StripSymbols.h"
#include "ticker/TickerSymbols.h"
#include "ticker/WeatherSegment.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace {

constexpr int kMiniGlyph = 9;
constexpr int kMiniPadding = 6;
constexpr int kMiniTrailing = 4;

int settingsGlyph(int size)
{
    return size == 1 ? 12 : size == 4 ? 20 : 16;
}

QIcon symbolIcon(const QString& name, int side)
{
    StripSymbols::ensureLoaded();
    QIcon icon;
    for (qreal dpr : {1.0, 2.0})
        icon.addPixmap(TickerSymbols::pixmap(name, side, Palette::lightText(), dpr));
    return icon;
}

QToolButton* plainButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setCursor(Qt::ArrowCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; padding: 0; }"));
    return button;
}

} // namespace

FixedBrandBlock::FixedBrandBlock(FeedStore& store, int size, bool miniMode, std::function<void()> toggleMiniMode,
                                 Services services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_size(size)
    , m_miniMode(miniMode)
    , m_toggleMiniMode(std::move(toggleMiniMode))
    , m_services(services)
    , m_panel(new PaintedOverlay([this](QPainter& p, const QRect& r) { p.fillRect(r, themeColor()); }, this))
    , m_row(new QHBoxLayout(m_panel))
    , m_settings(plainButton(m_panel))
    , m_weather(new WeatherSegment(store, size, services.defaults, m_panel))
    , m_miniButton(plainButton(m_panel))
{
    // The panel takes the pointer (the overlay class lets it pass by default).
    m_panel->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    // The theme colour covers every pixel of the panel: what lies beneath it
    // (the start of the moving row) is never repainted on its account.
    m_panel->setAttribute(Qt::WA_OpaquePaintEvent);
    m_row->setContentsMargins(10, 0, 15, 0);
    m_row->setSpacing(8);

    updateSettingsButton();
    m_settings->setToolTip(QStringLiteral("Settings"));
    m_settings->setAccessibleName(QStringLiteral("Open settings"));
    connect(m_settings, &QToolButton::clicked, this, [this] { m_services.strip.showSettings(m_store, std::nullopt); });

    m_row->addWidget(m_settings, 0, Qt::AlignVCenter);
    m_row->addWidget(m_weather, 0, Qt::AlignVCenter);
    // A longer city or reading widens the panel, as a new orb does.
    connect(m_weather, &WeatherSegment::contentChanged, this, [this] { panelChanged(); });
    m_row->addSpacing(4);

    m_miniButton->setIconSize(QSize(kMiniGlyph, kMiniGlyph));
    m_miniButton->setFixedSize(kMiniGlyph + 2 * kMiniPadding, kMiniGlyph + 2 * kMiniPadding);
    connect(m_miniButton, &QToolButton::clicked, this, [this] {
        if (m_toggleMiniMode)
            m_toggleMiniMode();
    });
    updateMiniButton();

    connect(&m_store, &FeedStore::nowPlayingChanged, this, [this] { updateTopicSlot(); });
    connect(&m_store, &FeedStore::focusedTopicIDChanged, this, [this] { updateTopicSlot(); });
    connect(&m_store, &FeedStore::orbsChanged, this, [this] { updateTopicSlot(); });
    connect(&m_services.defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == themeKey) {
            update();
            m_panel->update();
        }
    });
    updateTopicSlot();
}

QColor FixedBrandBlock::themeColor() const
{
    return themeBackgroundColor(m_services.defaults.stringValue(themeKey, themeDefault));
}

bool FixedBrandBlock::showsArtBlock() const
{
    return !m_store.focusedOrb() && m_store.nowPlaying().has_value();
}

SignalRotationOrb* FixedBrandBlock::orb() const
{
    return m_slotIsArt ? nullptr : qobject_cast<SignalRotationOrb*>(m_topicSlot.data());
}

QWidget* FixedBrandBlock::artBlock() const
{
    return m_slotIsArt ? m_topicSlot.data() : nullptr;
}

void FixedBrandBlock::updateTopicSlot()
{
    const bool art = showsArtBlock();
    if (m_topicSlot && art == m_slotIsArt)
        return;
    // A returning orb starts afresh: a new one replaces whatever stood here.
    // The old one may be inside its own click handler: it goes afterwards.
    if (m_topicSlot) {
        m_topicSlot->hide();
        m_row->removeWidget(m_topicSlot);
        m_topicSlot->deleteLater();
    }
    m_slotIsArt = art;
    if (art) {
        m_topicSlot = StripMusicViews::makeArtBlock(m_store, m_size, m_panel);
    } else {
        m_topicSlot = new SignalRotationOrb(
            m_store, m_size,
            SignalRotationOrb::Services{m_services.filters, m_services.opener, m_services.scheduler}, m_panel);
    }
    if (auto* orb = qobject_cast<SignalRotationOrb*>(m_topicSlot.data())) {
        connect(orb, &SignalRotationOrb::contentChanged, this, [this] { panelChanged(); });
    }
    m_row->addWidget(m_topicSlot, 0, Qt::AlignVCenter);
    m_topicSlot->show();
    panelChanged();
}

void FixedBrandBlock::panelChanged()
{
    m_row->invalidate();
    m_row->activate();
    resize(sizeHint().width(), height());
    placeMiniButton();
    updateGeometry();  // the strip places the block again
}

void FixedBrandBlock::updateSettingsButton()
{
    const int glyph = settingsGlyph(m_size);
    m_settings->setIcon(symbolIcon(StripSymbols::gear, glyph));
    m_settings->setIconSize(QSize(glyph, glyph));
}

void FixedBrandBlock::setSize(int size)
{
    if (size == m_size)
        return;
    m_size = size;
    updateSettingsButton();
    m_weather->setSize(size);
    if (SignalRotationOrb* o = orb()) {
        o->setSize(size);
    } else if (m_topicSlot) {
        // The art block has no state worth keeping: build it at the new size.
        m_topicSlot->hide();
        m_row->removeWidget(m_topicSlot);
        m_topicSlot->deleteLater();
        m_topicSlot = nullptr;
        updateTopicSlot();
    }
    panelChanged();
}

void FixedBrandBlock::setMiniMode(bool mini)
{
    if (mini == m_miniMode)
        return;
    m_miniMode = mini;
    updateMiniButton();
}

void FixedBrandBlock::updateMiniButton()
{
    m_miniButton->setIcon(symbolIcon(m_miniMode ? StripSymbols::chevronRight : StripSymbols::chevronLeft, kMiniGlyph));
    const QString help = m_miniMode ? QStringLiteral("Show the ticker") : QStringLiteral("Collapse to mini mode");
    m_miniButton->setToolTip(help);
    m_miniButton->setAccessibleName(help);
}

int FixedBrandBlock::panelWidth() const
{
    return m_row->sizeHint().width();
}

QSize FixedBrandBlock::sizeHint() const
{
    return {panelWidth() + fadeWidth, StripMetrics::stripHeight(m_size)};
}

void FixedBrandBlock::placeMiniButton()
{
    m_panel->setGeometry(0, 0, panelWidth(), height());
    m_miniButton->move(m_panel->width() - kMiniTrailing - m_miniButton->width(), 0);
    m_miniButton->raise();
}

void FixedBrandBlock::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeMiniButton();
}

void FixedBrandBlock::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int panel = panelWidth();
    paintEdgeFade(p, QRectF(panel, 0, fadeWidth, height()), themeColor());
}
