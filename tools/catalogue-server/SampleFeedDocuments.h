#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// Personal-feed fixtures served under /feeds/: an RSS 2.0 channel (media and
// enclosure images, CDATA, an image title that is not the feed title), an
// RSS 1.0 (RDF) channel and an Atom feed, with dates relative to now.
class SampleFeedDocuments {
public:
    struct Document {
        QByteArray body;
        QByteArray contentType;
    };

    SampleFeedDocuments(quint64 seed, QUrl base);

    // The file names served, e.g. "harbour-ledger.rss".
    static QStringList names();
    std::optional<Document> document(const QString& name, const QDateTime& now) const;
    // A small HTML page linking every document.
    QByteArray index() const;

    QByteArray rss2(const QDateTime& now) const;
    QByteArray rdf(const QDateTime& now) const;
    QByteArray atom(const QDateTime& now) const;

private:
    QString imageUrl(const QString& key) const;
    // The i-th entry's time: newest first, 40 to 90 minutes apart.
    QDateTime entryTime(const QString& feed, int index, const QDateTime& now) const;

    quint64 m_seed;
    QUrl m_base;
};
