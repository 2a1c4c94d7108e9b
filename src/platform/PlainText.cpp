#include "platform/PlainText.h"

#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>

namespace PlainText {

QString toolTip(const QString& text)
{
    // The same guess QToolTip makes: what it would not take for markup is
    // shown as written already.
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void setToolTip(QWidget* widget, const QString& text)
{
    widget->setToolTip(toolTip(text));
}

QString actionText(const QString& text)
{
    QString out = text;
    // A menu shows what follows a tab as the entry's shortcut.
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString windowTitle(const QString& text)
{
    QString out = text;
    return out.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

void setMessage(QMessageBox& box, const QString& text, const QString& informative)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (informative.isEmpty()) {
        box.setInformativeText({});
        return;
    }
    // The informative text has a label of its own, made when it is first
    // set: made with a harmless text, it is plain before it holds this one.
    box.setInformativeText(QStringLiteral(" "));
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    else if (Qt::mightBeRichText(informative))
        return box.setInformativeText(Qt::convertFromPlainText(informative));
    box.setInformativeText(informative);
}

} // namespace PlainText
