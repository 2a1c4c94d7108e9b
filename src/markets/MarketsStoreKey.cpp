// The user's Finnhub key: kept in the keyring, known to the store from
// background reads (one per own-key pass, never one per keystroke) and
// written to it in the background.
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
    if (!key.isEmpty())
        setKeyStatus(KeyStatus::checking());
    auto writing = writeKey(key, ++m_keyWrites);  // runs on by itself
}

QCoro::Task<void> MarketsStore::writeKey(QString key, quint64 write)
{
    QPointer<MarketsStore> self(this);
    const std::stop_token stop = m_lifetime.get_token();
    // The keyring may first ask the user to unlock it: the interface goes on
    // meanwhile. Writes reach it in the order asked, so the last one asked
    // for is the one that stays, and only its outcome is shown.
    // Awaited from a variable: g++ 12 runs a conditional operand of co_await twice.
    const QFuture<Result<void>> writing = key.isEmpty() ? m_keychain.removeInBackground(Keychain::kFinnhubAccount)
                                                        : m_keychain.saveInBackground(key, Keychain::kFinnhubAccount);
    const Result<void> written = co_await writing;
    if (!self || stop.stop_requested() || write != m_keyWrites)
        co_return;
    if (!written) {
        setKeyStatus(KeyStatus::error((key.isEmpty() ? QStringLiteral("Could not remove the Finnhub key: ")
                                                     : QStringLiteral("Could not save the Finnhub key: "))
                                      + written.error().description));
        co_return;
    }
    m_keyReadError.reset();
    setCachedKey(key);
    if (key.isEmpty()) {
        setByok({});
        setKeyStatus(KeyStatus::none());
        startKeyRead();  // what the keyring holds now
        co_return;
    }
    setKeyStatus(KeyStatus::checking());
    // Reads the key back first. A read still on its way was asked for after
    // this write (earlier ones answered before it), so it may answer for it.
    co_await refreshOwnKeyQuotes(stop);
}
