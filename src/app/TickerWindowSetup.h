#pragma once

class QWidget;
class TickerWindowController;

// Turns the window that hosts the root content into the ticker window:
// borderless, see-through, without shadow, and placed by `controller`.
// Calling it again configures and places the same window again.
void configureTickerWindow(QWidget* window, TickerWindowController& controller);
