#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "ticker/StripOptions.h"

#include <QColor>
#include <QComboBox>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>

class Defaults;
class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

// What every settings tab is built from: the scrolling page its sections
// (ConfigSection of ConfigRow) stand on, controls bound to the settings,
// the settings switch, plain-text labels and buttons. A bound control shows
// the stored value, follows a change made elsewhere (the strip's menu,
// another tab) and writes what the user picks; its connections live as long
// as the control.
namespace SettingsKit {

// The two pages the tabs stand on. Form: sections of settings rows on the
// window's own background, set wide apart, top-aligned. Editor: the lists
// and editors (markets, curated sets, filters) on the darker page colour,
// set closer, never scrolling sideways.
enum class Page { Form, Editor };

// Fills `tab` with a frameless vertical scroll area and returns the layout
// of the scrolled page, to which sections are added.
QVBoxLayout* makePage(QWidget* tab, Page page = Page::Form);

// For a tab with fixed controls above its scrolling part (the feed lists):
// adds to `layout` a frameless, see-through scroll area that takes the
// remaining height, and returns the layout of its content (20 px below it).
QVBoxLayout* addScrollingContent(QVBoxLayout* layout, QWidget* owner);

// Calls `update` now and whenever one of `keys` changes in `defaults`.
void follow(Defaults& defaults, const QStringList& keys, QObject* context, const std::function<void()>& update);

// A check box drawn as the settings switch, not bound to a setting.
QCheckBox* plainSwitch(QWidget* parent);

// A settings switch showing `setting`; a user's flip writes it and then
// calls `after`.
QCheckBox* boolSwitch(const BoolSetting& setting, Defaults& defaults, QWidget* parent,
                      std::function<void()> after = {});

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
// or the default when nothing is left, then calls `after` if it changed.
QLineEdit* textField(const StringSetting& setting, Defaults& defaults, QWidget* parent,
                     std::function<void()> after = {});

// A label for a state text: plain text, white, selectable.
QLabel* valueLabel(QWidget* parent);
// A small muted line for an explanation or an error.
QLabel* noteLabel(QWidget* parent);
// A plain-text label in `color`; word-wrapped when `wrap`, a word too long
// for the page broken inside it (see ParagraphLabel).
QLabel* textLabel(const QString& text, QWidget* parent, const QColor& color, bool wrap = false);

// A push button that is never the page's default; `action` runs on a click.
QPushButton* button(const QString& text, QWidget* parent, std::function<void()> action = {});

// A row content of several widgets side by side, spaced 8 apart.
QWidget* line(QWidget* parent, std::initializer_list<QWidget*> widgets);

// Puts `widgets`, in order, right after the last focusable widget at or
// before `anchor` in the keyboard focus chain: rows built again later keep
// their place between the controls above and below them.
void chainFocusAfter(QWidget* anchor, const QList<QWidget*>& widgets);

// Takes every item out of `layout` and deletes its widget.
void clearLayout(QLayout* layout);

} // namespace SettingsKit
