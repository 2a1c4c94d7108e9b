// The user's Finnhub key: kept in the keyring, known to the store from
// background reads, never read on the way of a keystroke or a pass.
#include "markets/MarketsStore.h"

#include <QCoreApplication>
#include <QPointer>

#include <qcoro/qcorofuture.h>

namespace {

const QString kReadFailed = QStringLiteral("Could not read the Finnhub key: ");

} // namespace

void MarketsStore::setCachedKey(const QString& key)
{
    const bool had = hasFinnhubKey();
    m_cachedKey = key;
    if (had != hasFinnhubKey())
        Q_EMIT hasFinnhubKeyChanged();
}

void MarketsStore::startKeyRead()
{
    m_keyReadPending = true;
    auto reading = readKeyInBackground(++m_keyReads);  // runs on by itself
}

QCoro::Task<void> MarketsStore::readKeyInBackground(quint64 read)
{
    QPointer<MarketsStore> self(this);
    const std::stop_token stop = m_lifetime.get_token();
    const SecretRead answer = co_await m_keychain.readInBackground(Keychain::kFinnhubAccount);
    if (!self || stop.stop_requested() || read != m_keyReads)
        co_return;
    m_keyReadPending = false;
    applyKeyRead(answer);
    resumeKeyWaiters();
}

void MarketsStore::applyKeyRead(const SecretRead& answer)
{
    if (!answer) {
        // The key the store knew stays in use: a keyring that fails for a
        // moment must not make running work drop what it fetched.
        m_keyReadError = kReadFailed + answer.error().description;
        setKeyStatus(KeyStatus::error(*m_keyReadError));
        return;
    }
    // The status changes only when what the store knows of the key does:
    // the outcome of a refresh or of a failed save stays on show.
    const QString key = answer->value_or(QString());
    const bool news = key != m_cachedKey || m_keyReadError.has_value();
    m_keyReadError.reset();
    setCachedKey(key);
    if (key.isEmpty()) {
        setByok({});
        if (news || m_keyStatus.kind == KeyStatus::Kind::Checking)
            setKeyStatus(KeyStatus::none());
    } else if (news || m_keyStatus.kind == KeyStatus::Kind::None) {
        setKeyStatus(KeyStatus::checking());
    }
}

void MarketsStore::resumeKeyWaiters()
{
    // From the event loop, so a waiter never runs inside the read that woke
    // it, nor inside the destructor: after that it finds the store gone.
    for (std::coroutine_handle<> waiter : std::exchange(m_keyWaiters, {}))
        QMetaObject::invokeMethod(QCoreApplication::instance(), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
}

void MarketsStore::setFinnhubKey(const QString& text)
{
    const QString key = text.trimmed();
    if (key.isEmpty()) {
        const Result<void> removed = m_keychain.remove(Keychain::kFinnhubAccount);
        if (!removed) {
            setKeyStatus(KeyStatus::error(QStringLiteral("Could not remove the Finnhub key: ")
                                          + removed.error().description));
            return;
        }
        m_keyReadError.reset();
        setCachedKey(QString());
        setByok({});
        setKeyStatus(KeyStatus::none());
        startKeyRead();
        return;
    }
    const Result<void> saved = m_keychain.save(key, Keychain::kFinnhubAccount);
    if (!saved) {
        setKeyStatus(KeyStatus::error(QStringLiteral("Could not save the Finnhub key: ") + saved.error().description));
        return;
    }
    m_keyReadError.reset();
    setCachedKey(key);
    setKeyStatus(KeyStatus::checking());
    startKeyRead();
    auto check = checkNewKey();  // runs on by itself
}

QCoro::Task<void> MarketsStore::checkNewKey()
{
    co_await refreshOwnKeyQuotes(m_lifetime.get_token());
}
