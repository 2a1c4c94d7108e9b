#include "platform/session/UrlOpener.h"

#include "platform/base/Logging.h"

#include <QDesktopServices>

namespace {

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Only the scheme is logged: the rest of a refused link may carry anything.
void logRefused(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (isWebScheme(scheme))
        qCInfo(lcPlatform) << "Refused to open a malformed web link";
    else
        qCInfo(lcPlatform).noquote()
            << QStringLiteral("Refused to open a link with scheme \"%1\"").arg(scheme);
}

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override
    {
        if (!isOpenableUrl(url)) {
            logRefused(url);
            return false;
        }
        if (!QDesktopServices::openUrl(url)) {
            qCCritical(lcPlatform).noquote() << QStringLiteral("Could not open a link on %1").arg(url.host());
            return false;
        }
        return true;
    }
};

UrlOpener* installedOpener = nullptr;

}  // namespace

bool isOpenableUrl(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    return isWebScheme(url.scheme().toLower());
}

std::optional<QUrl> webUrl(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::TolerantMode);
    if (!isOpenableUrl(url))
        return std::nullopt;
    return url;
}

UrlOpener& UrlOpener::system()
{
    static DesktopUrlOpener desktop;
    return installedOpener ? *installedOpener : desktop;
}

void UrlOpener::setSystem(UrlOpener* opener)
{
    installedOpener = opener;
}

bool FakeUrlOpener::open(const QUrl& url)
{
    if (!isOpenableUrl(url)) {
        logRefused(url);
        refused.append(url);
        return false;
    }
    opened.append(url);
    return true;
}
