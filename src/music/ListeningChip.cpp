#include "music/ListeningChip.h"

#include "music/MusicChipPainting.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

ListeningChip::ListeningChip(std::function<void()> onExit, QWidget* parent)
    : QWidget(parent), m_onExit(std::move(onExit))
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QRectF ListeningChip::closeButtonRect() const
{
    return MusicChipPainting::closeRect(size());
}

QSize ListeningChip::sizeHint() const
{
    const QSizeF s = MusicChipPainting::measure(Text);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void ListeningChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    MusicChipPainting::paint(painter, rect(), MusicChipPainting::Symbol::Waves, Text);
}

void ListeningChip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && closeButtonRect().adjusted(-4, -4, 4, 4).contains(event->position()) &&
        m_onExit)
        m_onExit();
}
