#include "settings/TidewireMark.h"

#include "settings/TidewireMarkHalo.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <cmath>

namespace {

// The mark is decoration: assistive technologies are told it is not there
// (no role, never showing), whatever the window around it shows.
class HiddenMarkAccessible final : public QAccessibleWidget {
public:
    explicit HiddenMarkAccessible(QWidget* mark) : QAccessibleWidget(mark, QAccessible::NoRole) {}
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        state.focusable = false;
        return state;
    }
    QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* markAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("TidewireMark") && object && object->isWidgetType())
        return new HiddenMarkAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

TidewireMark::Geometry TidewireMark::geometry(qreal height)
{
    const qreal s = height / 148.0;
    Geometry g;
    g.size = QSizeF(720 * s, height);
    g.bar = QRectF(0, 52 * s, 720 * s, 96 * s);
    g.dot = QRectF(201 * s, 52 * s, 96 * s, 96 * s);
    g.halo = TidewireMarkHalo::path(QRectF(QPointF(0, 0), g.size));
    g.haloWidth = 8 * s;
    return g;
}

void TidewireMark::paint(QPainter& painter, const QPointF& origin, qreal height, const QColor& barColor,
                         const QColor& signalColor)
{
    const Geometry g = geometry(height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(origin);
    painter.setPen(Qt::NoPen);
    painter.setBrush(barColor);
    const qreal radius = g.bar.height() / 2;
    painter.drawRoundedRect(g.bar, radius, radius);
    painter.setBrush(signalColor);
    painter.drawEllipse(g.dot);

    QColor haloColor = signalColor;
    haloColor.setAlphaF(signalColor.alphaF() * 0.6f);
    QPen pen(haloColor, g.haloWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(g.halo);
    painter.restore();
}

TidewireMark::TidewireMark(qreal height, QColor barColor, QColor signalColor, QWidget* parent)
    : QWidget(parent), m_height(height), m_barColor(std::move(barColor)), m_signalColor(std::move(signalColor))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(sizeHint());
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(markAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

void TidewireMark::setMarkOpacity(qreal opacity)
{
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

QSize TidewireMark::sizeHint() const
{
    const QSizeF size = geometry(m_height).size;
    return QSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
}

void TidewireMark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    paint(painter, QPointF(0, 0), m_height, m_barColor, m_signalColor);
}
