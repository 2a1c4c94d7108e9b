#include "settings/ConfigSection.h"

#include "api/Color.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr qreal kCornerRadius = 6;

// The rounded hairline panel; its mask clips the rows to the rounded corners.
class SectionPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Color::hairline());
        painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    }
    void resizeEvent(QResizeEvent*) override
    {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
};

} // namespace

ConfigSection::ConfigSection(const QString& title, QWidget* parent)
    : QWidget(parent), m_title(new QLabel(title, this)), m_panel(new SectionPanel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(10);
    font.setBold(true);
    m_title->setFont(font);
    m_title->setTextFormat(Qt::PlainText);
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
