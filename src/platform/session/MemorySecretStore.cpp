#include "platform/session/SecretStore.h"

#include <QPromise>

namespace {

// The service's length first, so no pair of names can spell another pair's key.
QString itemKey(const QString& service, const QString& account)
{
    return QString::number(service.size()) + QLatin1Char(':') + service + account;
}

// A future for `operation`, and the call that does it and finishes the future.
template <class T>
std::pair<QFuture<T>, std::function<void()>> deferred(std::function<T()> operation)
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> future = promise->future();
    return {future, [promise, operation = std::move(operation)] {
                promise->addResult(operation());
                promise->finish();
            }};
}

}  // namespace

MemorySecretStore::~MemorySecretStore()
{
    release();
}

void MemorySecretStore::schedule(bool hold, std::function<void()> finish)
{
    if (hold || !m_held.empty())
        m_held.push_back(std::move(finish));
    else
        finish();
}

void MemorySecretStore::release()
{
    m_heldWrites = 0;
    for (const auto& finish : std::exchange(m_held, {}))
        finish();
}

bool MemorySecretStore::finishWrites(std::chrono::milliseconds)
{
    QStringList unfinished;
    for (int i = 0; i < m_heldWrites; ++i)
        unfinished.append(QStringLiteral("a held store or removal"));
    return reportUnfinished(unfinished);
}

QFuture<SecretRead> MemorySecretStore::readInBackground(const QString& service, const QString& account,
                                                        PromptWatcher)
{
    ++readCount;
    auto [future, finish] = deferred<SecretRead>([this, service, account] { return answer(service, account); });
    schedule(holdReads, std::move(finish));
    return future;
}

QFuture<Result<void>> MemorySecretStore::writeInBackground(const QString& service, const QString& account,
                                                           const QString& secret, PromptWatcher watcher)
{
    return scheduleWrite([this, service, account, secret] { return write(service, account, secret); }, account,
                         watcher);
}

QFuture<Result<void>> MemorySecretStore::removeInBackground(const QString& service, const QString& account,
                                                            PromptWatcher watcher)
{
    return scheduleWrite([this, service, account] { return remove(service, account); }, account, watcher);
}

QFuture<Result<void>> MemorySecretStore::scheduleWrite(std::function<Result<void>()> operation,
                                                       const QString& account, const PromptWatcher& watcher)
{
    const bool prompted = promptWrites;
    auto [future, finish] = deferred<Result<void>>([this, operation, account, watcher, prompted]() -> Result<void> {
        if (!prompted)
            return operation();
        // As gnome-keyring does: a dismissed prompt leaves no keyring to keep the secret in.
        watcher.tell(dismissPrompts ? KeyringPrompt::Dismissed : KeyringPrompt::Answered);
        if (dismissPrompts)
            return fail(ErrorKind::Locked, QStringLiteral("Could not store the secret for \"%1\": the prompt "
                                                          "was dismissed").arg(account));
        return operation();
    });
    if (prompted)
        watcher.tell(KeyringPrompt::Open);
    const bool hold = holdWrites || prompted;
    m_heldWrites += hold || !m_held.empty() ? 1 : 0;
    schedule(hold, std::move(finish));
    return future;
}

std::optional<QString> MemorySecretStore::read(const QString& service, const QString& account)
{
    ++readCount;
    return answer(service, account).value_or(std::nullopt);
}

SecretRead MemorySecretStore::answer(const QString& service, const QString& account) const
{
    if (failReads)
        return fail(ErrorKind::Io, QStringLiteral("Could not read the secret for \"%1\": the keyring did not answer")
                                       .arg(account));
    if (unavailable)
        return std::optional<QString>();
    const auto it = m_items.constFind(itemKey(service, account));
    if (it == m_items.cend())
        return std::optional<QString>();
    return std::optional<QString>(*it);
}

Result<void> MemorySecretStore::write(const QString& service, const QString& account, const QString& secret)
{
    if (unavailable)
        return fail(ErrorKind::Unavailable, QStringLiteral("No secret service is running"));
    if (failWrites)
        return fail(writeFailure, QStringLiteral("Could not store the secret for \"%1\"").arg(account));
    m_items.insert(itemKey(service, account), secret);
    return {};
}

Result<void> MemorySecretStore::remove(const QString& service, const QString& account)
{
    if (unavailable)
        return fail(ErrorKind::Unavailable, QStringLiteral("No secret service is running"));
    if (failWrites)
        return fail(writeFailure, QStringLiteral("Could not remove the secret for \"%1\"").arg(account));
    m_items.remove(itemKey(service, account));
    return {};
}
