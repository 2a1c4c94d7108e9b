#include "NowPlayingReplies.h"

#include "HeadlineWriter.h"
#include "SampleRandom.h"

#include <QJsonArray>
#include <QStringList>
#include <QUuid>

namespace {

struct KnownArtist {
    const char* name;
    const char* country;
};

const KnownArtist kArtists[] = {
    {"The Lanterns", "IE"},
    {"Mara Vell", "NO"},
    {"Saltwater Choir", "CA"},
    {"Kito & the Night Bus", "GB"},
};

const KnownArtist* knownArtist(const QString& name)
{
    for (const KnownArtist& a : kArtists)
        if (name.compare(QString::fromUtf8(a.name), Qt::CaseInsensitive) == 0)
            return &a;
    return nullptr;
}

struct StreamPlan {
    const char* key;
    const char* source;
    QStringList patterns;  // "%1" = artist, "%2" = track or a song title
};

const QList<StreamPlan>& plans()
{
    static const QList<StreamPlan> list = {
        {"corpus", "Liner Notes", {"The making of %1's breakthrough record", "%1: a listener's guide",
                                   "Why %1's \"%2\" still sounds new"}},
        {"news", "Soundcheck", {"%1 announce a world tour for next year", "%1 share a surprise single",
                                "%1 to headline the harbour festival"}},
        {"videos", "Byte Sized", {"%1 – \"%2\" (live session)", "%1 in the studio: building \"%2\""}},
        {"cards", "Fact Cards", {"%1 played their first show in a library basement"}},
        {"similar", "Discovery", {"If you like %1, try these five bands"}},
        {"press", "Marquee Review", {"Review: %1 at the Corn Exchange", "Interview: %1 on fame and quiet"}},
        {"social", "r/listeningparty", {"%1 fans, what's your favourite deep cut?"}},
    };
    return list;
}

} // namespace

NowPlayingReplies::NowPlayingReplies(quint64 seed, QUrl base) : m_seed(seed), m_base(std::move(base)) {}

bool NowPlayingReplies::isKnownArtist(const QString& artist)
{
    return knownArtist(artist.trimmed()) != nullptr;
}

QString NowPlayingReplies::artworkUrl(const QString& artist, int size) const
{
    const QString slug = HeadlineWriter::slugOf(artist);
    return m_base.resolved(QUrl(QStringLiteral("art/%1/%2x%2bb.png").arg(slug.isEmpty() ? "artist" : slug).arg(size)))
        .toString();
}

QJsonObject NowPlayingReplies::bundle(const QString& artistText, const std::optional<QString>& track,
                                      const QDateTime& now) const
{
    const QString artist = artistText.trimmed();
    const KnownArtist* known = knownArtist(artist);
    const QString name = known ? QString::fromUtf8(known->name) : artist;
    const QString slug = HeadlineWriter::slugOf(name);
    const QString song = track && !track->trimmed().isEmpty() ? track->trimmed() : QStringLiteral("Low Tide");
    SampleRandom random(m_seed, name.toLower(), now.toSecsSinceEpoch() / 86400);

    QJsonObject streams;
    for (int s = 0; s < plans().size(); ++s) {
        const StreamPlan& plan = plans().at(s);
        if (!known && s >= 3) {
            continue;  // optional streams only for the known artists
        }
        const int count = known ? int(plan.patterns.size()) : 1;
        QJsonArray entries;
        for (int i = 0; i < count; ++i) {
            const QString& pattern = plan.patterns.at(i);
            const QString title = pattern.contains(QLatin1String("%2")) ? pattern.arg(name, song) : pattern.arg(name);
            QJsonObject entry{{"title", title},
                              {"url", QStringLiteral("https://music.example/%1/%2/%3").arg(slug, plan.key).arg(i + 1)},
                              {"source", QString::fromUtf8(plan.source)}};
            if (s != 3)  // fact cards are undated
                entry.insert("published_at",
                             now.addSecs(-qint64(random.between(2, 24 * 20)) * 3600).toString(Qt::ISODate));
            if (s == 2 || random.chance(0.4))
                entry.insert("image", artworkUrl(name, 600));
            entries.append(entry);
        }
        streams.insert(QString::fromUtf8(plan.key), entries);
    }

    QJsonObject artistInfo{{"name", name}};
    QJsonArray links{QJsonObject{{"type", "official"}, {"url", QStringLiteral("https://music.example/%1").arg(slug)}}};
    QJsonObject reply;
    if (known) {
        artistInfo.insert("mbid", QUuid::createUuidV5(QUuid(), name).toString(QUuid::WithoutBraces));
        artistInfo.insert("country", QString::fromUtf8(known->country));
        links.append(QJsonObject{{"type", "wiki"}, {"url", QStringLiteral("https://wiki.example/%1").arg(slug)}});
        links.append(QJsonObject{{"type", "store"}, {"url", QStringLiteral("https://shop.example/%1").arg(slug)}});
        reply.insert("artwork", artworkUrl(name, 600));
    }
    reply.insert("artist", artistInfo);
    reply.insert("links", links);
    reply.insert("streams", streams);
    return reply;
}

QJsonObject NowPlayingReplies::artworkSearch(const QString& term) const
{
    const QString text = term.trimmed();
    if (text.isEmpty())
        return QJsonObject{{"resultCount", 0}, {"results", QJsonArray()}};
    // The artist is the part before the first space that ends a known name, or the whole term.
    QString artist = text;
    for (const KnownArtist& a : kArtists)
        if (text.startsWith(QString::fromUtf8(a.name), Qt::CaseInsensitive))
            artist = QString::fromUtf8(a.name);
    const QJsonObject result{{"wrapperType", "track"},
                             {"kind", "song"},
                             {"artistName", artist},
                             {"trackName", text.mid(artist.size()).trimmed()},
                             {"artworkUrl100", artworkUrl(artist, 100)}};
    return QJsonObject{{"resultCount", 1}, {"results", QJsonArray{result}}};
}
