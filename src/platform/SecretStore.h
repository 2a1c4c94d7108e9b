#pragma once

#include "platform/Error.h"

#include <QFuture>
#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

// What a read found: the stored secret; std::nullopt when none is stored or
// when no secret service is running at all (a missing service reads as "no
// key"); or an error when the service could not answer (it failed, did not
// answer in time, or the keyring holding the item is locked).
using SecretRead = std::expected<std::optional<QString>, Error>;

// Secrets (the user's API keys) in the desktop's Secret Service, addressed by
// service + account, like generic-password keychain items. Never a plaintext
// fallback. write() and remove() are synchronous; the interface reads with
// readInBackground(), which never makes its caller wait.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // Reads on a worker thread. The future finishes on its own, and the
    // caller awaits it without blocking its event loop.
    virtual QFuture<SecretRead> readInBackground(const QString& service, const QString& account) = 0;

    // The same read, blocking the caller for a round trip to the service; any
    // failure reads as std::nullopt. For tests and command-line tools.
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

// In-memory secrets for tests; can be told to fail reads or writes, to keep
// background reads waiting, or to act as if no service were running.
class MemorySecretStore final : public SecretStore {
public:
    ~MemorySecretStore() override;

    // Answers at once unless holdReads is set; a held read answers with what
    // is stored when releaseReads() is called.
    QFuture<SecretRead> readInBackground(const QString& service, const QString& account) override;
    std::optional<QString> read(const QString& service, const QString& account) override;
    Result<void> write(const QString& service, const QString& account, const QString& secret) override;
    Result<void> remove(const QString& service, const QString& account) override;

    // Answers every held read.
    void releaseReads();
    int heldReads() const { return int(m_held.size()); }

    bool failWrites = false;   // write/remove report ErrorKind::Io and change nothing
    bool failReads = false;    // reads report ErrorKind::Io (read() gives nullopt)
    bool holdReads = false;    // background reads wait for releaseReads()
    bool unavailable = false;  // reads find nothing, write/remove report Unavailable
    int readCount = 0;         // how many reads of either kind were made

private:
    struct HeldRead;
    SecretRead answer(const QString& service, const QString& account) const;

    QHash<QString, QString> m_items;  // service + account (see itemKey) -> secret
    std::vector<std::shared_ptr<HeldRead>> m_held;
};
