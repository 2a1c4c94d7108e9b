#pragma once

#include <QString>

// Starting this copy of the application when the user logs in, through an
// XDG autostart entry ($XDG_CONFIG_HOME/autostart/tidewire.desktop).
// Main thread only.
class LaunchAtLogin {
public:
    static LaunchAtLogin& shared();

    // Whether a valid, not hidden autostart entry starts this copy.
    bool isEnabled() const;
    // Registers (true) or removes (false) the entry. False when that failed;
    // lastError() then says why, and the failure is logged.
    bool setEnabled(bool enabled);
    QString lastError() const { return m_lastError; }

private:
    QString m_lastError;
};
