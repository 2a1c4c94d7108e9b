// SecretStore::system() against a real Secret Service. The binary runs under
// tests/support/run-with-keyring.sh (a private gnome-keyring) or with a
// session bus that offers no secret service; TIDEWIRE_SECRET_TEST names which.
#include "platform/session/SecretStore.h"

#include "LogCapture.h"

#include <libsecret/secret.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

const QString kService = QStringLiteral("tidewire.client");

QString mode()
{
    return qEnvironmentVariable("TIDEWIRE_SECRET_TEST");
}

// The attributes stored items carry. Pinned here on purpose: items written by
// an earlier build must still be found after an upgrade.
const SecretSchema* storedSchema()
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

// Reports a libsecret or GDBus failure as a test failure; true when there was none.
bool succeeded(GError* error, const char* what)
{
    if (!error)
        return true;
    ADD_FAILURE() << what << ": " << error->message;
    g_error_free(error);
    return false;
}

struct StoredItem { QString label, objectPath; };

// The items the service holds for service + account, read around our API.
QList<StoredItem> storedItems(const QString& service, const QString& account)
{
    GError* error = nullptr;
    GList* found = secret_password_search_sync(storedSchema(), SECRET_SEARCH_ALL, nullptr, &error,
                                               "service", service.toUtf8().constData(),
                                               "account", account.toUtf8().constData(), nullptr);
    if (!succeeded(error, "search"))
        return {};
    QList<StoredItem> items;
    for (GList* l = found; l; l = l->next) {
        auto* retrievable = SECRET_RETRIEVABLE(l->data);
        gchar* label = secret_retrievable_get_label(retrievable);
        StoredItem item{QString::fromUtf8(label), {}};
        g_free(label);
        if (G_IS_DBUS_PROXY(l->data))
            item.objectPath = QString::fromUtf8(g_dbus_proxy_get_object_path(G_DBUS_PROXY(l->data)));
        items << item;
    }
    g_list_free_full(found, g_object_unref);
    return items;
}

// Files under the private XDG folders the test main set up that contain `text`.
QStringList filesContaining(const QString& text)
{
    QStringList hits;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString root = qEnvironmentVariable(var);
        if (root.isEmpty())
            continue;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text.toUtf8()))
                hits << file.fileName();
        }
    }
    return hits;
}

// A background read, waited for.
SecretRead readInBackground(SecretStore& store, const QString& service, const QString& account)
{
    QFuture<SecretRead> future = store.readInBackground(service, account);
    future.waitForFinished();
    return future.result();
}

// What a background read found; a failure fails the test.
std::optional<QString> readBack(SecretStore& store, const QString& service, const QString& account)
{
    const SecretRead read = readInBackground(store, service, account);
    if (!read.has_value()) {
        ADD_FAILURE() << "the read failed: " << qPrintable(read.error().description);
        return QStringLiteral("(failed)");
    }
    return *read;
}

bool plantRawItem(const QString& account, const QByteArray& bytes)
{
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    GError* error = nullptr;
    const gboolean ok = secret_password_store_binary_sync(
        storedSchema(), SECRET_COLLECTION_DEFAULT, "planted", value, nullptr, &error,
        "service", kService.toUtf8().constData(), "account", account.toUtf8().constData(), nullptr);
    secret_value_unref(value);
    return succeeded(error, "planting") && ok;
}

// Locks the default collection the way a screen lock or the user would.
void lockDefaultCollection()
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    ASSERT_EQ(error, nullptr) << error->message;
    SecretCollection* collection =
        secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    ASSERT_EQ(error, nullptr) << error->message;
    GList* objects = g_list_append(nullptr, collection);
    const gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
    g_list_free(objects);
    g_object_unref(collection);
    g_object_unref(service);
    ASSERT_EQ(error, nullptr) << error->message;
    ASSERT_EQ(locked, 1);
}

