#include "platform/SecretStore.h"

// glib names a struct member "signals"; QT_NO_KEYWORDS keeps Qt's macro out of its way.
#include <libsecret/secret.h>

#include "platform/Logging.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QMutex>
#include <QPromise>
#include <QStringDecoder>
#include <QThreadPool>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Items are found by exactly these two attributes (plus libsecret's own
// "xdg:schema"), so write() replaces the one item of a service + account.
const SecretSchema* schema()
{
    static const SecretSchema s = [] {
        SecretSchema init{};
        init.name = "tidewire.client.Secret";
        init.flags = SECRET_SCHEMA_NONE;
        init.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        init.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        init.attributes[2] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return init;
    }();
    return &s;
}

struct ErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

struct ValueDeleter {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueDeleter>;

// Whether a failure means no Secret Service can be reached at all (no session
// bus, nobody owns or can start org.freedesktop.secrets), as opposed to a
// service that answered with an error.
bool meansNoService(const GError* error)
{
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
            return true;
        default:
            return false;
        }
    }
    // Connecting to the session bus itself failed (no address, no socket,
    // refused): gio reports these in its I/O domain.
    return error->domain == G_IO_ERROR;
}

// Whether a failed read means that no Secret Service exists to ask, which
// reads as "no key". A service that did not answer in time, or a connection
// that broke off, is a failed read.
bool readFoundNoService(const GError* error)
{
    if (error->domain == G_IO_ERROR)
        return error->code != G_IO_ERROR_TIMED_OUT && error->code != G_IO_ERROR_CANCELLED;
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_DISCONNECTED:
            return false;
        default:
            break;
        }
    }
    return meansNoService(error);
}

// Whether a failed store found no keyring to keep the secret in: the one it
// goes to is locked and nobody unlocked it, or it does not exist at all (no
// login keyring was ever made, and the service answers for its path that
// nothing is there).
bool meansNoUnlockedKeyring(const GError* error)
{
    if (error->domain == SECRET_ERROR)
        return error->code == SECRET_ERROR_IS_LOCKED || error->code == SECRET_ERROR_NO_SUCH_OBJECT;
    return error->domain == G_DBUS_ERROR
        && (error->code == G_DBUS_ERROR_UNKNOWN_METHOD || error->code == G_DBUS_ERROR_UNKNOWN_OBJECT);
}

bool meansTimeout(const GError* error)
{
    return (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_TIMED_OUT)
        || (error->domain == G_DBUS_ERROR
            && (error->code == G_DBUS_ERROR_NO_REPLY || error->code == G_DBUS_ERROR_TIMEOUT
                || error->code == G_DBUS_ERROR_TIMED_OUT));
}

// The error text describes the failure; it never carries the secret, which
// is not passed to anything that could echo it.
std::unexpected<Error> failure(const char* what, const QString& account, const GError* error)
{
    const QString detail = error ? QString::fromUtf8(error->message) : QStringLiteral("no reason given");
    const ErrorKind kind = error && meansNoService(error) ? ErrorKind::Unavailable : ErrorKind::Io;
    return fail(kind, QStringLiteral("Could not %1 the secret for \"%2\": %3")
                          .arg(QLatin1String(what), account, detail));
}

// The stored bytes as text; bytes that are not valid UTF-8 read as no secret.
std::optional<QString> decodeSecret(SecretValue* value)
{
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes, qsizetype(length)));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Stores and removals asked for and not yet done, for the way out to wait for.
class PendingWrites {
public:
    quint64 add(QString what)
    {
        QMutexLocker lock(&m_mutex);
        m_pending.insert(++m_last, std::move(what));
        return m_last;
    }

    void done(quint64 id)
    {
        QMutexLocker lock(&m_mutex);
        m_pending.remove(id);
        m_changed.wakeAll();
    }

    // What is still pending once all is done or `deadline` has passed.
    QStringList waitForAll(QDeadlineTimer deadline)
    {
        QMutexLocker lock(&m_mutex);
        while (!m_pending.isEmpty() && m_changed.wait(&m_mutex, deadline)) {
        }
        return m_pending.values();
    }

private:
    QMutex m_mutex;
    QWaitCondition m_changed;
    QMap<quint64, QString> m_pending;  // in the order asked for
    quint64 m_last = 0;
};

