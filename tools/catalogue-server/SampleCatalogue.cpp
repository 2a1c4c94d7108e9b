#include "SampleCatalogue.h"

#include "HeadlineWriter.h"
#include "SampleRandom.h"

#include <algorithm>
#include <limits>

namespace {

struct FeedDefinition {
    const char* title;
    const char* domain;
    const char* sourceType;
    const char* category;
};

// The feeds of the sample catalogue, on invented hosts.
const FeedDefinition kFeeds[] = {
    {"The Meridian Wire", "meridianwire.example", "rss", "world"},
    {"Harbour Ledger World", "harbourledger.example", "rss", "world"},
    {"Atlas Dispatch", "atlasdispatch.example", "newsapi", "world"},
    {"Global Desk Digest", "globaldesk.example", "newsapi", "world"},
    {"r/worldbrief", "reddit.example", "reddit", "world"},
    {"Foreign Notes", "foreignnotes.example", "substack", "world"},
    {"Dateline Daily", "datelinedaily.example", "podcast", "world"},
    {"Capitol Column", "capitolcolumn.example", "rss", "politics"},
    {"The Ballot Box", "ballotbox.example", "substack", "politics"},
    {"Northgate Courier Politics", "northgatecourier.example", "rss", "politics"},
    {"Policy Wire", "policywire.example", "newsapi", "politics"},
    {"Chamber Talk", "chambertalk.example", "podcast", "politics"},
    {"r/policydebate", "reddit.example", "reddit", "politics"},
    {"Ledger & Lane", "ledgerandlane.example", "rss", "business"},
    {"The Quarterly Brief", "quarterlybrief.example", "substack", "business"},
    {"Founders Weekly", "foundersweekly.example", "medium", "business"},
    {"Commerce Post", "commercepost.example", "rss", "business"},
    {"Boardroom Hour", "boardroomhour.example", "podcast", "business"},
    {"Supply Line Review", "supplylinereview.example", "rss", "business"},
    {"Ticker Tape Journal", "tickertape.example", "rss", "markets"},
    {"Bond Street Notes", "bondstreetnotes.example", "substack", "markets"},
    {"Market Pulse Wire", "marketpulse.example", "newsapi", "markets"},
    {"r/marketwatchers", "reddit.example", "reddit", "markets"},
    {"Chart Room", "chartroom.example", "youtube", "markets"},
    {"Yield Curve Daily", "yieldcurve.example", "rss", "markets"},
    {"Circuit Gazette", "circuitgazette.example", "rss", "technology"},
    {"Stackline", "stackline.example", "rss", "technology"},
    {"HN Front Page", "news.hackernews.example", "hackernews", "technology"},
    {"HN Best", "news.hackernews.example", "hackernews", "technology"},
    {"Kernel Notes", "kernelnotes.example", "medium", "technology"},
    {"lumen-lang/lumen releases", "github.example", "github", "technology"},
    {"Byte Sized", "bytesized.example", "youtube", "technology"},
    {"The Patch Tuesday Show", "patchtuesday.example", "podcast", "technology"},
    {"Gradient Review", "gradientreview.example", "rss", "ai-research"},
    {"Latent Letters", "latentletters.example", "substack", "ai-research"},
    {"Tensorworks Blog", "tensorworks.example", "medium", "ai-research"},
    {"openweights/runtime releases", "github.example", "github", "ai-research"},
    {"Paper Digest AI", "paperdigest.example", "rss", "ai-research"},
    {"Model Minutes", "modelminutes.example", "youtube", "ai-research"},
    {"Field & Lab", "fieldandlab.example", "rss", "science"},
    {"Orbital Report", "orbitalreport.example", "rss", "science"},
    {"Deep Sky Weekly", "deepsky.example", "youtube", "science"},
    {"The Lab Bench", "labbench.example", "podcast", "science"},
    {"Elementary Notes", "elementarynotes.example", "medium", "science"},
    {"r/askscientists", "reddit.example", "reddit", "science"},
    {"Greenline News", "greenline.example", "rss", "climate"},
    {"Emission Desk", "emissiondesk.example", "rss", "climate"},
    {"Weatherfront", "weatherfront.example", "newsapi", "climate"},
    {"The Thaw", "thethaw.example", "substack", "climate"},
    {"Tidewater Climate", "tidewaterclimate.example", "rss", "climate"},
    {"Marquee Review", "marqueereview.example", "rss", "culture"},
    {"Gallery Notes", "gallerynotes.example", "substack", "culture"},
    {"Reel Talk", "reeltalk.example", "podcast", "culture"},
    {"Stage & Screen", "stageandscreen.example", "rss", "culture"},
    {"Soundcheck", "soundcheck.example", "youtube", "culture"},
    {"Paperback Club", "paperbackclub.example", "medium", "culture"},
    {"Touchline Times", "touchline.example", "rss", "sports"},
    {"Full Court Press", "fullcourt.example", "rss", "sports"},
    {"The Long Rally", "longrally.example", "podcast", "sports"},
    {"Pitchside Live", "pitchside.example", "youtube", "sports"},
    {"r/matchthread", "reddit.example", "reddit", "sports"},
    {"Box Score Wire", "boxscore.example", "newsapi", "sports"},
};

QList<SamplePillar> makePillars()
{
    return {
        {"world-politics", "World & Politics", "globe.europe.africa.fill", "7E8BA8",
         "Wires, correspondents and the people who govern.", 1},
        {"business-money", "Business & Money", "chart.line.uptrend.xyaxis", "4FD1C4",
         "Companies, markets and the economy.", 2},
        {"tech-ai", "Tech & AI", "cpu", "6699FF", "Software, hardware and machine learning.", 3},
        {"science-environment", "Science & Environment", "leaf.fill", "4FA3A5",
         "Discoveries, space and the climate.", 4},
        {"culture-arts", "Culture & Arts", "theatermasks.fill", "7A6FF0", "Film, books, music and the stage.", 5},
        {"sports", "Sports", "sportscourt.fill", "5E6BAA", "Results, transfers and the long reads.", 6},
    };
}

QList<SampleCategory> makeCategories()
{
    return {
        {"c-world", "World", "world", "world-politics", 1},
        {"c-politics", "Politics", "politics", "world-politics", 2},
        {"c-business", "Business", "business", "business-money", 3},
        {"c-markets", "Markets", "markets", "business-money", 4},
        {"c-technology", "Technology", "technology", "tech-ai", 5},
        {"c-ai-research", "AI & Research", "ai-research", "tech-ai", 6},
        {"c-science", "Science", "science", "science-environment", 7},
        {"c-climate", "Climate", "climate", "science-environment", 8},
        {"c-culture", "Culture", "culture", "culture-arts", 9},
        {"c-sports", "Sports", "sports", "sports", 10},
    };
}

QList<SampleTopic> makeTopics()
{
    return {
        {"t-elections", "Election Watch", "world-politics", "#7E8BA8",
         {"election", "ballot", "coalition", "turnout"}, {"politics", "world"}},
        {"t-rates", "Rate Decisions", "business-money", "#4FD1C4",
         {"rates", "inflation", "central bank", "bond yields"}, {"markets", "business"}},
        {"t-ai", "Model Race", "tech-ai", "#6699FF",
         {"model", "chips", "open weights", "benchmark"}, {"ai-research", "technology"}},
        {"t-climate", "Climate Talks", "science-environment", "#4FA3A5",
         {"emissions", "heatwave", "summit", "solar"}, {"climate"}},
        {"t-space", "Space Missions", "space-missions", "#B38FF2",
         {"lunar", "launch", "orbit", "telescope"}, {"science"}},
        {"t-film", "Festival Season", "culture-arts", "#7A6FF0",
         {"festival", "premiere", "award", "box office"}, {"culture"}},
        {"t-finals", "League Finals", "sports", "#5E6BAA",
         {"final", "title", "transfer", "injury"}, {"sports"}},
        {"t-security", "Cyber Security", "cyber-security", "#F57373",
         {"breach", "ransomware", "patch", "outage"}, {"technology", "world"}},
    };
}

std::pair<int, int> cadenceRange(const QString& sourceType)
{
    if (sourceType == QLatin1String("hackernews"))
        return {10, 30};
    if (sourceType == QLatin1String("reddit"))
        return {20, 60};
    if (sourceType == QLatin1String("substack") || sourceType == QLatin1String("medium"))
        return {240, 1440};
    if (sourceType == QLatin1String("youtube"))
        return {180, 720};
    if (sourceType == QLatin1String("podcast"))
        return {720, 2880};
    if (sourceType == QLatin1String("github"))
        return {1440, 4320};
    return {15, 90};
}

QString feedUrl(const SampleFeed& feed)
{
    const QString type = feed.sourceType;
    if (type == QLatin1String("reddit"))
        return QStringLiteral("https://reddit.example/%1/.rss").arg(feed.title);
    if (type == QLatin1String("github"))
        return QStringLiteral("https://github.example/%1.atom").arg(feed.title.section(QLatin1Char(' '), 0, 0) + "/releases");
    if (type == QLatin1String("hackernews"))
        return QStringLiteral("https://%1/%2.rss").arg(feed.domain, feed.slug);
    if (type == QLatin1String("youtube"))
        return QStringLiteral("https://%1/videos.xml").arg(feed.domain);
    if (type == QLatin1String("podcast"))
        return QStringLiteral("https://%1/podcast.xml").arg(feed.domain);
    return QStringLiteral("https://%1/feed").arg(feed.domain);
}

QString itemUrl(const SampleFeed& feed, qint64 slot, const QString& title, const QDateTime& when)
{
    const QString slug = HeadlineWriter::slugOf(title);
    const QString type = feed.sourceType;
    if (type == QLatin1String("hackernews"))
        return QStringLiteral("https://%1/item?id=%2").arg(feed.domain).arg(30000000 + (slot * 7919) % 9000000);
    if (type == QLatin1String("github"))
        return QStringLiteral("https://github.example/%1/releases/%2")
            .arg(feed.title.section(QLatin1Char(' '), 0, 0)).arg(slot);
    if (type == QLatin1String("reddit"))
        return QStringLiteral("https://reddit.example/%1/comments/%2/%3/")
            .arg(feed.title).arg(QString::number(slot, 36)).arg(slug.left(40));
    if (type == QLatin1String("youtube"))
        return QStringLiteral("https://%1/watch?v=%2").arg(feed.domain).arg(QString::number(slot * 104729, 36));
    if (type == QLatin1String("podcast"))
        return QStringLiteral("https://%1/episodes/%2").arg(feed.domain, slug);
    return QStringLiteral("https://%1/%2/%3").arg(feed.domain, when.toString(QStringLiteral("yyyy/MM/dd")), slug);
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

constexpr qint64 kDay = 86400;

} // namespace

SampleCatalogue::SampleCatalogue(quint64 seed)
    : m_seed(seed), m_pillars(makePillars()), m_categories(makeCategories()), m_topics(makeTopics())
{
    for (const FeedDefinition& d : kFeeds) {
        SampleFeed feed;
        feed.title = QString::fromUtf8(d.title);
        feed.slug = HeadlineWriter::slugOf(feed.title);
        feed.id = QStringLiteral("f-") + feed.slug;
        feed.domain = QString::fromUtf8(d.domain);
        feed.sourceType = QString::fromUtf8(d.sourceType);
        for (int i = 0; i < m_categories.size(); ++i)
            if (m_categories.at(i).slug == QLatin1String(d.category))
                feed.category = i;
        SampleRandom random(seed, feed.id);
        const auto [low, high] = cadenceRange(feed.sourceType);
        feed.cadenceMinutes = random.between(low, high);
        feed.offsetMinutes = random.below(feed.cadenceMinutes);
        feed.rankScore = random.between(20, 99) / 100.0;
        feed.ownIcon = random.chance(0.15);
        feed.url = feedUrl(feed);
        m_feeds.append(feed);
    }
    assignStates();
}

void SampleCatalogue::assignStates()
{
    // A fixed number of each, on feeds the seed chooses.
    QList<int> order;
    for (int i = 0; i < m_feeds.size(); ++i)
        order.append(i);
    SampleRandom random(m_seed, QStringLiteral("states"));
    for (int i = int(order.size()) - 1; i > 0; --i)
        std::swap(order[i], order[random.below(i + 1)]);
    for (int i = 0; i < 10; ++i)
        m_feeds[order.at(i)].state = i < 3 ? FeedState::Inactive : i < 6 ? FeedState::Broken : FeedState::Quiet;
}

int SampleCatalogue::feedIndex(const QString& id) const
{
    for (int i = 0; i < m_feeds.size(); ++i)
        if (m_feeds.at(i).id == id)
            return i;
    return -1;
}

int SampleCatalogue::feedCountOfPillar(const QString& slug) const
{
    return int(std::count_if(m_feeds.begin(), m_feeds.end(),
                             [&](const SampleFeed& f) { return categoryOf(f).pillar == slug; }));
}

qint64 SampleCatalogue::slotTime(const SampleFeed& feed, qint64 slot) const
{
    const qint64 period = qint64(feed.cadenceMinutes) * 60;
    SampleRandom random(m_seed, feed.id, slot);
    const int jitter = random.below(int(std::min<qint64>(period / 2, 1500)));
    return slot * period + qint64(feed.offsetMinutes) * 60 + jitter;
}

qint64 SampleCatalogue::newestSlot(const SampleFeed& feed, qint64 nowSecs) const
{
    const qint64 period = qint64(feed.cadenceMinutes) * 60;
    qint64 slot = floorDiv(nowSecs - qint64(feed.offsetMinutes) * 60, period);
    if (slotTime(feed, slot) > nowSecs)
        --slot;
    return slot;
}

qint64 SampleCatalogue::lastPublishingSecond(const SampleFeed& feed, qint64 nowSecs) const
{
    if (feed.state != FeedState::Quiet)
        return nowSecs;
    // Went quiet 8 to 20 days before the start of today (UTC).
    SampleRandom random(m_seed, feed.id, -1);
    const qint64 dayStart = floorDiv(nowSecs, kDay) * kDay;
    return std::min(nowSecs, dayStart - random.between(8, 20) * kDay + 13 * 3600);
}

SampleItem SampleCatalogue::itemAt(int feedIndex, qint64 slot) const
{
    const SampleFeed& feed = m_feeds.at(feedIndex);
    const QString category = categoryOf(feed).slug;
    SampleRandom random(m_seed ^ 0x5eed, feed.id, slot);

    QStringList topicIds;
    for (const SampleTopic& topic : m_topics)
        if (topic.categorySlugs.contains(category))
            topicIds.append(topic.id);
    const QString base = !topicIds.isEmpty() && random.chance(0.35)
                             ? HeadlineWriter::topicHeadline(random.pick(topicIds), random)
                             : HeadlineWriter::headline(category, random);

    SampleItem item;
    item.feed = feedIndex;
    item.id = QStringLiteral("%1-%2").arg(feed.id).arg(slot);
    item.title = HeadlineWriter::forSourceType(feed.sourceType, base, random);
    item.publishedAt = QDateTime::fromSecsSinceEpoch(slotTime(feed, slot), Qt::UTC);
    item.url = itemUrl(feed, slot, item.title, item.publishedAt);
    const bool visual = feed.sourceType == QLatin1String("youtube") || feed.sourceType == QLatin1String("podcast");
    item.hasImage = visual || (feed.sourceType != QLatin1String("github") && random.chance(0.45));
    return item;
}

QList<SampleItem> SampleCatalogue::itemsOf(int feedIndex, const QDateTime& now, int limit,
                                           std::optional<QDateTime> notBefore) const
{
    QList<SampleItem> items;
    if (feedIndex < 0 || feedIndex >= m_feeds.size() || limit <= 0)
        return items;
    const SampleFeed& feed = m_feeds.at(feedIndex);
    if (feed.state == FeedState::Broken || feed.state == FeedState::Inactive)
        return items;
    const qint64 last = lastPublishingSecond(feed, now.toSecsSinceEpoch());
    const qint64 earliest = notBefore ? notBefore->toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    for (qint64 slot = newestSlot(feed, last); items.size() < limit; --slot) {
        if (slotTime(feed, slot) < earliest)
            break;
        items.append(itemAt(feedIndex, slot));
    }
    return items;
}

std::optional<QDateTime> SampleCatalogue::lastItemAt(int feedIndex, const QDateTime& now) const
{
    const SampleFeed& feed = m_feeds.at(feedIndex);
    const qint64 nowSecs = now.toSecsSinceEpoch();
    if (feed.state == FeedState::Inactive)
        return std::nullopt;
    if (feed.state == FeedState::Broken)
        return QDateTime::fromSecsSinceEpoch(floorDiv(nowSecs, kDay) * kDay - 40 * kDay, Qt::UTC);
    const qint64 last = lastPublishingSecond(feed, nowSecs);
    return QDateTime::fromSecsSinceEpoch(slotTime(feed, newestSlot(feed, last)), Qt::UTC);
}

int SampleCatalogue::countWithin(int feedIndex, const QDateTime& now, qint64 seconds) const
{
    const SampleFeed& feed = m_feeds.at(feedIndex);
    if (feed.state == FeedState::Broken || feed.state == FeedState::Inactive)
        return 0;
    const qint64 nowSecs = now.toSecsSinceEpoch();
    const qint64 from = nowSecs - seconds;
    const qint64 newest = newestSlot(feed, lastPublishingSecond(feed, nowSecs));
    if (slotTime(feed, newest) <= from)
        return 0;
    // Slots are in time order, so find the oldest one after `from` by its grid position.
    qint64 oldest = floorDiv(from - qint64(feed.offsetMinutes) * 60, qint64(feed.cadenceMinutes) * 60);
    if (slotTime(feed, oldest) <= from)
        ++oldest;
    return int(std::max<qint64>(0, newest - oldest + 1));
}
