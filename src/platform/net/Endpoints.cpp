#include "platform/net/Endpoints.h"

#include <optional>

namespace {
std::optional<Endpoints>& currentSlot()
{
    static std::optional<Endpoints> slot;
    return slot;
}

void override(QUrl& url, const char* variable)
{
    const QByteArray value = qgetenv(variable).trimmed();
    if (value.isEmpty())
        return;
    QUrl parsed(QString::fromUtf8(value), QUrl::StrictMode);
    if (parsed.isValid() && !parsed.scheme().isEmpty())
        url = parsed;
}
} // namespace

Endpoints Endpoints::builtIn()
{
    return Endpoints{
        QUrl(QStringLiteral("https://api.tidewire.invalid/")),
        QUrl(QStringLiteral("https://icons.duckduckgo.com/")),
        QUrl(QStringLiteral("https://finnhub.io/")),
        QUrl(QStringLiteral("https://api.coingecko.com/")),
        QUrl(QStringLiteral("https://itunes.apple.com/")),
    };
}

Endpoints Endpoints::fromEnvironment()
{
    Endpoints e = builtIn();
    override(e.apiBase, "TIDEWIRE_API_BASE");
    override(e.faviconBase, "TIDEWIRE_FAVICON_BASE");
    override(e.finnhubBase, "TIDEWIRE_FINNHUB_BASE");
    override(e.coingeckoBase, "TIDEWIRE_COINGECKO_BASE");
    override(e.itunesBase, "TIDEWIRE_ITUNES_BASE");
    return e;
}

const Endpoints& Endpoints::current()
{
    auto& slot = currentSlot();
    if (!slot)
        slot = fromEnvironment();
    return *slot;
}

void Endpoints::setCurrent(const Endpoints& endpoints)
{
    currentSlot() = endpoints;
}

QUrl Endpoints::join(const QUrl& base, const QString& path)
{
    QString text = base.toString(QUrl::FullyEncoded);
    if (!text.endsWith(QLatin1Char('/')))
        text.append(QLatin1Char('/'));
    QString rest = path;
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    return QUrl(text + rest, QUrl::StrictMode);
}