// Unlocks the login keyring with its password. An ordinary Unlock call would
// need a prompt, which a headless run cannot show; gnome-keyring's own
// password interface takes the password directly, over a "plain" session
// (this bus is private to the test).
void unlockLoginKeyring()
{
    const QByteArray password = qgetenv("TIDEWIRE_KEYRING_PASSWORD");
    ASSERT_FALSE(password.isEmpty());
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_EQ(error, nullptr) << error->message;
    GVariant* opened = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service",
        "OpenSession", g_variant_new("(sv)", "plain", g_variant_new_string("")), G_VARIANT_TYPE("(vo)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    ASSERT_EQ(error, nullptr) << error->message;
    GVariant* output = nullptr;
    const gchar* session = nullptr;
    g_variant_get(opened, "(v&o)", &output, &session);
    GVariant* secret = g_variant_new(
        "(o@ay@ays)", session, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password.constData(), gsize(password.size()), 1),
        "text/plain");
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "UnlockWithMasterPassword",
        g_variant_new("(o@(oayays))", "/org/freedesktop/secrets/collection/login", secret), nullptr,
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    g_variant_unref(output);
    g_variant_unref(opened);
    g_object_unref(bus);
    ASSERT_EQ(error, nullptr) << error->message;
    g_variant_unref(reply);
}

class SecretServiceKeyring : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (mode().startsWith(QLatin1String("missing:")))
            GTEST_SKIP() << "no keyring to test against: " << qPrintable(mode().mid(8));
        ASSERT_EQ(mode(), QStringLiteral("keyring"))
            << "run through ctest: these tests need the private keyring of run-with-keyring.sh";
    }
    SecretStore& store = SecretStore::system();
};

TEST_F(SecretServiceKeyring, StoredTextReadsBackExactlyPerServiceAndAccountAndStaysOutOfTheLog)
{
    LogCapture capture;
    EXPECT_EQ(store.read(kService, QStringLiteral("never_stored")), std::nullopt);
    const auto absent = store.remove(kService, QStringLiteral("never_stored"));
    EXPECT_TRUE(absent.has_value()) << qPrintable(absent.error().description);

    const QString account = QStringLiteral("round_trip");
    const QList<QString> secrets = {
        QStringLiteral("do-not-log-me-7f3a"),
        QString(),                                  // empty stays empty, not "no key"
        QStringLiteral("  padded key\n"),           // no trimming
        QStringLiteral("ключ-\u00e9-\U0001F511"),   // non-ASCII
        QStringLiteral("before") + QChar(0) + QStringLiteral("after"),  // a NUL does not cut it short
        QString(5000, QLatin1Char('k')),
    };
    EXPECT_EQ(readBack(store, kService, QStringLiteral("never_stored")), std::nullopt);
    for (const QString& secret : secrets) {
        SCOPED_TRACE(secret.size());
        const auto written = store.write(kService, account, secret);
        ASSERT_TRUE(written.has_value()) << qPrintable(written.error().description);
        EXPECT_EQ(store.read(kService, account), secret);
        EXPECT_EQ(readBack(store, kService, account), secret);
    }
    ASSERT_TRUE(store.remove(kService, account).has_value());
    EXPECT_FALSE(capture.anyContains(secrets.first()));

    struct Entry { QString service, account, secret; };
    const QList<Entry> entries = {
        {kService, QStringLiteral("a"), QStringLiteral("secret-a")},
        {kService, QStringLiteral("b"), QStringLiteral("secret-b")},
        {QStringLiteral("other.service"), QStringLiteral("a"), QStringLiteral("secret-other")},
        {kService, QStringLiteral("a\nb"), QStringLiteral("secret-newline")},
    };
    for (const Entry& e : entries)
        ASSERT_TRUE(store.write(e.service, e.account, e.secret).has_value());
    ASSERT_TRUE(store.remove(kService, QStringLiteral("a")).has_value());
    EXPECT_EQ(store.read(kService, QStringLiteral("a")), std::nullopt);
    for (const Entry& e : entries.mid(1)) {
        SCOPED_TRACE(qPrintable(e.service + QLatin1Char('/') + e.account));
        EXPECT_EQ(store.read(e.service, e.account), e.secret);
        EXPECT_TRUE(store.remove(e.service, e.account).has_value());
    }
}

