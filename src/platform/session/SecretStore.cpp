#include "platform/session/SecretStore.h"

// glib names a struct member "signals"; QT_NO_KEYWORDS keeps Qt's macro out of its way.
#include <libsecret/secret.h>

#include "platform/base/Logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMap>
#include <QMutex>
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

struct TableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using AttributesPtr = std::unique_ptr<GHashTable, TableUnref>;

AttributesPtr attributes(const QByteArray& service, const QByteArray& account)
{
    return AttributesPtr(secret_attributes_build(schema(), "service", service.constData(), "account",
                                                 account.constData(), nullptr));
}

// What the operation running on this thread is told of the keyring's
// prompts, and how the open one ended.
struct PromptState {
    const PromptWatcher& watcher;
    guint completion = 0;    // the subscription to the open prompt's Completed signal
    bool dismissed = false;  // what that signal said
};

// libsecret's blocking calls run their prompts on the calling thread.
thread_local PromptState* t_prompts = nullptr;

// For the operation in its scope, on this thread.
class WatchPrompts {
public:
    explicit WatchPrompts(const PromptWatcher& watcher) : m_state{watcher} { t_prompts = &m_state; }
    ~WatchPrompts() { t_prompts = nullptr; }
    WatchPrompts(const WatchPrompts&) = delete;
    WatchPrompts& operator=(const WatchPrompts&) = delete;

private:
    PromptState m_state;
};

}  // namespace

// The Secret Service, telling the running operation when the keyring
// prompts the user: libsecret hands every prompt the service asks for
// (choosing the password of a new default keyring, unlocking one) to these
// class functions.
struct PromptingService {
    SecretService parent;
};

struct PromptingServiceClass {
    SecretServiceClass parent_class;
};

G_DEFINE_TYPE(PromptingService, prompting_service, SECRET_TYPE_SERVICE)

namespace {

SecretServiceClass* plainService()
{
    return SECRET_SERVICE_CLASS(prompting_service_parent_class);
}

void onPromptCompleted(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, gpointer state)
{
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(bv)"))) {
        GVariant* dismissed = g_variant_get_child_value(parameters, 0);
        static_cast<PromptState*>(state)->dismissed = g_variant_get_boolean(dismissed);
        g_variant_unref(dismissed);
    }
}

// Listens for how the prompt ends, before libsecret does, which passes on
// only the prompt's result: a dismissed prompt may carry one as well.
void promptOpened(SecretPrompt* prompt)
{
    if (!t_prompts)
        return;
    t_prompts->dismissed = false;
    auto* proxy = G_DBUS_PROXY(prompt);
    gchar* owner = g_dbus_proxy_get_name_owner(proxy);
    t_prompts->completion = g_dbus_connection_signal_subscribe(
        g_dbus_proxy_get_connection(proxy), owner, "org.freedesktop.Secret.Prompt", "Completed",
        g_dbus_proxy_get_object_path(proxy), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onPromptCompleted, t_prompts,
        nullptr);
    g_free(owner);
    t_prompts->watcher.tell(KeyringPrompt::Open);
}

// `result` is null, without an error, also when the prompt was dismissed
// with nothing to pass on.
void promptClosed(SecretService* service, const GVariant* result, const GError* error)
{
    if (!t_prompts)
        return;
    if (t_prompts->completion != 0) {
        g_dbus_connection_signal_unsubscribe(g_dbus_proxy_get_connection(G_DBUS_PROXY(service)),
                                             t_prompts->completion);
        t_prompts->completion = 0;
    }
    const bool dismissed = t_prompts->dismissed || (!result && !error);
    t_prompts->watcher.tell(dismissed ? KeyringPrompt::Dismissed : KeyringPrompt::Answered);
}

void promptAsync(SecretService* service, SecretPrompt* prompt, const GVariantType* type,
                 GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data)
{
    promptOpened(prompt);
    plainService()->prompt_async(service, prompt, type, cancellable, callback, data);
}

GVariant* promptFinish(SecretService* service, GAsyncResult* result, GError** error)
{
    GError* raw = nullptr;
    GVariant* answer = plainService()->prompt_finish(service, result, &raw);
    promptClosed(service, answer, raw);
    if (raw)
        g_propagate_error(error, raw);
    return answer;
}

// Told without the signal: this prompt runs in a main context of its own.
GVariant* promptSync(SecretService* service, SecretPrompt* prompt, GCancellable* cancellable,
                     const GVariantType* type, GError** error)
{
    if (t_prompts)
        t_prompts->watcher.tell(KeyringPrompt::Open);
    GError* raw = nullptr;
    GVariant* answer = plainService()->prompt_sync(service, prompt, cancellable, type, &raw);
    promptClosed(service, answer, raw);
    if (raw)
        g_propagate_error(error, raw);
    return answer;
}

}  // namespace

static void prompting_service_init(PromptingService*) {}

static void prompting_service_class_init(PromptingServiceClass* cls)
{
    SecretServiceClass* service = SECRET_SERVICE_CLASS(cls);
    service->prompt_async = promptAsync;
    service->prompt_finish = promptFinish;
    service->prompt_sync = promptSync;
}

namespace {

// One connection for the process, made on first use, as libsecret's own
// shared one is: each connection keeps a session open in the service.
std::expected<SecretService*, ErrorPtr> keyringService()
{
    static QMutex mutex;
    static SecretService* service = nullptr;
    QMutexLocker lock(&mutex);
    if (service)
        return service;
    GError* raw = nullptr;
    service = secret_service_open_sync(prompting_service_get_type(), nullptr, SECRET_SERVICE_NONE, nullptr, &raw);
    if (!service)
        return std::unexpected(ErrorPtr(raw ? raw : g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED,
                                                                          "no secret service")));
    return service;
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

class LibsecretSecretStore final : public SecretStore {
public:
    QFuture<SecretRead> readInBackground(const QString& service, const QString& account,
                                         PromptWatcher watcher) override
    {
        return QtConcurrent::run(&worker(), [service, account, watcher] { return lookup(service, account, watcher); });
    }

