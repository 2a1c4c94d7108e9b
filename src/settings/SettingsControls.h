#pragma once

#include "platform/SettingsCatalogue.h"
#include "ticker/StripOptions.h"

#include <QComboBox>
#include <QStringList>
#include <QVariant>
#include <functional>

class Defaults;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

// Controls of the settings tabs, bound to the settings: each shows the stored
// value, follows a change made elsewhere (the strip's menu, another tab) and
// writes what the user picks. Connections live as long as the control.
namespace SettingsControls {

// The tab's scrolling column; sections are added to the returned layout.
QVBoxLayout* makeColumn(QWidget* tab);

// Calls `update` now and whenever one of `keys` changes in `defaults`.
void follow(Defaults& defaults, const QStringList& keys, QObject* context, const std::function<void()>& update);

// A switch in the settings style showing `setting`; a user's flip writes it
// and then calls `after`.
QCheckBox* boolSwitch(const BoolSetting& setting, Defaults& defaults, QWidget* parent,
                      std::function<void()> after = {});

// A plain switch in the settings style, not bound to a setting.
QCheckBox* plainSwitch(QWidget* parent);

// A picker over `options` whose value is `read()`; the user's choice goes to
// `write`. It follows changes of `keys`. A value no option has shows none.
template <class T>
QComboBox* picker(const QList<StripOption<T>>& options, std::function<T()> read, std::function<void(T)> write,
                  Defaults& defaults, const QStringList& keys, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    for (const auto& option : options)
        box->addItem(option.label);
    QObject::connect(box, &QComboBox::activated, box, [options, write](int index) {
        if (index >= 0 && index < options.size())
            write(options[index].value);
    });
    follow(defaults, keys, box, [box, options, read] {
        const T value = read();
        int found = -1;
        for (int i = 0; i < options.size(); ++i)
            if (options[i].value == value)
                found = i;
        box->setCurrentIndex(found);
    });
    return box;
}

// A text field showing `setting`; finishing an edit stores the trimmed text,
// or the default when nothing is left, then calls `after`.
QLineEdit* textField(const StringSetting& setting, Defaults& defaults, QWidget* parent,
                     std::function<void()> after = {});

// A label for a state text: plain text, white, selectable.
QLabel* valueLabel(QWidget* parent);
// A small muted line for an explanation or an error.
QLabel* noteLabel(QWidget* parent);
QPushButton* button(const QString& text, QWidget* parent, std::function<void()> action);

} // namespace SettingsControls
