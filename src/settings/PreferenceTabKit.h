#pragma once

#include <QColor>
#include <QList>
#include <QString>

class QCheckBox;
class QLabel;
class QLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;

// Small building blocks shared by the Markets, Curated and Filters tabs: the
// scrolling dark page the sections stand on, the settings switch, plain-text
// notes and buttons in the tabs' colours.
namespace PreferenceTabKit {

// Gives `tab` the dark settings palette and a vertical scroll area filling it;
// returns the layout of the scrolled page, to which sections are added.
QVBoxLayout* makePage(QWidget* tab);

// A check box drawn as the settings switch.
QCheckBox* makeSwitch(QWidget* parent);

// A plain-text label in `color`; word-wrapped when `wrap`.
QLabel* makeNote(const QString& text, QWidget* parent, const QColor& color, bool wrap = false);
void setTextColor(QLabel* label, const QColor& color);

QPushButton* makeButton(const QString& text, QWidget* parent);

// A row content of several widgets side by side, spaced 8 apart.
QWidget* makeLine(QWidget* parent, std::initializer_list<QWidget*> widgets);

// Puts `widgets`, in order, right after the last focusable widget at or
// before `anchor` in the keyboard focus chain: rows built again later keep
// their place between the controls above and below them.
void chainFocusAfter(QWidget* anchor, const QList<QWidget*>& widgets);

// Takes every item out of `layout` and deletes its widget.
void clearLayout(QLayout* layout);

} // namespace PreferenceTabKit
