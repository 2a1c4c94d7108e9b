#pragma once

#include "platform/Error.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

// Secrets (the user's API keys) in the desktop's Secret Service, addressed by
// service + account, like generic-password keychain items. Calls are
// synchronous and main-thread. Never a plaintext fallback.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The stored secret, or std::nullopt when there is none, or when no secret
    // service is running (a missing service reads as "no key").
    virtual std::optional<QString> read(const QString& service, const QString& account) = 0;
    // Stores `secret`, replacing any stored one in one step. On failure
    // (ErrorKind::Unavailable when no service runs, Io otherwise) the old
    // secret is still there.
    virtual Result<void> write(const QString& service, const QString& account, const QString& secret) = 0;
    // Removes the secret; removing an absent one succeeds.
    virtual Result<void> remove(const QString& service, const QString& account) = 0;

    // The Secret Service over libsecret, created on first use.
    static SecretStore& system();
};

// In-memory secrets for tests; can be told to fail writes or act as if no
// service were running.
class MemorySecretStore final : public SecretStore {
public:
    std::optional<QString> read(const QString& service, const QString& account) override;
    Result<void> write(const QString& service, const QString& account, const QString& secret) override;
    Result<void> remove(const QString& service, const QString& account) override;

    bool failWrites = false;   // write/remove report ErrorKind::Io and change nothing
    bool unavailable = false;  // read gives nullopt, write/remove report Unavailable
    int readCount = 0;         // how many read() calls were made

private:
    QHash<QString, QString> m_items;  // service + account (see itemKey) -> secret
};
