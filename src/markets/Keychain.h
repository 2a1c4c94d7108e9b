#pragma once

#include "platform/session/SecretStore.h"

#include <QString>
#include <optional>

// The program's secrets in the secret store, under the service
// "tidewire.client" and an account name per secret.
class Keychain {
public:
    static inline const QString kService = QStringLiteral("tidewire.client");
    static inline const QString kFinnhubAccount = QStringLiteral("finnhub_api_key");

    explicit Keychain(SecretStore& store) : m_store(&store) {}

    // The stored text as stored (not trimmed), nothing, or why the keyring
    // could not answer; read on a worker thread, after every save and
    // removal asked for before. `watcher` is told of the keyring's prompts.
    QFuture<SecretRead> readInBackground(const QString& account, PromptWatcher watcher = {}) const
    {
        return m_store->readInBackground(kService, account, std::move(watcher));
    }
    // save() and remove() on that worker thread, in the order asked for.
    QFuture<Result<void>> saveInBackground(const QString& text, const QString& account, PromptWatcher watcher = {})
    {
        return m_store->writeInBackground(kService, account, text, std::move(watcher));
    }
    QFuture<Result<void>> removeInBackground(const QString& account, PromptWatcher watcher = {})
    {
        return m_store->removeInBackground(kService, account, std::move(watcher));
    }
    // The same, blocking the caller; a failure reads as nothing.
    std::optional<QString> read(const QString& account) const { return m_store->read(kService, account); }
    // Replaces the stored text in one step; on failure the old one stays.
    Result<void> save(const QString& text, const QString& account) { return m_store->write(kService, account, text); }
    // Removing an absent item succeeds.
    Result<void> remove(const QString& account) { return m_store->remove(kService, account); }

private:
    SecretStore* m_store;
};
