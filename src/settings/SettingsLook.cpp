#include "settings/SettingsLook.h"

#include "widgets/ParagraphLabel.h"
#include "widgets/PlainText.h"

#include <QFontDatabase>
#include <QLabel>

namespace SettingsLook {

QFont font(int pixelSize, QFont::Weight weight, bool mono)
{
    QFont f = mono ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    QLabel* l = PlainText::label(text, parent);
    l->setFont(font);
    setTextColor(l, color);
    return l;
}

ParagraphLabel* paragraphLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* l = new ParagraphLabel(text, parent);
    l->setFont(font);
    setTextColor(l, color);
    return l;
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace SettingsLook
