#pragma once

#include "CatalogueReplies.h"
#include "MarketReplies.h"
#include "NowPlayingReplies.h"
#include "SampleCatalogue.h"
#include "SampleFeedDocuments.h"
#include "SuggestionDesk.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

// Maps one request to its answer: every path the server serves, with the
// query checks of each. Knows nothing of sockets or validators; the server
// adds those. Thread-safe: shared state lives in the suggestion desk.
class CatalogueRoutes {
public:
    struct Request {
        QByteArray method;       // "GET", "POST", …
        QString path;            // decoded, without the leading "/"
        QUrlQuery query;         // as sent; read values FullyDecoded
        QMap<QByteArray, QByteArray> headers;  // names lower-cased
        QByteArray body;
        QString client;          // remote address
    };
    struct Reply {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
    };

    CatalogueRoutes(const SampleCatalogue& catalogue, SuggestionDesk& desk, QUrl base,
                    std::function<QDateTime()> now);

    Reply answer(const Request& request) const;

private:
    Reply get(const Request& request, const QDateTime& now) const;
    Reply post(const Request& request, const QDateTime& now) const;
    Reply itemsBatch(const QUrlQuery& query, const QDateTime& now) const;
    Reply weather(const QUrlQuery& query, const QDateTime& now) const;
    Reply nowPlaying(const QUrlQuery& query, const QDateTime& now) const;
    Reply stockService(const Request& request, const QDateTime& now) const;
    Reply coinService(const Request& request, const QDateTime& now) const;
    Reply image(const QString& path) const;
    Reply feedDocument(const QString& path, const QDateTime& now) const;

    const SampleCatalogue& m_catalogue;
    SuggestionDesk& m_desk;
    QUrl m_base;
    std::function<QDateTime()> m_now;
    CatalogueReplies m_replies;
    NowPlayingReplies m_music;
    MarketReplies m_markets;
    SampleFeedDocuments m_documents;
};
