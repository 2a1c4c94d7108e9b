#include "settings/ConfigSection.h"

#include "api/Color.h"
#include "widgets/PlainText.h"

#include <QGraphicsEffect>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr qreal kCornerRadius = 6;

QPainterPath roundedOutline(const QRectF& rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, kCornerRadius, kCornerRadius);
    return path;
}

// Clips the panel and its rows to the rounded outline with soft edges: the
// panel is drawn off screen and kept only where the antialiased outline
// covers it, so the corners blend into whatever lies behind. (A widget mask
// is a region: whole pixels in or out, jagged at the corners.)
class RoundedClip final : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;

protected:
    void draw(QPainter* painter) override
    {
        QPoint offset;
        const QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        if (source.isNull())
            return;
        QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(source.devicePixelRatio());
        QImage coverage(image.size(), QImage::Format_ARGB32_Premultiplied);
        coverage.setDevicePixelRatio(source.devicePixelRatio());
        coverage.fill(Qt::transparent);
        {
            QPainter outline(&coverage);
            outline.setRenderHint(QPainter::Antialiasing);
            outline.fillPath(roundedOutline(QRectF(QPointF(), source.deviceIndependentSize())), Qt::black);
        }
        {
            // Keeps each pixel in the proportion the outline covers it.
            QPainter clip(&image);
            clip.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            clip.drawImage(0, 0, coverage);
        }
        painter->drawImage(offset, image);
    }
};

// The rounded hairline panel.
class SectionPanel : public QWidget {
public:
    explicit SectionPanel(QWidget* parent) : QWidget(parent) { setGraphicsEffect(new RoundedClip(this)); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Color::hairline());
        painter.drawPath(roundedOutline(QRectF(rect())));
    }
};

} // namespace

ConfigSection::ConfigSection(const QString& title, QWidget* parent)
    : QWidget(parent), m_title(PlainText::label(title, this)), m_panel(new SectionPanel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(10);
    font.setBold(true);
    m_title->setFont(font);
    QPalette palette = m_title->palette();
    palette.setColor(QPalette::WindowText, Color::accentBlue());
    m_title->setPalette(palette);
    layout->addWidget(m_title, 0, Qt::AlignLeft);

    m_rows = new QVBoxLayout(m_panel);
    m_rows->setContentsMargins(1, 1, 1, 1);
    m_rows->setSpacing(0);
    layout->addWidget(m_panel);
}

void ConfigSection::addRow(QWidget* row)
{
    m_rows->addWidget(row);
}
