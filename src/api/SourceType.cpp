#include "api/SourceType.h"

#include "api/Palette.h"

namespace {

struct KindInfo {
    SourceType type;
    const char* raw;
    const char* display;
    const char* badge;  // nullptr: no badge
    const char* symbol;
};

constexpr KindInfo kKinds[] = {
    {SourceType::Rss, "rss", "RSS", nullptr, "dot.radiowaves.left.and.right"},
    {SourceType::HackerNews, "hackernews", "Hacker News", "HN", "flame.fill"},
    {SourceType::GitHub, "github", "GitHub", "REPO", "chevron.left.forwardslash.chevron.right"},
    {SourceType::Substack, "substack", "Substack", "NEWSLETTER", "envelope.fill"},
    {SourceType::YouTube, "youtube", "YouTube", "VIDEO", "play.rectangle.fill"},
    {SourceType::Medium, "medium", "Medium", "POST", "doc.richtext"},
    {SourceType::Reddit, "reddit", "Reddit", "THREAD", "bubble.left.and.bubble.right.fill"},
    {SourceType::Podcast, "podcast", "Podcasts", "AUDIO", "mic.fill"},
    {SourceType::NewsApi, "newsapi", "News APIs", nullptr, "newspaper.fill"},
};

const KindInfo& info(SourceType type)
{
    return kKinds[static_cast<int>(type)];
}

} // namespace

const QList<SourceType>& allSourceTypes()
{
    static const QList<SourceType> all = [] {
        QList<SourceType> out;
        for (const auto& k : kKinds)
            out.append(k.type);
        return out;
    }();
    return all;
}

QString rawValue(SourceType type)
{
    return QString::fromLatin1(info(type).raw);
}

std::optional<SourceType> sourceTypeFromRawValue(QStringView raw)
{
    for (const auto& k : kKinds) {
        if (raw == QLatin1String(k.raw))
            return k.type;
    }
    return std::nullopt;
}

SourceType sourceTypeDecoding(QStringView raw)
{
    return sourceTypeFromRawValue(raw).value_or(SourceType::Rss);
}

QString displayName(SourceType type)
{
    return QString::fromLatin1(info(type).display);
}

std::optional<QString> badgeText(SourceType type)
{
    if (const char* badge = info(type).badge)
        return QString::fromLatin1(badge);
    return std::nullopt;
}

QColor accentColor(SourceType type)
{
    switch (type) {
    case SourceType::Rss: return Palette::accent();
    case SourceType::HackerNews: return QColor::fromRgbF(1.0f, 0.4f, 0.0f);
    case SourceType::GitHub: return QColor::fromRgbF(0.85f, 0.85f, 0.85f);
    case SourceType::Substack: return QColor::fromRgbF(1.0f, 0.42f, 0.25f);
    case SourceType::YouTube: return QColor::fromRgbF(1.0f, 0.17f, 0.17f);
    case SourceType::Medium: return QColor::fromRgbF(0.95f, 0.95f, 0.95f);
    case SourceType::Reddit: return QColor::fromRgbF(1.0f, 0.27f, 0.0f);
    case SourceType::Podcast: return QColor::fromRgbF(0.6f, 0.4f, 0.85f);
    case SourceType::NewsApi: return Palette::slate();
    }
    return Palette::accent();
}

QString symbolName(SourceType type)
{
    return QString::fromLatin1(info(type).symbol);
}
