#pragma once

#include <QString>

class QLabel;
class QMessageBox;
class QWidget;

// Text from outside (feeds, servers, music players, the keyring, the user)
// put where Qt would otherwise read it as something else: markup in labels,
// tool tips and message boxes (an <img> there makes Qt read a local file),
// a shortcut marker in menu, action and button texts, the modified-state
// placeholder in window titles. Every such sink goes through one of these.
namespace PlainText {

// A tool tip that shows `text` as written. Tool tips take any text that
// might be markup as rich text; such a text is sent escaped, so the tip
// reads the same and loads nothing. A word too long for a screen gets
// invisible line-break opportunities, so the tip wraps inside it and stays
// on the screen. Other texts are left as they are.
QString toolTip(const QString& text);
void setToolTip(QWidget* widget, const QString& text);

// A menu, action or button text showing `text` as written: "&" doubled,
// and a tab shown as a space (a menu would show what follows it as a
// shortcut).
QString actionText(const QString& text);

// A window title showing `text` as written: "[*]" doubled.
QString windowTitle(const QString& text);

// A label whose text is never read as markup.
QLabel* label(const QString& text, QWidget* parent = nullptr);

// The message box's text and informative text, both shown as written. Qt
// applies a message box's text format to its main text only.
void setMessage(QMessageBox& box, const QString& text, const QString& informative = {});

} // namespace PlainText
