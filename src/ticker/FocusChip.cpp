#include "ticker/FocusChip.h"

#include "ticker/ChipPainting.h"
#include "ticker/TickerSymbols.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {
constexpr double kScopeSide = 9;
constexpr double kCloseSide = 8;

QColor capsuleFill()
{
    QColor c(Qt::white);
    c.setAlphaF(0.14f);
    return c;
}
} // namespace

FocusChip::FocusChip(QString label, std::function<void()> onExit, QWidget* parent)
    : QWidget(parent), m_label(std::move(label)), m_onExit(std::move(onExit))
{
    setToolTip(QStringLiteral("Exit focus"));
    setCursor(Qt::ArrowCursor);
}

QSize FocusChip::sizeHint() const
{
    const QSizeF s = ChipPainting::measure(text(), ChipPainting::textFont(QFont::Black), kScopeSide, kCloseSide);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

QRectF FocusChip::closeButtonRect() const
{
    const QSizeF s = ChipPainting::measure(text(), ChipPainting::textFont(QFont::Black), kScopeSide, kCloseSide);
    const QRectF chip((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
    const double x = chip.right() - ChipPainting::padX - kCloseSide;
    // The button takes the chip's right end, a little wider than its symbol.
    return QRectF(x - 3, chip.top(), kCloseSide + 3 + ChipPainting::padX, chip.height());
}

void FocusChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QSizeF s = ChipPainting::measure(text(), ChipPainting::textFont(QFont::Black), kScopeSide, kCloseSide);
    const QRectF chip((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
    ChipPainting::paint(p, chip, text(), ChipPainting::textFont(QFont::Black), Qt::white, capsuleFill(),
                        TickerSymbols::scope, kScopeSide, TickerSymbols::xmark, kCloseSide);
}

void FocusChip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && closeButtonRect().contains(event->position()) && m_onExit)
        m_onExit();
    QWidget::mouseReleaseEvent(event);
}
