#pragma once

class HiddenAppsController;
class TickerWindowController;

// Lets `hidden` step the ticker window aside: unmapped while a listed
// application is in front (its reserved edge goes with it), shown and placed
// again from the settings when another one comes forward.
void installHiddenStripHook(HiddenAppsController& hidden, TickerWindowController& windows);
