#include "music/NowPlayingArtBlock.h"

#include "music/ArtworkLoader.h"
#include "store/FeedStore.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor tile(38, 38, 44);
const QColor secondary(173, 173, 173);

int stripHeight(int size)
{
    return size == 1 ? 48 : size == 4 ? 108 : 72;
}

int fontSize(int size)
{
    return size == 4 ? 11 : 9;
}

} // namespace

NowPlayingArtBlock::NowPlayingArtBlock(FeedStore& store, int size, std::optional<QUrl> artURL, ArtworkLoader& loader,
                                       QWidget* parent)
    : QWidget(parent), m_store(&store), m_size(size), m_loader(loader)
{
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_loader, &ArtworkLoader::loaded, this, [this](const QUrl& url) {
        if (m_artURL == url)
            load();
    });
    connect(&store, &FeedStore::nowPlayingArtworkURLChanged, this,
            [this] { setArtURL(m_store ? m_store->nowPlayingArtworkURL() : std::nullopt); });
    connect(&store, &FeedStore::nowPlayingChanged, this, qOverload<>(&QWidget::update));
    setArtURL(artURL);
}

NowPlayingArtBlock::NowPlayingArtBlock(FeedStore& store, int size, std::optional<QUrl> artURL, QWidget* parent)
    : NowPlayingArtBlock(store, size, std::move(artURL), ArtworkLoader::shared(), parent)
{
}

NowPlayingArtBlock::~NowPlayingArtBlock() = default;

int NowPlayingArtBlock::artSide(int size)
{
    return stripHeight(size) * 2 / 3;
}

void NowPlayingArtBlock::setArtURL(const std::optional<QUrl>& url)
{
    if (url == m_artURL && (!m_art.isNull() || !url))
        return;
    m_artURL = url;
    m_art = QImage();
    load();
    update();
}

void NowPlayingArtBlock::load()
{
    if (!m_artURL)
        return;
    const QImage image = m_loader.image(*m_artURL);
    if (!image.isNull()) {
        m_art = image;
        update();
    }
}

QSize NowPlayingArtBlock::sizeHint() const
{
    const int side = artSide(m_size);
    const int width = showsText(m_size) ? side + 10 + textWidth : side;
    return {width, stripHeight(m_size)};
}

void NowPlayingArtBlock::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double side = artSide(m_size);
    const QRectF square(0, (height() - side) / 2, side, side);
    QPainterPath frame;
    frame.addRoundedRect(square, side * 0.12, side * 0.12);
    painter.fillPath(frame, tile);
    if (!m_art.isNull()) {
        painter.save();
        painter.setClipPath(frame);
        const QSizeF scaled = QSizeF(m_art.size()).scaled(square.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(square.center().x() - scaled.width() / 2, square.center().y() - scaled.height() / 2,
                            scaled.width(), scaled.height());
        painter.drawImage(target, m_art);
        painter.restore();
    } else {
        QFont note;
        note.setPixelSize(int(side * 0.5));
        painter.setFont(note);
        painter.setPen(secondary);
        painter.drawText(square, Qt::AlignCenter, QStringLiteral("♪"));
    }
    if (!showsText(m_size) || !m_store || !m_store->nowPlaying())
        return;

    const auto& playing = *m_store->nowPlaying();
    QFont title;
    title.setPixelSize(fontSize(m_size));
    title.setWeight(QFont::Black);
    QFont artist = title;
    artist.setWeight(QFont::Bold);
    const QFontMetricsF titleMetrics(title);
    const QFontMetricsF artistMetrics(artist);
    const double x = square.right() + 10;
    double y = (height() - titleMetrics.height() - artistMetrics.height()) / 2;
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(x, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(playing.track.toUpper(), Qt::ElideRight, textWidth));
    y += titleMetrics.height();
    painter.setFont(artist);
    painter.setPen(secondary);
    painter.drawText(QRectF(x, y, textWidth, artistMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     artistMetrics.elidedText(playing.artist.toUpper(), Qt::ElideRight, textWidth));
}
