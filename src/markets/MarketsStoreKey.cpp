// The user's Finnhub key: kept in the keyring, known to the store from
// background reads (one per own-key pass, never one per keystroke) and
// written to it in the background.
#include "markets/MarketsStore.h"

#include <QCoreApplication>
#include <QPointer>

#include <qcoro/qcorofuture.h>

namespace {

enum class KeyAction { Read, Save, Remove };

// What the status line says when the keyring failed `action`: plain words
// where the user can put it right, the keyring's own description otherwise.
QString keyringFailure(KeyAction action, const Error& error)
{
    const QString verb = action == KeyAction::Read   ? QStringLiteral("read")
                       : action == KeyAction::Save   ? QStringLiteral("save")
                                                     : QStringLiteral("remove");
    const QString failed = QStringLiteral("Could not %1 the Finnhub key: ").arg(verb);
    const QString again = action == KeyAction::Read ? QStringLiteral(".")
                                                    : QStringLiteral(", then %1 the key again.").arg(verb);
    switch (error.kind) {
    case ErrorKind::TimedOut:
        return failed + QStringLiteral("the keyring did not answer. Check that your desktop's keyring is running "
                                       "and unlocked")
             + again;
    case ErrorKind::Locked:
        return failed + QStringLiteral("no keyring is unlocked on this computer. Unlock or create a login keyring "
                                       "in your desktop's passwords app")
             + again;
    default:
        return failed + error.description;
    }
}

Error unanswered()
{
    return Error::make(ErrorKind::TimedOut, QStringLiteral("the keyring did not answer"));
}

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
    // A keyring that does not answer in time counts as a failed read: the
    // status says so, and the work waiting for the key goes on. Its answer
    // still counts when it comes, unless a newer read was started.
    m_keyReadBound.start(kKeyringAnswerWait, [this, read] {
        if (read != m_keyReads || !m_keyReadPending)
            return;
        m_keyReadPending = false;
        applyKeyRead(std::unexpected(unanswered()));
        resumeKeyWaiters();
    });
    const SecretRead answer = co_await m_keychain.readInBackground(Keychain::kFinnhubAccount);
    if (!self || stop.stop_requested() || read != m_keyReads)
        co_return;
    m_keyReadBound.cancel();
    m_keyReadPending = false;
    applyKeyRead(answer);
    resumeKeyWaiters();
}

void MarketsStore::applyKeyRead(const SecretRead& answer)
{
    if (!answer) {
        // The key the store knew stays in use: a keyring that fails for a
        // moment must not make running work drop what it fetched.
        m_keyReadError = keyringFailure(KeyAction::Read, answer.error());
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
    const KeyAction action = key.isEmpty() ? KeyAction::Remove : KeyAction::Save;
    // The keyring may be waiting for the user to unlock it, or never answer:
    // after a while the status says that it has not answered, and the outcome
    // still shows when it comes.
    m_keyWriteBound.start(kKeyringAnswerWait, [this, write, action] {
        if (write != m_keyWrites)
            return;
        setKeyStatus(KeyStatus::error(keyringFailure(action, unanswered())));
        Q_EMIT keyWriteFinished(false);
    });
    const Result<void> written = co_await writing;
    if (!self || stop.stop_requested() || write != m_keyWrites)
        co_return;
    m_keyWriteBound.cancel();
    if (!written) {
        setKeyStatus(KeyStatus::error(keyringFailure(action, written.error())));
        Q_EMIT keyWriteFinished(false);
        co_return;
    }
    m_keyReadError.reset();
    setCachedKey(key);
    if (key.isEmpty()) {
        setByok({});
        setKeyStatus(KeyStatus::none());
        Q_EMIT keyWriteFinished(true);
        startKeyRead();  // what the keyring holds now
        co_return;
    }
    setKeyStatus(KeyStatus::checking());
    Q_EMIT keyWriteFinished(true);
    // Reads the key back first. A read still on its way was asked for after
    // this write (earlier ones answered before it), so it may answer for it.
    co_await refreshOwnKeyQuotes(stop);
}
