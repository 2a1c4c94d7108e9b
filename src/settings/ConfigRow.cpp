#include "settings/ConfigRow.h"

#include "api/Color.h"
#include "platform/ParagraphLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

ConfigRow::ConfigRow(const QString& label, QWidget* content, QWidget* parent)
    : QWidget(parent), m_label(new ParagraphLabel(label, this)), m_content(content)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(0);

    QFont font = m_label->font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    m_label->setFont(font);
    m_label->setFixedWidth(200);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_label->setPalette(palette);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    if (content)
        layout->addWidget(content, 0, Qt::AlignVCenter);
    layout->addStretch(1);
}

void ConfigRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Color::rowBackground());
}
