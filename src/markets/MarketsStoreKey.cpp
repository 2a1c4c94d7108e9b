// The user's Finnhub key: kept in the keyring, known to the store from
// background reads (one per own-key pass, never one per keystroke) and
// written to it in the background.
#include "markets/MarketsStore.h"

#include <QCoreApplication>
#include <QPointer>

#include <qcoro/qcorofuture.h>

namespace {

using KeyAction = MarketsStore::KeyAction;

QString keyVerb(KeyAction action)
{
    return action == KeyAction::Read   ? QStringLiteral("read")
         : action == KeyAction::Save   ? QStringLiteral("save")
                                       : QStringLiteral("remove");
}

// What the status line says when the keyring failed `action`: plain words
// where the user can put it right, the keyring's own description otherwise.
// `dismissed`: the keyring's prompt for it was dismissed (by the user, or by
// a keyring that had nowhere to show it).
QString keyringFailure(KeyAction action, const Error& error, bool dismissed = false)
{
    const QString verb = keyVerb(action);
    const QString failed = QStringLiteral("Could not %1 the Finnhub key: ").arg(verb);
    const QString again = action == KeyAction::Read ? QStringLiteral(".")
                                                    : QStringLiteral(", then %1 the key again.").arg(verb);
    if (dismissed)
        return failed + QStringLiteral("the keyring's prompt was dismissed, so no keyring is unlocked on this "
                                       "computer. Unlock or create a login keyring in your desktop's passwords app")
             + again;
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

PromptWatcher MarketsStore::keyPromptWatcher(KeyAction action, std::shared_ptr<bool> dismissed)
{
    return PromptWatcher{this, [this, action, dismissed](KeyringPrompt prompt) {
                             if (prompt == KeyringPrompt::Dismissed)
                                 *dismissed = true;
                             keyringPrompted(action, prompt);
                         }};
}

void MarketsStore::keyringPrompted(KeyAction action, KeyringPrompt prompt)
{
    // The keyring does one operation at a time: while its prompt is open,
    // every read and write of the key waits for the user, not for the
    // keyring, and none of them is told as unanswered.
    if (prompt == KeyringPrompt::Open) {
        if (!std::exchange(m_keyPromptOpen, true))
            m_statusBeforePrompt = m_keyStatus;
        if (m_keyWriteBound.isActive()) {
            m_keyWriteBound.cancel();
            m_keyWriteBoundPaused = true;
        }
        setKeyStatus(KeyStatus::waiting(
            QStringLiteral("Waiting for the keyring: answer its prompt to %1 the key…").arg(keyVerb(action))));
        return;
    }
    m_keyPromptOpen = false;
    if (m_keyStatus.kind == KeyStatus::Kind::Waiting)
        setKeyStatus(m_statusBeforePrompt);
    // The keyring goes on with the answer, and has its time again.
    if (std::exchange(m_keyWriteBoundPaused, false))
        startKeyWriteBound(m_keyWrites, m_keyWriteAction);
}

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
    // While the keyring's prompt is open the work goes on as well, and the
    // status says that the keyring waits for the user.
    m_keyReadBound.start(kKeyringAnswerWait, [this, read] {
        if (read != m_keyReads || !m_keyReadPending)
            return;
        m_keyReadPending = false;
        if (!m_keyPromptOpen)
            applyKeyRead(std::unexpected(unanswered()));
        resumeKeyWaiters();
    });
    auto dismissed = std::make_shared<bool>(false);
    const SecretRead answer = co_await m_keychain.readInBackground(Keychain::kFinnhubAccount,
                                                                   keyPromptWatcher(KeyAction::Read, dismissed));
    if (!self || stop.stop_requested() || read != m_keyReads)
        co_return;
    m_keyReadBound.cancel();
    m_keyReadPending = false;
    applyKeyRead(answer, *dismissed);
    resumeKeyWaiters();
}

void MarketsStore::applyKeyRead(const SecretRead& answer, bool dismissed)
{
    if (!answer) {
        // The key the store knew stays in use: a keyring that fails for a
        // moment must not make running work drop what it fetched.
        m_keyReadError = keyringFailure(KeyAction::Read, answer.error(), dismissed);
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
    // Behind a prompt the keyring has open, the line keeps saying so.
    if (!key.isEmpty() && m_keyPromptOpen)
        m_statusBeforePrompt = KeyStatus::checking();
    else if (!key.isEmpty())
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
    const KeyAction action = key.isEmpty() ? KeyAction::Remove : KeyAction::Save;
    auto dismissed = std::make_shared<bool>(false);
    PromptWatcher watcher = keyPromptWatcher(action, dismissed);
    // Awaited from a variable: g++ 12 runs a conditional operand of co_await twice.
    const QFuture<Result<void>> writing =
        key.isEmpty() ? m_keychain.removeInBackground(Keychain::kFinnhubAccount, std::move(watcher))
                      : m_keychain.saveInBackground(key, Keychain::kFinnhubAccount, std::move(watcher));
    // The keyring may never answer: after a while the status says that it
    // has not, and the outcome still shows when it comes. While it asks the
    // user, the wait stands still.
    m_keyWriteAction = action;
    m_keyWriteBoundPaused = m_keyPromptOpen;  // behind the open prompt: its wait starts once it closes
    if (!m_keyPromptOpen)
        startKeyWriteBound(write, action);
    const Result<void> written = co_await writing;
    if (!self || stop.stop_requested() || write != m_keyWrites)
        co_return;
    m_keyWriteBound.cancel();
    m_keyWriteBoundPaused = false;
    if (!written) {
        setKeyStatus(KeyStatus::error(keyringFailure(action, written.error(), *dismissed)));
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

void MarketsStore::startKeyWriteBound(quint64 write, KeyAction action)
{
    m_keyWriteBound.start(kKeyringAnswerWait, [this, write, action] {
        if (write != m_keyWrites)
            return;
        setKeyStatus(KeyStatus::error(keyringFailure(action, unanswered())));
        Q_EMIT keyWriteFinished(false);
    });
}
