#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

// Now-playing bundles for any artist: a few known artists get a full bundle
// (all seven streams, links, country), anyone else a smaller generated one.
// Also the artwork search stand-in that answers with art this server draws.
class NowPlayingReplies {
public:
    NowPlayingReplies(quint64 seed, QUrl base);

    QJsonObject bundle(const QString& artist, const std::optional<QString>& track, const QDateTime& now) const;
    // The search-service reply for `term`: one song result with "artworkUrl100".
    QJsonObject artworkSearch(const QString& term) const;

    static bool isKnownArtist(const QString& artist);

private:
    QString artworkUrl(const QString& artist, int size) const;

    quint64 m_seed;
    QUrl m_base;
};
