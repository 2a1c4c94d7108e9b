#include "settings/FeedFilterField.h"

#include "settings/FocusRing.h"

FeedFilterField::FeedFilterField(const QString& placeholder, QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(placeholder);
    setAccessibleName(placeholder);
    setClearButtonEnabled(true);
    setFrame(false);
    setTextMargins(8, 6, 8, 6);
    setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 18); border: none;"
                                 " border-radius: 4px; color: white; }"));
    FocusRing::attach(this, 4, FocusRing::When::AnyFocus);  // the field has no frame to light up
}
