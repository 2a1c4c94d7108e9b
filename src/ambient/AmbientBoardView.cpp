#include "ambient/AmbientBoardView.h"

#include "ambient/BoardCard.h"
#include "api/Palette.h"
#include "platform/storage/Defaults.h"
#include "platform/storage/SettingsCatalogue.h"
#include "store/FeedStore.h"
#include "store/FilterStore.h"
#include "ticker/StripServices.h"
#include "ticker/StripSymbols.h"
#include "ticker/TickerSymbols.h"

#include <QGridLayout>
#include <QPainter>
#include <QResizeEvent>
#include <QToolButton>

namespace {

constexpr int kGearSide = 22;
constexpr int kGearInset = 14;

} // namespace

AmbientBoardView::AmbientBoardView(FeedStore& store, TickerRowContext context, FilterStore& filters, QWidget* parent)
    : QWidget(parent),
      m_store(&store),
      m_context(context),
      m_filters(filters),
      m_grid(new QGridLayout(this)),
      m_settings(new QToolButton(this))
{
    StripSymbols::ensureLoaded();
    QIcon gear;
    for (qreal dpr : {1.0, 2.0})
        gear.addPixmap(TickerSymbols::pixmap(StripSymbols::gear, kGearSide, Palette::lightText(), dpr));
    m_settings->setIcon(gear);
    m_settings->setIconSize(QSize(kGearSide, kGearSide));
    m_settings->setAutoRaise(true);
    m_settings->setFocusPolicy(Qt::NoFocus);
    m_settings->setToolTip(QStringLiteral("Settings"));
    m_settings->setAccessibleName(QStringLiteral("Open settings"));
    connect(m_settings, &QToolButton::clicked, this, [this] {
        if (m_store)
            StripServices::installed().showSettings(*m_store, std::nullopt);
    });
    m_grid->setContentsMargins(margin, margin, margin, margin);
    m_grid->setSpacing(spacing);
    connect(&store, &FeedStore::tickerItemsChanged, this, &AmbientBoardView::rebuild);
    connect(&filters, &FilterStore::mutedChanged, this, &AmbientBoardView::rebuild);
    m_gridSize = gridFor(size());
    rebuild();
}

QSize AmbientBoardView::gridFor(const QSize& size)
{
    const int columns = (size.width() - 2 * margin + spacing) / (cardWidth + spacing);
    const int rows = (size.height() - 2 * margin + spacing) / (cardHeight + spacing);
    return {std::max(columns, 1), std::max(rows, 1)};
}

QList<BoardCard*> AmbientBoardView::cards() const
{
    return findChildren<BoardCard*>(Qt::FindDirectChildrenOnly);
}

void AmbientBoardView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_settings->adjustSize();
    m_settings->move(width() - m_settings->width() - kGearInset, kGearInset);
    m_settings->raise();
    const QSize grid = gridFor(event->size());
    if (grid == m_gridSize)
        return;
    m_gridSize = grid;
    rebuild();
}

void AmbientBoardView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QString theme = m_context.defaults ? Settings::themeBackground.read(*m_context.defaults)
                                             : Settings::themeBackground.fallback.toString();
    painter.fillRect(rect(), themeBackgroundColor(theme));
}

void AmbientBoardView::rebuild()
{
    QList<FeedItem> shown;
    if (m_store) {
        const QStringList muted = m_filters.mutedLowercased();
        const int capacity = m_gridSize.width() * m_gridSize.height();
        for (const auto& item : m_store->tickerItems()) {
            if (shown.size() == capacity)
                break;
            if (muted.isEmpty() || !item.matchesAny(muted))
                shown.append(item);
        }
    }
    const bool sameCards = shown.size() == m_shown.size() &&
                           std::equal(shown.begin(), shown.end(), m_shown.begin(), [](const auto& a, const auto& b) {
                               return a.stableId == b.stableId && a.title == b.title && a.imageUrl == b.imageUrl &&
                                      a.publishedAt == b.publishedAt;
                           });
    if (sameCards && !cards().isEmpty() == !shown.isEmpty())
        return;
    m_shown = shown;
    for (BoardCard* card : cards())
        delete card;
    const int columns = m_gridSize.width();
    for (int i = 0; i < m_shown.size(); ++i)
        m_grid->addWidget(new BoardCard(m_shown[i], m_context, this), i / columns, i % columns);
    for (int c = 0; c < columns; ++c)
        m_grid->setColumnStretch(c, 1);
}
