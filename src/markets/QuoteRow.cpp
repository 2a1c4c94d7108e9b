#include "markets/QuoteRow.h"

#include <QEvent>
#include <QPainter>
#include <cmath>

QuoteRow::QuoteRow(const MarketQuote& quote, int size, QWidget* parent)
    : QWidget(parent), m_quote(quote), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    relayout();
}

void QuoteRow::setQuote(const MarketQuote& quote, int size)
{
    m_quote = quote;
    m_size = size;
    relayout();
}

void QuoteRow::relayout()
{
    m_layout = QuoteRowLayout::make(m_quote, m_size, locale());
    setAccessibleName(m_layout.accessibleLabel);
    updateGeometry();
    update();
}

QSize QuoteRow::sizeHint() const
{
    return QSize(int(std::ceil(m_layout.idealSize.width())), int(std::ceil(m_layout.idealSize.height())));
}

void QuoteRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Leading-aligned, vertically centred when the widget is taller than the row.
    m_layout.paint(painter, QPointF(0, std::max(0.0, (height() - m_layout.idealSize.height()) / 2)));
}

void QuoteRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange || event->type() == QEvent::FontChange)
        relayout();
    QWidget::changeEvent(event);
}
