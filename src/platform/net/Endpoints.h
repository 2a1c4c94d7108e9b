#pragma once

#include <QUrl>

// Base addresses of every remote service. Built-in defaults, each overridable
// from the environment so tests and the sample catalogue point at loopback.
struct Endpoints {
    QUrl apiBase;      // TIDEWIRE_API_BASE: the server API ("v1_manifest", ...)
    QUrl faviconBase;  // TIDEWIRE_FAVICON_BASE: favicon service, "/ip3/<host>.ico"
    QUrl finnhubBase;  // TIDEWIRE_FINNHUB_BASE: "/api/v1/..."
    QUrl coingeckoBase;  // TIDEWIRE_COINGECKO_BASE: "/api/v3/..."
    QUrl itunesBase;   // TIDEWIRE_ITUNES_BASE: "/search"

    static Endpoints builtIn();
    // builtIn() with every set, non-empty environment override applied.
    static Endpoints fromEnvironment();
    // The process-wide endpoints, read from the environment on first use.
    static const Endpoints& current();
    // Test hook: replaces current().
    static void setCurrent(const Endpoints& endpoints);

    // `base` with `path` appended (one "/" between them; the base's path kept).
    static QUrl join(const QUrl& base, const QString& path);
};
