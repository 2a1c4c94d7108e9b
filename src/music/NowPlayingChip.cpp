#include "music/NowPlayingChip.h"

#include "music/MusicChipPainting.h"
#include "widgets/PlainText.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

NowPlayingChip::NowPlayingChip(QString artist, QString track, std::function<void()> onExit, QWidget* parent)
    : QWidget(parent), m_artist(std::move(artist)), m_track(std::move(track)), m_onExit(std::move(onExit))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::ArrowCursor);
    PlainText::setToolTip(this, text());
}

void NowPlayingChip::setTrack(const QString& artist, const QString& track)
{
    if (artist == m_artist && track == m_track)
        return;
    m_artist = artist;
    m_track = track;
    PlainText::setToolTip(this, text());
    updateGeometry();
    update();
}

QString NowPlayingChip::text() const
{
    if (m_track.isEmpty() || m_track == m_artist)
        return m_artist;
    return m_artist + QStringLiteral(" — ") + m_track;
}

QRectF NowPlayingChip::closeButtonRect() const
{
    return MusicChipPainting::closeRect(size());
}

QSize NowPlayingChip::sizeHint() const
{
    const QSizeF s = MusicChipPainting::measure(text());
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void NowPlayingChip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    MusicChipPainting::paint(painter, rect(), MusicChipPainting::Symbol::Note, text());
}

void NowPlayingChip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && closeButtonRect().adjusted(-4, -4, 4, 4).contains(event->position()) &&
        m_onExit)
        m_onExit();
}
