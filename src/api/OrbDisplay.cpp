// Display helpers of Orb: intensity, caption, keyword sets and links, colour.
#include "api/OrbModels.h"

#include "api/Color.h"
#include "api/Palette.h"
#include "platform/session/UrlOpener.h"

namespace {

bool nonEmpty(const std::optional<QString>& s)
{
    return s && !s->isEmpty();
}

// Both colours present, non-empty and different.
bool hasDistinctColours(const Orb& orb)
{
    return nonEmpty(orb.displayColor) && nonEmpty(orb.restingColor) && *orb.displayColor != *orb.restingColor;
}

QSet<QString> lowerNonEmpty(const std::optional<QStringList>& list)
{
    QSet<QString> out;
    if (!list)
        return out;
    for (const QString& s : *list) {
        if (!s.isEmpty())
            out.insert(s.toLower());
    }
    return out;
}

} // namespace

double Orb::velocityIntensity() const
{
    if (velocity && velocity->perHour && *velocity->perHour > 0) {
        const double perHour = *velocity->perHour;
        return std::min(1.0, perHour / (perHour + 6.0));
    }
    const QString word = velocity && velocity->ui ? velocity->ui->toLower() : QString();
    static const QStringList fast{"surging", "spiking", "hot", "high"};
    static const QStringList medium{"rising", "climbing", "medium"};
    static const QStringList slow{"steady", "calm", "low"};
    if (fast.contains(word))
        return 0.9;
    if (medium.contains(word))
        return 0.55;
    if (slow.contains(word))
        return 0.2;
    return 0.0;
}

QString Orb::statusLabel() const
{
    if (hasDistinctColours(*this) && sentiment && nonEmpty(sentiment->label))
        return sentiment->label->toUpper();
    if (velocity && nonEmpty(velocity->ui))
        return velocity->ui->toUpper();
    if (!volume || *volume < 1)
        return QStringLiteral("SCANNING\u2026");
    return QString::number(*volume) + (*volume == 1 ? QStringLiteral(" SIGNAL") : QStringLiteral(" SIGNALS"));
}

QStringList Orb::normalizedKeywords() const
{
    QStringList out;
    if (!keywords)
        return out;
    for (const QString& k : *keywords) {
        if (!k.isEmpty())
            out.append(k.toLower());
    }
    return out;
}

QSet<QString> Orb::topItemIDs() const
{
    QSet<QString> out;
    if (topItems) {
        for (const TopItem& t : *topItems)
            out.insert(t.itemId);
    }
    return out;
}

QSet<QString> Orb::normalizedCategorySlugs() const
{
    return lowerNonEmpty(categorySlugs);
}

std::optional<QUrl> Orb::keywordURL(qsizetype index) const
{
    if (!keywordUrls || index < 0 || index >= keywordUrls->size())
        return std::nullopt;
    const std::optional<QString>& entry = (*keywordUrls)[index];
    if (!nonEmpty(entry))
        return std::nullopt;
    return webUrl(*entry);
}

QColor Orb::color(const QList<Topic>& topics) const
{
    // A colour text that spells no colour falls through to the next rule
    // instead of drawing an invisible orb.
    if (hasDistinctColours(*this) && Color::isValidHex(*displayColor))
        return Color::hex(*displayColor);
    const auto topic = std::find_if(topics.cbegin(), topics.cend(), [this](const Topic& t) { return t.id == id; });
    if (topic != topics.cend()) {
        const auto& pillars = pillarSlugColors();
        if (const auto it = pillars.constFind(topic->slug); it != pillars.constEnd())
            return it.value();
    }
    if (nonEmpty(displayColor) || nonEmpty(restingColor))
        return Palette::orbNeutral();
    return Palette::accent();
}
