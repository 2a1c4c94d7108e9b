#pragma once

class QWidget;
class TickerWindowController;

// Turns the window that hosts the root content into the ticker window:
// borderless, see-through, without shadow, and placed by `controller`. It
// refuses the window manager's close; the app's own close, as quitting
// does, still takes it away.
// Calling it again configures and places the same window again.
void configureTickerWindow(QWidget* window, TickerWindowController& controller);
