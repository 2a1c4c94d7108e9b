#include "platform/storage/HomeFolder.h"

#include "platform/base/Logging.h"

#include <QFileInfo>
#include <QString>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

std::optional<bool> g_known;  // set by the first settle()

// The home folder the password database names for this process's user;
// empty when it names none.
QByteArray passwordDatabaseHome()
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? std::size_t(suggested) : 4096);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error = 0;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE
           && buffer.size() < (std::size_t(1) << 20))
        buffer.resize(buffer.size() * 2);
    if (error != 0 || found == nullptr || found->pw_dir == nullptr)
        return {};
    return QByteArray(found->pw_dir);
}

// A home folder files can be kept under: an absolute path to a folder other
// than the root.
bool usable(const QByteArray& home)
{
    const QFileInfo info(QString::fromLocal8Bit(home));
    return home.startsWith('/') && !info.isRoot() && info.isDir();
}

} // namespace

void HomeFolder::settle()
{
    settle(passwordDatabaseHome);
}

void HomeFolder::settle(const std::function<QByteArray()>& passwordHome)
{
    if (g_known)
        return;
    if (!qgetenv("HOME").isEmpty()) {
        g_known = true;
        return;
    }
    const QByteArray home = passwordHome();
    g_known = usable(home);
    if (*g_known) {
        qputenv("HOME", home);
        qCInfo(lcPlatform, "HOME is not set; using the home folder %s from the password database", home.constData());
        return;
    }
    qCCritical(lcPlatform,
               "HOME is not set and the password database names no home folder for user %u; "
               "Tidewire runs on its default settings and saves nothing",
               unsigned(::getuid()));
}

bool HomeFolder::known()
{
    settle();
    return *g_known;
}
