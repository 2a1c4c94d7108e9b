#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Starting this copy of the application when the user logs in, through an
// XDG autostart entry ($XDG_CONFIG_HOME/autostart/tidewire.desktop).
// Main thread only.
class LaunchAtLogin {
public:
    // The entry at `entryPath` starting `program` (an absolute path).
    LaunchAtLogin(QString entryPath, QString program);

    // The user's autostart folder (none without a home folder: every change
    // fails) and this copy: the AppImage file when running from one
    // ($APPIMAGE), else the running executable.
    static LaunchAtLogin& shared();

    // Whether a valid, not hidden autostart entry starts this copy.
    bool isEnabled() const;
    // Registers (true) or removes (false) the entry. False when that failed;
    // lastError() then says why, and the failure is logged.
    bool setEnabled(bool enabled);
    QString lastError() const { return m_lastError; }

    QString entryPath() const { return m_entryPath; }
    QString program() const { return m_program; }

    // The Exec value that starts `program`, quoted as desktop entries
    // require (before the file's own escaping of backslashes).
    static QString execCommand(const QString& program);
    // The arguments of an Exec value (after the file's escaping is undone);
    // none when its quoting is broken.
    static std::optional<QStringList> execArguments(const QString& exec);

private:
    bool fail(const QString& description);

    QString m_entryPath;
    QString m_program;
    QString m_lastError;
};
