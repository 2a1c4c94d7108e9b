#pragma once

#include <QByteArray>
#include <functional>

// The user's home folder, under which the app keeps every file it writes
// (settings, caches, the autostart entry). Qt takes it from $HOME alone and
// takes "/" without one; a process started without HOME (by a service
// manager, `env -i`) gets it here from the password database, as GLib does.
// A user the password database names no home folder for (or a home that is
// "/" or no folder) has none: the app then runs on its defaults and writes
// no file.
namespace HomeFolder {

// Sets HOME from the password database when it is unset or empty, and logs
// when there is no home folder. Call first thing in main(), before any thread
// starts; the first known() does it otherwise. Only the first call counts.
void settle();
// The same, with the password database's home folder for this user given
// (empty: none).
void settle(const std::function<QByteArray()>& passwordHome);

// Whether there is a home folder to keep files in.
bool known();

} // namespace HomeFolder
