#pragma once

#include "platform/base/Error.h"

#include <QFuture>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What a read found: the stored secret; std::nullopt when none is stored or
// when no secret service is running at all (a missing service reads as "no
// key"); or an error when the service could not answer (it failed, did not
// answer in time, or the keyring holding the item is locked).
using SecretRead = std::expected<std::optional<QString>, Error>;

// Where a background operation stands with the user: the keyring opened a
// prompt of its own (to unlock a keyring, or to choose the password of a new
// one) and waits for the user's answer; or the prompt closed, answered or
// dismissed, and the keyring goes on. A keyring that cannot show its prompt
// (no display to show it on) dismisses it itself.
enum class KeyringPrompt { Open, Answered, Dismissed };

// Who is told of the prompts an operation opens: `changed` runs on the main
// thread (where `context` lives), from its event loop, while `context` lives.
// Empty: nobody is told.
struct PromptWatcher {
    QPointer<QObject> context;
    std::function<void(KeyringPrompt)> changed;

    // From any thread.
    void tell(KeyringPrompt prompt) const;
};

// Secrets (the user's API keys) in the desktop's Secret Service, addressed by
// service + account, like generic-password keychain items. Never a plaintext
// fallback. The interface uses the background operations, which never make
// their caller wait (a keyring may hold an answer until the user unlocks it);
// read(), write() and remove() block and are for tests and command-line tools.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The background operations run one at a time on one worker thread, in
    // the order they were asked for: a read sees every store and removal
    // asked for before it, and of two stores of the same item the later one
    // lands last. Each future finishes on its own, and the caller awaits it
    // without blocking its event loop. `watcher` is told when the keyring
    // opens a prompt for the operation and how it closes: the time the user
    // spends there is the user's. A dismissed prompt usually leaves the
    // operation failing (Locked, or Io for an item in a locked keyring).
    virtual QFuture<SecretRead> readInBackground(const QString& service, const QString& account,
                                                 PromptWatcher watcher = {}) = 0;
    // write() and remove() on the worker thread, with their results.
    virtual QFuture<Result<void>> writeInBackground(const QString& service, const QString& account,
                                                    const QString& secret, PromptWatcher watcher = {}) = 0;
    virtual QFuture<Result<void>> removeInBackground(const QString& service, const QString& account,
                                                     PromptWatcher watcher = {}) = 0;

    // Waits, at most `limit`, for the stores and removals asked for in the
    // background so far; true when every one is done. Those still unfinished
    // are logged by account (never with their secret). For the way out of the
    // application, which must not drop a key the user just saved.
    virtual bool finishWrites(std::chrono::milliseconds limit) = 0;

    // The same read, blocking the caller for a round trip to the service; any
    // failure reads as std::nullopt. For tests and command-line tools.
    virtual std::optional<QString> read(const QString& service, const QString& account) = 0;
    // Stores `secret`, replacing any stored one in one step. On failure
    // (ErrorKind::Unavailable when no service runs, Locked when the service
    // has no unlocked keyring to keep it in, Io otherwise) the old secret is
    // still there.
    virtual Result<void> write(const QString& service, const QString& account, const QString& secret) = 0;
    // Removes the secret; removing an absent one succeeds.
    virtual Result<void> remove(const QString& service, const QString& account) = 0;

    // The Secret Service over libsecret, created on first use.
    static SecretStore& system();

protected:
    // Logs each of `unfinished`; true when there are none.
    static bool reportUnfinished(const QStringList& unfinished);
};

// In-memory secrets for tests; can be told to fail reads or writes, to keep
// background operations waiting, to ask the user first, or to act as if no
// service were running.
class MemorySecretStore final : public SecretStore {
public:
    ~MemorySecretStore() override;

    // Background operations are done at once unless held: a read is held
    // while holdReads is set, a store or removal while holdWrites is set, and
    // any operation while an earlier one is held, so they keep their order.
    // Held ones are done, in order, by release(). A store or removal asked
    // for while promptWrites is set opens a prompt at once and is held until
    // release() closes it, answered or (with dismissPrompts) dismissed.
    QFuture<SecretRead> readInBackground(const QString& service, const QString& account,
                                         PromptWatcher watcher = {}) override;
    QFuture<Result<void>> writeInBackground(const QString& service, const QString& account,
                                            const QString& secret, PromptWatcher watcher = {}) override;
    QFuture<Result<void>> removeInBackground(const QString& service, const QString& account,
                                             PromptWatcher watcher = {}) override;
    // Held stores and removals are never done without release(): false while
    // there are any.
    bool finishWrites(std::chrono::milliseconds limit) override;
    std::optional<QString> read(const QString& service, const QString& account) override;
    Result<void> write(const QString& service, const QString& account, const QString& secret) override;
    Result<void> remove(const QString& service, const QString& account) override;

    // Does every held operation, in the order they were asked for.
    void release();
    int heldCount() const { return int(m_held.size()); }

    bool failWrites = false;   // write/remove report writeFailure and change nothing
    ErrorKind writeFailure = ErrorKind::Io;
    bool failReads = false;    // reads report ErrorKind::Io (read() gives nullopt)
    bool holdReads = false;    // background reads wait for release()
    bool holdWrites = false;   // background stores and removals wait for release()
    bool promptWrites = false;    // background stores and removals first ask the user, until release()
    bool dismissPrompts = false;  // release() dismisses the prompts: their stores and removals fail as Locked
    bool unavailable = false;  // reads find nothing, write/remove report Unavailable
    int readCount = 0;         // how many reads of either kind were made

private:
    // Does `finish` (the operation, then its future) now, or holds it.
    void schedule(bool hold, std::function<void()> finish);
    // A background store or removal doing `operation`, held or prompted as set.
    QFuture<Result<void>> scheduleWrite(std::function<Result<void>()> operation, const QString& account,
                                        const PromptWatcher& watcher);
    SecretRead answer(const QString& service, const QString& account) const;

    QHash<QString, QString> m_items;  // service + account (see itemKey) -> secret
    std::vector<std::function<void()>> m_held;
    int m_heldWrites = 0;
};
