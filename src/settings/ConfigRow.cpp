#include "settings/ConfigRow.h"

#include "api/Color.h"
#include "widgets/ParagraphLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace {

// White, in a column of 200 pixels; cut to it, it can be read whole in its
// tool tip.
ParagraphLabel* rowLabel(const QString& text, QWidget* parent)
{
    auto* label = new ParagraphLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    label->setFixedWidth(200);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWholeTextToolTip(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    return label;
}

} // namespace

ConfigRow::ConfigRow(const QString& label, QWidget* content, QWidget* parent)
    : QWidget(parent), m_label(rowLabel(label, this)), m_content(content)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(0);
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
