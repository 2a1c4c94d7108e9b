#include "ticker/OfflineChip.h"

#include "api/Palette.h"
#include "ticker/ChipPainting.h"
#include "ticker/TickerSymbols.h"

#include <QPainter>
#include <cmath>

namespace {
constexpr double kSymbolSide = 9;
}

OfflineChip::OfflineChip(std::optional<QString> relative, QWidget* parent)
    : QWidget(parent), m_relative(std::move(relative))
{
}

void OfflineChip::setRelative(std::optional<QString> relative)
{
    m_relative = std::move(relative);
    updateGeometry();
    update();
}

QString OfflineChip::text() const
{
    return m_relative ? QStringLiteral("Offline · ") + *m_relative : QStringLiteral("Offline");
}

QSize OfflineChip::sizeHint() const
{
    const QSizeF s = ChipPainting::measure(text(), ChipPainting::textFont(QFont::Bold), kSymbolSide, 0);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void OfflineChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QSizeF s = ChipPainting::measure(text(), ChipPainting::textFont(QFont::Bold), kSymbolSide, 0);
    const QRectF chip((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
    QColor fill(Qt::black);
    fill.setAlphaF(0.55f);
    ChipPainting::paint(p, chip, text(), ChipPainting::textFont(QFont::Bold), Palette::secondaryText(), fill,
                        TickerSymbols::wifiSlash, kSymbolSide, QString(), 0);
}