TEST_F(SecretServiceKeyring, WriteReplacesTheOneItemInThePersistentDefaultKeyringAndOnlyUtf8Reads)
{
    const QString account = QStringLiteral("finnhub_api_key");
    ASSERT_TRUE(store.write(kService, account, QStringLiteral("first")).has_value());
    ASSERT_TRUE(store.write(kService, account, QStringLiteral("second")).has_value());

    EXPECT_EQ(store.read(kService, account), QStringLiteral("second"));
    const QList<StoredItem> items = storedItems(kService, account);
    ASSERT_EQ(items.size(), 1) << "a second write must replace, not add";
    EXPECT_EQ(items[0].label, QStringLiteral("Tidewire: finnhub_api_key"));
    // The session collection would forget the key at logout.
    EXPECT_TRUE(items[0].objectPath.startsWith(QLatin1String("/org/freedesktop/secrets/collection/login/")))
        << qPrintable(items[0].objectPath);

    ASSERT_TRUE(store.remove(kService, account).has_value());
    EXPECT_EQ(store.read(kService, account), std::nullopt);
    EXPECT_TRUE(storedItems(kService, account).isEmpty());
    EXPECT_TRUE(store.remove(kService, account).has_value()) << "removing twice succeeds";

    // An item that is not UTF-8 reads as nothing.
    ASSERT_TRUE(plantRawItem(account, QByteArray("\xff\xfe\x80not text", 11)));
    EXPECT_EQ(store.read(kService, account), std::nullopt);
    ASSERT_TRUE(plantRawItem(account, QByteArray("plain")));
    EXPECT_EQ(store.read(kService, account), QStringLiteral("plain"));
    ASSERT_TRUE(store.remove(kService, account).has_value());
}

TEST_F(SecretServiceKeyring, FailuresOnALockedKeyringAreReportedAndKeepTheOldSecret)
{
    const QString account = QStringLiteral("locked");
    ASSERT_TRUE(store.write(kService, account, QStringLiteral("old")).has_value());
    ASSERT_NO_FATAL_FAILURE(lockDefaultCollection());

    // Unlocking would need a prompt, and there is no display to show one.
    const auto written = store.write(kService, account, QStringLiteral("new"));
    ASSERT_FALSE(written.has_value()) << "a write into a locked keyring must not claim success";
    EXPECT_EQ(written.error().kind, ErrorKind::Locked) << qPrintable(written.error().description);
    const auto removed = store.remove(kService, account);
    ASSERT_FALSE(removed.has_value()) << "the item is still there, so the removal failed";
    EXPECT_EQ(removed.error().kind, ErrorKind::Io) << qPrintable(removed.error().description);
    EXPECT_EQ(store.read(kService, account), std::nullopt) << "a locked item reads as no key";
    // Read in the background, it is an error: the key is there, only locked.
    const SecretRead locked = readInBackground(store, kService, account);
    ASSERT_FALSE(locked.has_value()) << "a locked keyring must not read as no key";
    EXPECT_EQ(locked.error().kind, ErrorKind::Io);
    EXPECT_TRUE(locked.error().description.contains(QStringLiteral("locked"))) << qPrintable(locked.error().description);
    EXPECT_EQ(readBack(store, kService, QStringLiteral("never_stored")), std::nullopt) << "nothing stored is still no key";

    ASSERT_NO_FATAL_FAILURE(unlockLoginKeyring());
    EXPECT_EQ(store.read(kService, account), QStringLiteral("old"));
    EXPECT_EQ(readBack(store, kService, account), QStringLiteral("old"));
    ASSERT_TRUE(store.remove(kService, account).has_value());
    EXPECT_EQ(store.read(kService, account), std::nullopt);
}

