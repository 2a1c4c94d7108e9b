#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class ParagraphLabel;
class QLabel;
class QWidget;

// Small helpers the settings views share for their texts.
namespace SettingsLook {

// The system font at `pixelSize` and `weight`; the monospaced design when `mono`.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool mono = false);
// Sets the text colour a label or button draws with.
void setTextColor(QWidget* widget, const QColor& color);
// A plain-text label in `font` and `color`.
QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);
// The same for a text from outside (a feed's title, an error a site sent):
// one line, cut with an ellipsis where the row ends; word-wrapped with
// setWordWrap(true). Never wider than its row makes it.
ParagraphLabel* paragraphLabel(const QString& text, const QFont& font, const QColor& color,
                               QWidget* parent = nullptr);
// `color` at `opacity` (0…1) of its own alpha.
QColor withOpacity(QColor color, qreal opacity);

} // namespace SettingsLook
