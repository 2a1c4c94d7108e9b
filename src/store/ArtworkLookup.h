#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// Cover art for a track from the public iTunes Search API.
namespace ArtworkLookup {

// `base` + "/search?term=<artist> <track>&entity=song&limit=1".
QUrl searchUrl(const QUrl& base, const QString& artist, const QString& track);

// The first result's "artworkUrl100" with "100x100" widened to "600x600";
// nothing for a body that is not JSON, has no results or no usable address.
std::optional<QUrl> artworkFromReply(const QByteArray& body);

// One lookup against `base` (5-second timeout, body capped). Any failure
// gives nothing; the caller keeps the artwork it has.
QCoro::Task<std::optional<QUrl>> lookUp(QNetworkAccessManager* network, QUrl base, QString artist,
                                        QString track, std::stop_token stop);

} // namespace ArtworkLookup