// A keyring service that runs but holds no keyring to keep a secret in: no
// login keyring was ever made (a locked one is above). A store is refused as
// such, in the background as in the foreground, and nothing is kept anywhere
// else.
class SecretServiceWithoutKeyring : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (mode().startsWith(QLatin1String("missing:")))
            GTEST_SKIP() << "no keyring service to test against: " << qPrintable(mode().mid(8));
        ASSERT_EQ(mode(), QStringLiteral("no-keyring"))
            << "run through ctest: these tests need a keyring service without a login keyring";
    }
    SecretStore& store = SecretStore::system();
};

TEST_F(SecretServiceWithoutKeyring, AStoreIsRefusedForWantOfAnUnlockedKeyring)
{
    const QString secret = QStringLiteral("unkept-secret-5e1f");
    const QString account = QStringLiteral("finnhub_api_key");
    LogCapture capture;
    const auto written = store.write(kService, account, secret);
    ASSERT_FALSE(written.has_value()) << "a store with no keyring to keep it must not claim success";
    EXPECT_EQ(written.error().kind, ErrorKind::Locked) << qPrintable(written.error().description);
    EXPECT_TRUE(written.error().description.contains(account)) << qPrintable(written.error().description);
    EXPECT_FALSE(written.error().description.contains(secret));

    // gnome-keyring opens its prompt for a new keyring's password and, with
    // no display to show it on, dismisses it.
    QObject context;
    std::vector<KeyringPrompt> prompts;
    QFuture<Result<void>> inBackground = store.writeInBackground(
        kService, account, secret, PromptWatcher{&context, [&](KeyringPrompt p) { prompts.push_back(p); }});
    inBackground.waitForFinished();
    ASSERT_FALSE(inBackground.result().has_value());
    EXPECT_EQ(inBackground.result().error().kind, ErrorKind::Locked);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts, (std::vector<KeyringPrompt>{KeyringPrompt::Open, KeyringPrompt::Dismissed}));
    EXPECT_TRUE(store.finishWrites(std::chrono::milliseconds(10000)));

    EXPECT_EQ(readBack(store, kService, account), std::nullopt);
    EXPECT_EQ(filesContaining(secret), QStringList());
    EXPECT_FALSE(capture.anyContains(secret));
}

// Run with DBUS_SESSION_BUS_ADDRESS pointing at nothing, with no bus address
// at all, or on a bus where nothing provides org.freedesktop.secrets.
class SecretServiceAbsent : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (mode().startsWith(QLatin1String("missing:")))
            GTEST_SKIP() << "no session bus to test against: " << qPrintable(mode().mid(8));
        ASSERT_EQ(mode(), QStringLiteral("no-service"))
            << "run through ctest: these tests need an environment without a secret service";
    }
    SecretStore& store = SecretStore::system();
};

TEST_F(SecretServiceAbsent, ReadsAsNoKeyAndReportsWritesAsUnavailable)
{
    const QString secret = QStringLiteral("unsaved-secret-91c2");
    LogCapture capture;

    EXPECT_EQ(store.read(kService, QStringLiteral("finnhub_api_key")), std::nullopt);
    EXPECT_EQ(readBack(store, kService, QStringLiteral("finnhub_api_key")), std::nullopt) << "no service is no key";

    const auto written = store.write(kService, QStringLiteral("finnhub_api_key"), secret);
    ASSERT_FALSE(written.has_value()) << "a write with no service must not claim success";
    EXPECT_EQ(written.error().kind, ErrorKind::Unavailable) << qPrintable(written.error().description);
    EXPECT_FALSE(written.error().description.isEmpty());
    EXPECT_FALSE(written.error().description.contains(secret));

    const auto removed = store.remove(kService, QStringLiteral("finnhub_api_key"));
    ASSERT_FALSE(removed.has_value());
    EXPECT_EQ(removed.error().kind, ErrorKind::Unavailable);

    // Still nothing readable afterwards: no fallback kept the secret anywhere.
    EXPECT_EQ(store.read(kService, QStringLiteral("finnhub_api_key")), std::nullopt);
    EXPECT_EQ(filesContaining(secret), QStringList());
    EXPECT_FALSE(capture.anyContains(secret));
}

}  // namespace
