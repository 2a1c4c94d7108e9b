#include "settings/SettingsControls.h"

#include "platform/Defaults.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace SettingsControls {

QVBoxLayout* makeColumn(QWidget* tab)
{
    auto* outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(tab);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(28, 24, 28, 24);
    column->setSpacing(22);
    column->setAlignment(Qt::AlignTop);
    scroll->setWidget(content);
    outer->addWidget(scroll);
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
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    return label;
}

QLabel* noteLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 255, 255, 140));
    label->setPalette(palette);
    QFont font = label->font();
    font.setPixelSize(11);
    label->setFont(font);
    return label;
}

QPushButton* button(const QString& text, QWidget* parent, std::function<void()> action)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, b, [action] { action(); });
    return b;
}

} // namespace SettingsControls
