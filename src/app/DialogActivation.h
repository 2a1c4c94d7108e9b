#pragma once

class QWidget;

// Brings `dialog` forward once it is on screen: raised, and activation asked
// of the window manager for its own window. Call it just before the dialog
// shows (before exec()); a dialog already on screen is brought forward on
// the next turn of the event loop.
void activateWhenShown(QWidget& dialog);