bool reportUnfinished(const QStringList& unfinished)
{
    for (const QString& what : unfinished)
        qCCritical(lcPlatform).noquote() << QStringLiteral("quitting before the keyring finished: %1").arg(what);
    return unfinished.isEmpty();
}

class LibsecretSecretStore final : public SecretStore {
public:
    QFuture<SecretRead> readInBackground(const QString& service, const QString& account) override
    {
        return QtConcurrent::run(&worker(), [service, account] { return lookup(service, account); });
    }

    QFuture<Result<void>> writeInBackground(const QString& service, const QString& account,
                                            const QString& secret) override
    {
        const quint64 id = m_pending.add(QStringLiteral("the secret for \"%1\" is not stored").arg(account));
        return QtConcurrent::run(&worker(), [this, id, service, account, secret] {
            Result<void> result = store(service, account, secret);
            m_pending.done(id);
            return result;
        });
    }

    QFuture<Result<void>> removeInBackground(const QString& service, const QString& account) override
    {
        const quint64 id = m_pending.add(QStringLiteral("the secret for \"%1\" is not removed").arg(account));
        return QtConcurrent::run(&worker(), [this, id, service, account] {
            Result<void> result = clear(service, account);
            m_pending.done(id);
            return result;
        });
    }

    bool finishWrites(std::chrono::milliseconds limit) override
    {
        return reportUnfinished(m_pending.waitForAll(QDeadlineTimer(limit)));
    }

    std::optional<QString> read(const QString& service, const QString& account) override
    {
        return lookup(service, account).value_or(std::nullopt);
    }

    Result<void> write(const QString& service, const QString& account, const QString& secret) override
    {
        return store(service, account, secret);
    }

    Result<void> remove(const QString& service, const QString& account) override
    {
        return clear(service, account);
    }

private:
    // One worker thread: keyring operations never run side by side and run
    // in the order asked, so a read sees the stores before it and a later
    // store of an item lands after an earlier one, however long the service
    // takes. One that waits on a slow service holds up nothing but later
    // ones. Never destroyed, so quitting never waits for a service that does
    // not answer.
    static QThreadPool& worker()
    {
        static QThreadPool* pool = [] {
            auto* p = new QThreadPool;
            p->setMaxThreadCount(1);
            return p;
        }();
        return *pool;
    }

    // Blocks for the round trips; runs on any thread.
    static Result<void> store(const QString& service, const QString& account, const QString& secret)
    {
        // Stored with its length rather than as a C string, so no character
        // of the secret can cut it short. The service replaces an item with
        // the same attributes in the same call, so a failed write leaves the
        // old item as it was.
        QByteArray bytes = secret.toUtf8();
        ValuePtr value(secret_value_new(bytes.constData(), bytes.size(), "text/plain"));
        bytes.fill('\0');
        const QByteArray label = QStringLiteral("Tidewire: %1").arg(account).toUtf8();
        GError* raw = nullptr;
        const gboolean stored = secret_password_store_binary_sync(
            schema(), SECRET_COLLECTION_DEFAULT, label.constData(), value.get(), nullptr, &raw,
            "service", service.toUtf8().constData(), "account", account.toUtf8().constData(), nullptr);
        ErrorPtr error(raw);
        if (error && meansNoUnlockedKeyring(error.get()))
            return fail(ErrorKind::Locked, QStringLiteral("Could not store the secret for \"%1\": no keyring is "
                                                          "unlocked to keep it in (%2)")
                                               .arg(account, QString::fromUtf8(error->message)));
        if (!stored || error)
            return failure("store", account, error.get());
        return {};
    }

