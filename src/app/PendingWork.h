#pragma once

#include <chrono>
#include <functional>

class Defaults;
class SecretStore;

// How long the way out waits for the keyring: long enough for one that
// answers, even slowly; short enough that a logout is not held up by one
// that never does.
inline constexpr std::chrono::milliseconds kKeyringWaitAtQuit{3000};

// What every road out of the application finishes before the process ends:
// the settings and the files still on the cache writer; then `letGo` (the
// way out lets go of the single-instance claim there, so that a start made
// meanwhile becomes the running copy without waiting on the keyring); then
// the keyring stores and removals already asked for (waiting at most
// `keyringWait`; what did not finish is logged). Main thread.
void finishPendingWork(Defaults& defaults, SecretStore& secrets, const std::function<void()>& letGo = {},
                       std::chrono::milliseconds keyringWait = kKeyringWaitAtQuit);
