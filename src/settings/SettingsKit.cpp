#include "settings/SettingsKit.h"

#include "api/Color.h"
#include "platform/storage/Defaults.h"
#include "widgets/ParagraphLabel.h"
#include "widgets/PlainText.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMargins>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

namespace SettingsKit {
namespace {

struct PageLook {
    QMargins margins;
    int spacing;
    bool topAligned;
    bool ownBackground;    // the darker page colour, else the window's
    Qt::ScrollBarPolicy horizontalBar;
};

PageLook look(Page page)
{
    switch (page) {
    case Page::Form: return {QMargins(28, 24, 28, 24), 22, true, false, Qt::ScrollBarAsNeeded};
    case Page::Editor: return {QMargins(20, 20, 20, 20), 18, false, true, Qt::ScrollBarAlwaysOff};
    }
    return look(Page::Form);
}

void giveDarkPalette(QWidget* tab)
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
}

// A frameless scroll area over `owner`'s background, and the layout of the
// page it scrolls.
std::pair<QScrollArea*, QVBoxLayout*> scrollingColumn(QWidget* owner)
{
    auto* scroll = new QScrollArea(owner);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tabbing goes to the controls, and the area follows the focus to show
    // them; a frameless area would be a stop that shows nothing.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    scroll->setWidget(content);
    return {scroll, column};
}

} // namespace

QVBoxLayout* makePage(QWidget* tab, Page page)
{
    const PageLook l = look(page);
    if (l.ownBackground)
        giveDarkPalette(tab);
    auto* outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    const auto [scroll, column] = scrollingColumn(tab);
    scroll->setHorizontalScrollBarPolicy(l.horizontalBar);
    column->setContentsMargins(l.margins);
    column->setSpacing(l.spacing);
    if (l.topAligned)
        column->setAlignment(Qt::AlignTop);
    outer->addWidget(scroll);
    return column;
}

QVBoxLayout* addScrollingContent(QVBoxLayout* layout, QWidget* owner)
{
    const auto [scroll, column] = scrollingColumn(owner);
    column->setContentsMargins(0, 0, 0, 20);
    column->setSpacing(12);
    layout->addWidget(scroll, 1);
    return column;
}

void follow(Defaults& defaults, const QStringList& keys, QObject* context, const std::function<void()>& update)
{
    update();
    QObject::connect(&defaults, &Defaults::changed, context, [keys, update](const QString& key) {
        if (keys.contains(key))
            update();
    });
}

QCheckBox* plainSwitch(QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    SignalSwitchStyle::settings()->apply(box);
    return box;
}

QCheckBox* boolSwitch(const BoolSetting& setting, Defaults& defaults, QWidget* parent, std::function<void()> after)
{
    QCheckBox* box = plainSwitch(parent);
    const QString key = setting.key.toString();
    box->setAccessibleName(key);
    QObject::connect(box, &QCheckBox::clicked, box, [setting, &defaults, after](bool on) {
        setting.write(defaults, on);
        if (after)
            after();
    });
    follow(defaults, {key}, box, [box, setting, &defaults] { box->setChecked(setting.read(defaults)); });
    return box;
}

QLineEdit* textField(const StringSetting& setting, Defaults& defaults, QWidget* parent, std::function<void()> after)
{
    auto* field = new QLineEdit(parent);
    field->setMinimumWidth(220);
    field->setAccessibleName(setting.key.toString());
    QObject::connect(field, &QLineEdit::editingFinished, field, [field, setting, &defaults, after] {
        QString text = field->text().trimmed();
        if (text.isEmpty())
            text = setting.fallback.toString();
        const bool changed = text != setting.read(defaults);
        setting.write(defaults, text);
        field->setText(text);
        if (changed && after)
            after();
    });
    follow(defaults, {setting.key.toString()}, field, [field, setting, &defaults] {
        field->setText(setting.read(defaults));
    });
    return field;
}

QLabel* valueLabel(QWidget* parent)
{
    QLabel* label = textLabel(QString(), parent, Qt::white);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* noteLabel(QWidget* parent)
{
    QLabel* label = textLabel(QString(), parent, QColor(255, 255, 255, 140), true);
    QFont font = label->font();
    font.setPixelSize(11);
    label->setFont(font);
    return label;
}

QLabel* textLabel(const QString& text, QWidget* parent, const QColor& color, bool wrap)
{
    QLabel* label = nullptr;
    if (wrap) {
        // Explanations and outcomes may quote what a server or the user
        // sent: a word too long for the page breaks inside it.
        auto* paragraph = new ParagraphLabel(text, parent);
        paragraph->setDirection(ParagraphLabel::Direction::OfWidget);
        paragraph->setWordWrap(true);
        label = paragraph;
    } else {
        label = PlainText::label(text, parent);
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QPushButton* button(const QString& text, QWidget* parent, std::function<void()> action)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    if (action)
        QObject::connect(b, &QPushButton::clicked, b, [action = std::move(action)] { action(); });
    return b;
}

QWidget* line(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* w : widgets)
        layout->addWidget(w);
    return row;
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

} // namespace SettingsKit
