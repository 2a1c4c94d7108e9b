#pragma once

#include <QString>

// The version this build reports (CMake project version).
QString appVersion();

// Names the running application to the desktop: its name (the tray item's
// title, the windows' class), version and desktop entry.
void applyAppIdentity();
