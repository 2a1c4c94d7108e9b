#pragma once

class QDialog;
class QWidget;

// Brings `dialog` forward once it is on screen: raised, and activation asked
// of the window manager for its own window. Call it just before the dialog
// shows; a dialog already on screen is brought forward on the next turn of
// the event loop.
void activateWhenShown(QWidget& dialog);

// Shows `dialog` modal to the whole application and brought forward, and
// returns at once: no event loop of its own runs, so a menu or button that
// opens it is done before it is answered. Act on its finished() signal; the
// dialog deletes itself once closed.
void openModal(QDialog& dialog);