    QFuture<Result<void>> writeInBackground(const QString& service, const QString& account, const QString& secret,
                                            PromptWatcher watcher) override
    {
        const quint64 id = m_pending.add(QStringLiteral("the secret for \"%1\" is not stored").arg(account));
        return QtConcurrent::run(&worker(), [this, id, service, account, secret, watcher] {
            Result<void> result = store(service, account, secret, watcher);
            m_pending.done(id);
            return result;
        });
    }

    QFuture<Result<void>> removeInBackground(const QString& service, const QString& account,
                                             PromptWatcher watcher) override
    {
        const quint64 id = m_pending.add(QStringLiteral("the secret for \"%1\" is not removed").arg(account));
        return QtConcurrent::run(&worker(), [this, id, service, account, watcher] {
            Result<void> result = clear(service, account, watcher);
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
        return lookup(service, account, {}).value_or(std::nullopt);
    }

    Result<void> write(const QString& service, const QString& account, const QString& secret) override
    {
        return store(service, account, secret, {});
    }

    Result<void> remove(const QString& service, const QString& account) override
    {
        return clear(service, account, {});
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

    // Blocks for the round trips, and for the user while the keyring
    // prompts; runs on any thread.
    static Result<void> store(const QString& service, const QString& account, const QString& secret,
                              const PromptWatcher& watcher)
    {
        const WatchPrompts prompts(watcher);
        auto keyring = keyringService();
        if (!keyring)
            return failure("store", account, keyring.error().get());
        // Stored with its length rather than as a C string, so no character
        // of the secret can cut it short. The service replaces an item with
        // the same attributes in the same call, so a failed write leaves the
        // old item as it was.
        QByteArray bytes = secret.toUtf8();
        ValuePtr value(secret_value_new(bytes.constData(), bytes.size(), "text/plain"));
        bytes.fill('\0');
        const QByteArray label = QStringLiteral("Tidewire: %1").arg(account).toUtf8();
        GError* raw = nullptr;
        const gboolean stored =
            secret_service_store_sync(*keyring, schema(), attributes(service.toUtf8(), account.toUtf8()).get(),
                                      SECRET_COLLECTION_DEFAULT, label.constData(), value.get(), nullptr, &raw);
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
    static Result<void> clear(const QString& service, const QString& account, const PromptWatcher& watcher)
    {
        const WatchPrompts prompts(watcher);
        auto keyring = keyringService();
        if (!keyring)
            return failure("remove", account, keyring.error().get());
        const AttributesPtr matching = attributes(service.toUtf8(), account.toUtf8());
        GError* raw = nullptr;
        secret_service_clear_sync(*keyring, schema(), matching.get(), nullptr, &raw);
        ErrorPtr error(raw);
        if (error)
            return failure("remove", account, error.get());
        // Items in a locked keyring are skipped without an error, and an
        // empty result looks like "nothing to remove": look again before
        // calling it done.
        auto remaining = remainingItems(*keyring, matching.get());
        if (!remaining)
            return failure("remove", account, remaining.error().get());
        if (*remaining > 0)
            return fail(ErrorKind::Io, QStringLiteral("Could not remove the secret for \"%1\": "
                                                      "the keyring holding it is locked")
                                           .arg(account));
        return {};
    }

    // Blocks for the round trips; runs on any thread.
    static SecretRead lookup(const QString& service, const QString& account, const PromptWatcher& watcher)
    {
        const WatchPrompts prompts(watcher);
        auto keyring = keyringService();
        if (!keyring)
            return readFailure(account, keyring.error().get());
        const AttributesPtr matching = attributes(service.toUtf8(), account.toUtf8());
        GError* raw = nullptr;
        ValuePtr value(secret_service_lookup_sync(*keyring, schema(), matching.get(), nullptr, &raw));
        ErrorPtr error(raw);
        if (error)
            return readFailure(account, error.get());
        if (value)
            return decodeSecret(value.get());
        // Items in a locked keyring are passed over without an error when
        // nobody unlocks them: look for them before calling it "no key".
        auto remaining = remainingItems(*keyring, matching.get());
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
    static std::expected<int, ErrorPtr> remainingItems(SecretService* keyring, GHashTable* matching)
    {
        GError* raw = nullptr;
        GList* found = secret_service_search_sync(keyring, schema(), matching, SECRET_SEARCH_ALL, nullptr, &raw);
        if (raw)
            return std::unexpected(ErrorPtr(raw));
        const int count = int(g_list_length(found));
        g_list_free_full(found, g_object_unref);
        return count;
    }

    PendingWrites m_pending;
};

}  // namespace

void PromptWatcher::tell(KeyringPrompt prompt) const
{
    if (!changed || !QCoreApplication::instance())
        return;
    // Through the application object, which outlives the worker's calls:
    // `context` is looked at on its own thread only.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [context = context, changed = changed, prompt] {
            if (context)
                changed(prompt);
        },
        Qt::QueuedConnection);
}

bool SecretStore::reportUnfinished(const QStringList& unfinished)
{
    for (const QString& what : unfinished)
        qCCritical(lcPlatform).noquote() << QStringLiteral("quitting before the keyring finished: %1").arg(what);
    return unfinished.isEmpty();
}

SecretStore& SecretStore::system()
{
    // Never destroyed: its worker may still be finishing a write as the
    // process ends.
    static auto* store = new LibsecretSecretStore;
    return *store;
}
