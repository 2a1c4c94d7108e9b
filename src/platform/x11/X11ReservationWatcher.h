#pragma once

#include <functional>

class QObject;

// Watches, on an X connection of its own to `display` (the default display
// when empty), the edges that the desktop reserves: the clients in
// _NET_CLIENT_LIST and the struts each of them sets, and the window
// manager's work area. Calls `changed` when a client that reserves an edge
// comes or goes, when a client's reservation changes, or when the work area
// does. Lives as a child of `context`; false when the display cannot be
// reached.
bool watchX11Reservations(const char* display, QObject* context, std::function<void()> changed);
