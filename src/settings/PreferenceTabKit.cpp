#include "settings/PreferenceTabKit.h"

#include "api/Color.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace PreferenceTabKit {

QVBoxLayout* makePage(QWidget* tab)
{
    QPalette palette = tab->palette();
    palette.setColor(QPalette::Window, QColor(0x0E, 0x0F, 0x12));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(0x22, 0x25, 0x2B));
    palette.setColor(QPalette::AlternateBase, Color::rowBackground());
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(0x2A, 0x2E, 0x36));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, Color::mutedText());
    palette.setColor(QPalette::Highlight, Color::accentBlue());
    palette.setColor(QPalette::Link, Color::accentBlue());
    tab->setPalette(palette);
    tab->setAutoFillBackground(true);

    auto* outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(tab);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // tabbing goes to the controls, not the frame
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);
    scroll->setWidget(page);
    scroll->viewport()->setAutoFillBackground(false);
    return layout;
}

QCheckBox* makeSwitch(QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    SignalSwitchStyle::settings()->apply(box);
    return box;
}

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel* makeNote(const QString& text, QWidget* parent, const QColor& color, bool wrap)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    setTextColor(label, color);
    return label;
}

QPushButton* makeButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    return button;
}

QWidget* makeLine(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* line = new QWidget(parent);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* w : widgets)
        layout->addWidget(w);
    return line;
}

void chainFocusAfter(QWidget* anchor, const QList<QWidget*>& widgets)
{
    // Tab order is only set between widgets that take focus: start from the
    // last such widget at or before the anchor.
    QWidget* previous = anchor;
    while (previous && !(previous->focusPolicy() & Qt::TabFocus)) {
        previous = previous->previousInFocusChain();
        if (previous == anchor || previous == anchor->window())
            previous = nullptr;
    }
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void clearLayout(QLayout* layout)
{
    // A widget may be the sender of the signal that asked for the clearing:
    // it leaves the tree now and is deleted once control is back in the loop.
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
}

} // namespace PreferenceTabKit
