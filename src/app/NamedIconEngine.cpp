#include "app/NamedIconEngine.h"

#include <QPixmap>

NamedIconEngine::NamedIconEngine(QIcon pictures, QString name) : m_pictures(std::move(pictures)), m_name(std::move(name))
{
}

void NamedIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    m_pictures.paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize NamedIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return m_pictures.actualSize(size, mode, state);
}

QPixmap NamedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return m_pictures.pixmap(size, 1.0, mode, state);
}

QPixmap NamedIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale)
{
    return m_pictures.pixmap(size, scale, mode, state);
}

QList<QSize> NamedIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return m_pictures.availableSizes(mode, state);
}

QString NamedIconEngine::iconName()
{
    return m_name;
}

bool NamedIconEngine::isNull()
{
    return m_pictures.isNull();
}

QString NamedIconEngine::key() const
{
    return QStringLiteral("NamedIconEngine");
}

QIconEngine* NamedIconEngine::clone() const
{
    return new NamedIconEngine(m_pictures, m_name);
}