    // Removing an absent secret succeeds. Blocks; runs on any thread.
    static Result<void> clear(const QString& service, const QString& account)
    {
        const QByteArray serviceBytes = service.toUtf8();
        const QByteArray accountBytes = account.toUtf8();
        GError* raw = nullptr;
        secret_password_clear_sync(schema(), nullptr, &raw, "service", serviceBytes.constData(),
                                   "account", accountBytes.constData(), nullptr);
        ErrorPtr error(raw);
        if (error)
            return failure("remove", account, error.get());
        // Items in a locked keyring are skipped without an error, and an
        // empty result looks like "nothing to remove": look again before
        // calling it done.
        auto remaining = remainingItems(serviceBytes, accountBytes);
        if (!remaining)
            return failure("remove", account, remaining.error().get());
        if (*remaining > 0)
            return fail(ErrorKind::Io, QStringLiteral("Could not remove the secret for \"%1\": "
                                                      "the keyring holding it is locked")
                                           .arg(account));
        return {};
    }

    // Blocks for the round trips; runs on any thread.
    static SecretRead lookup(const QString& service, const QString& account)
    {
        const QByteArray serviceBytes = service.toUtf8();
        const QByteArray accountBytes = account.toUtf8();
        GError* raw = nullptr;
        ValuePtr value(secret_password_lookup_binary_sync(schema(), nullptr, &raw,
                                                          "service", serviceBytes.constData(),
                                                          "account", accountBytes.constData(), nullptr));
        ErrorPtr error(raw);
        if (error)
            return readFailure(account, error.get());
        if (value)
            return decodeSecret(value.get());
        // Items in a locked keyring are passed over without an error when
        // nobody unlocks them: look for them before calling it "no key".
        auto remaining = remainingItems(serviceBytes, accountBytes);
        if (!remaining)
            return readFailure(account, remaining.error().get());
        if (*remaining > 0)
            return fail(ErrorKind::Io, QStringLiteral("Could not read the secret for \"%1\": "
                                                      "the keyring holding it is locked")
                                           .arg(account));
        return std::optional<QString>();
    }

    static SecretRead readFailure(const QString& account, const GError* error)
    {
        if (readFoundNoService(error))
            return std::optional<QString>();
        return fail(meansTimeout(error) ? ErrorKind::TimedOut : ErrorKind::Io,
                    QStringLiteral("Could not read the secret for \"%1\": %2")
                        .arg(account, QString::fromUtf8(error->message)));
    }

    // How many items, locked ones included, the service still holds.
    static std::expected<int, ErrorPtr> remainingItems(const QByteArray& service, const QByteArray& account)
    {
        GError* raw = nullptr;
        GList* found = secret_password_search_sync(schema(), SECRET_SEARCH_ALL, nullptr, &raw,
                                                   "service", service.constData(),
                                                   "account", account.constData(), nullptr);
        if (raw)
            return std::unexpected(ErrorPtr(raw));
        const int count = int(g_list_length(found));
        g_list_free_full(found, g_object_unref);
        return count;
    }

    PendingWrites m_pending;
};

// The service's length first, so no pair of names can spell another pair's key.
QString itemKey(const QString& service, const QString& account)
{
    return QString::number(service.size()) + QLatin1Char(':') + service + account;
}

}  // namespace

SecretStore& SecretStore::system()
{
    // Never destroyed: its worker may still be finishing a write as the
    // process ends.
    static auto* store = new LibsecretSecretStore;
    return *store;
}

namespace {

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

QFuture<SecretRead> MemorySecretStore::readInBackground(const QString& service, const QString& account)
{
    ++readCount;
    auto [future, finish] = deferred<SecretRead>([this, service, account] { return answer(service, account); });
    schedule(holdReads, std::move(finish));
    return future;
}

QFuture<Result<void>> MemorySecretStore::writeInBackground(const QString& service, const QString& account,
                                                           const QString& secret)
{
    auto [future, finish] =
        deferred<Result<void>>([this, service, account, secret] { return write(service, account, secret); });
    m_heldWrites += holdWrites || !m_held.empty() ? 1 : 0;
    schedule(holdWrites, std::move(finish));
    return future;
}

QFuture<Result<void>> MemorySecretStore::removeInBackground(const QString& service, const QString& account)
{
    auto [future, finish] = deferred<Result<void>>([this, service, account] { return remove(service, account); });
    m_heldWrites += holdWrites || !m_held.empty() ? 1 : 0;
    schedule(holdWrites, std::move(finish));
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
