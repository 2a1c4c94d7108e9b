#include "ticker/WeatherSegment.h"

#include "api/Palette.h"
#include "platform/storage/Defaults.h"
#include "store/FeedStore.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace {
constexpr double kDotSpacing = 6;
constexpr double kLineSpacing = -2;
} // namespace

WeatherSegment::WeatherSegment(FeedStore& store, int size, Defaults& defaults, QWidget* parent)
    : QWidget(parent), m_store(store), m_defaults(defaults), m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&m_store, &FeedStore::currentWeatherChanged, this, &WeatherSegment::textChanged);
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& key) {
        if (key == cityKey)
            textChanged();
    });
}

void WeatherSegment::textChanged()
{
    updateGeometry();
    update();
    Q_EMIT contentChanged();
}

void WeatherSegment::setSize(int size)
{
    if (size == m_size)
        return;
    m_size = size;
    updateGeometry();
    update();
}

double WeatherSegment::dotDiameter(int size)
{
    return size == 1 ? 4 : size == 4 ? 8 : 6;
}

QFont WeatherSegment::captionFont(int size)
{
    QFont font;
    font.setPixelSize(size == 1 ? 7 : size == 4 ? 12 : 9);
    font.setWeight(QFont::Black);
    return font;
}

QFont WeatherSegment::valueFont(int size)
{
    QFont font;
    font.setPixelSize(size == 1 ? 13 : size == 4 ? 26 : 18);
    font.setBold(true);
    return font;
}

QString WeatherSegment::captionText() const
{
    const auto& weather = m_store.currentWeather();
    return (weather ? weather->city : m_defaults.stringValue(cityKey, cityDefault)).toUpper();
}

QString WeatherSegment::valueText() const
{
    const auto& weather = m_store.currentWeather();
    return weather ? weather->temp : QStringLiteral("--°C");
}

QSize WeatherSegment::sizeHint() const
{
    const QFontMetricsF caption(captionFont(m_size));
    const QFontMetricsF value(valueFont(m_size));
    const double textWidth = std::max(caption.horizontalAdvance(captionText()), value.horizontalAdvance(valueText()));
    const double height = caption.height() + kLineSpacing + value.height();
    return {int(std::ceil(dotDiameter(m_size) + kDotSpacing + textWidth)), int(std::ceil(height))};
}

void WeatherSegment::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double dot = dotDiameter(m_size);
    p.setPen(Qt::NoPen);
    p.setBrush(Palette::orange());
    p.drawEllipse(QRectF(0, (height() - dot) / 2, dot, dot));

    const QFont cf = captionFont(m_size);
    const QFont vf = valueFont(m_size);
    const QFontMetricsF caption(cf);
    const QFontMetricsF value(vf);
    const double x = dot + kDotSpacing;
    const double top = (height() - (caption.height() + kLineSpacing + value.height())) / 2;
    p.setFont(cf);
    p.setPen(Palette::orange());
    p.drawText(QPointF(x, top + caption.ascent()), captionText());
    p.setFont(vf);
    p.setPen(Qt::white);
    p.drawText(QPointF(x, top + caption.height() + kLineSpacing + value.ascent()), valueText());
}
