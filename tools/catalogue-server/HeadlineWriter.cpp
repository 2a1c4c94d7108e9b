#include "HeadlineWriter.h"

#include <QHash>
#include <QRegularExpression>

namespace {

const QStringList kPlaces = {
    "Lisbon", "Nairobi", "Osaka", "Santiago", "Oslo", "Manila", "Toronto", "Warsaw", "Cairo",
    "Melbourne", "Bogotá", "Reykjavík", "Seoul", "Accra", "Marseille", "Hanoi", "Montréal", "Tbilisi",
};
const QStringList kCountries = {
    "Portugal", "Kenya", "Japan", "Chile", "Norway", "the Philippines", "Canada", "Poland", "Egypt",
    "Australia", "Colombia", "Iceland", "South Korea", "Ghana", "Vietnam", "Georgia",
};
const QStringList kCompanies = {
    "Northwind Systems", "Halcyon Motors", "Brightwater Bank", "Kestrel Aerospace", "Larkspur Foods",
    "Quillon Labs", "Tessera Energy", "Orchard Retail", "Vantage Freight", "Cobalt Pharma",
    "Meridian Telecom", "Ashgrove Insurance",
};
const QStringList kPeople = {
    "Adaeze Okafor", "Ruth Calloway", "Marta Lindqvist", "Tomás Ferreira", "Hana Sato",
    "Idris Mensah", "Clara Vogt", "Rafael Quintero", "Mei-Lin Zhou", "Jonah Adebayo",
};
const QStringList kTeams = {
    "Riverside Rovers", "Northport United", "Harbour City", "the Lakeside Hawks", "Eastvale Athletic",
    "the Granite Bears", "Westbrook FC", "the Coastline Comets",
};
const QStringList kProducts = {
    "Lumen", "Tidepool", "Quartzdb", "Hollow", "Ferrite", "Sparrow OS", "Cinder", "Mosaic",
};

const QHash<QString, QStringList>& categoryPatterns()
{
    static const QHash<QString, QStringList> patterns = {
        {"world", {
            "{place} and {place2} agree on new border crossing deal",
            "Floods force thousands from their homes in northern {country}",
            "{country} to hold snap referendum after a week of protests",
            "Aid convoy reaches {place} as ceasefire holds for a third day",
            "Foreign ministers meet in {place} to revive a stalled trade pact",
            "Power restored across {place} after overnight grid failure",
            "{country}'s parliament approves emergency budget",
            "Earthquake of magnitude {mag} strikes off the coast of {country}",
            "Rail strike halts services between {place} and {place2}",
        }},
        {"politics", {
            "Minister {person} resigns over procurement row",
            "Opposition wins key by-election in {place}",
            "Q&amp;A: {person} on what comes after the budget vote",
            "Senate committee opens inquiry into {company} contracts",
            "Polls show tight race {num} days before the vote",
            "{person} unveils housing plan aimed at first-time buyers",
            "Lawmakers pass data privacy bill after {num}-hour debate",
            "Mayor of {place} survives confidence vote",
        }},
        {"business", {
            "{company} to cut {num}00 jobs in restructuring",
            "{company} agrees {money} takeover of {company2}",
            "{company} profit beats forecasts as demand recovers",
            "Shipping costs fall {pct}% as ports clear backlog",
            "{company} names {person} as chief executive",
            "Retail sales rise for a {ordinal} straight month",
            "{company} opens its largest factory yet in {place}",
            "Regulators fine {company} {money} over late disclosures",
        }},
        {"markets", {
            "Stocks edge higher as investors weigh jobs data",
            "Oil slips {pct}% on signs of ample supply",
            "{company} shares jump {pct}% after upbeat guidance",
            "Dollar steadies ahead of central bank minutes",
            "Gold hovers near record as traders seek safety",
            "Tech shares drag index lower for a {ordinal} session",
            "{company} shares slide {pct}% on weaker outlook",
            "Bitcoin swings as traders book profits",
        }},
        {"technology", {
            "{company} unveils foldable laptop with all-day battery",
            "{product} {version} ships with a rewritten scheduler",
            "{company} delays its flagship phone to next spring",
            "Browser makers agree on a common extension format",
            "{company} outage knocks payments offline for {num} hours",
            "Why {product} is quietly replacing cron at big shops",
            "Open-source {product} reaches {num}k contributors",
            "Satellite broadband arrives in rural {country}",
        }},
        {"ai-research", {
            "Researchers train a speech model on {num} languages",
            "{company} releases a small model that runs on phones",
            "New study finds chatbots still struggle with arithmetic",
            "Lab in {place} open-sources its robot grasping dataset",
            "How retrieval cut hallucinations in half: a field report",
            "{company} pauses face-matching pilot after complaints",
            "Benchmarks are saturating. What should replace them?",
            "A {num}-line explanation of attention that finally clicked",
        }},
        {"science", {
            "Astronomers spot water vapour on a distant exoplanet",
            "Ancient city uncovered beneath farmland near {place}",
            "New antibiotic class kills drug-resistant bacteria in mice",
            "Deep-sea survey finds {num} unknown species",
            "Physicists measure the proton's radius with new precision",
            "Bees can count to {small}, researchers say",
            "Fossil from {country} pushes back the origin of flowers",
            "Gene therapy restores partial sight in a small trial",
        }},
        {"climate", {
            "Record heat grips {place} for a {ordinal} day",
            "{country} doubles offshore wind target",
            "Glacier retreat speeds up in the {region}, survey shows",
            "{company} pledges to cut emissions {pct}% by 2035",
            "Drought shrinks river traffic to a trickle near {place}",
            "Coral reefs show signs of recovery after cool year",
            "Cities race to plant shade trees before summer",
            "Heat pumps outsell gas boilers in {country} for the first time",
        }},
        {"culture", {
            "{person}'s debut novel tops the bestseller list",
            "Museum in {place} returns looted bronzes",
            "Long-lost silent film found in an attic in {place}",
            "Review: a dazzling new staging of an old opera",
            "Streaming drama breaks viewing record in its first week",
            "{person} to direct a remake of a 1970s classic",
            "Street artists transform an empty mall in {place}",
            "Album of the week: a quiet, devastating return",
        }},
        {"sports", {
            "{team} beat {team2} {score} to go top",
            "{team} sack manager after {small} straight defeats",
            "Late goal sends {team} into the cup semi-finals",
            "{person} breaks the national 400m record in {place}",
            "{team} sign striker in record {money} deal",
            "Marathon in {place} moved to dawn as heat rises",
            "{team2} stun {team} with a last-minute winner",
            "Rain halts play with {team} on the brink",
        }},
    };
    return patterns;
}

const QHash<QString, QStringList>& topicPatterns()
{
    static const QHash<QString, QStringList> patterns = {
        {"t-elections", {
            "Coalition talks stall as the ballot count drags on in {country}",
            "Turnout hits a record high in the {place} election",
            "Election officials in {place} defend early ballot rules",
            "Coalition partners in {country} agree on a new cabinet",
        }},
        {"t-rates", {
            "Central bank holds rates as inflation cools to {pct}%",
            "Bond yields climb after hotter-than-expected inflation data",
            "Markets price in two rates cuts before summer",
            "Inflation surprise puts the central bank on alert",
        }},
        {"t-ai", {
            "{company} releases an open weights model that rivals giants",
            "Chips shortage slows the rollout of a new model at {company}",
            "New benchmark exposes gaps in reasoning model claims",
            "Startups bet on small model fine-tuning over giant chips clusters",
        }},
        {"t-climate", {
            "Climate summit in {place} ends with a deal on emissions",
            "Heatwave pushes power demand to a record in {country}",
            "Solar now supplies {pct}% of {country}'s electricity",
            "Summit delegates clash over emissions targets",
        }},
        {"t-space", {
            "Lunar lander touches down near the south pole",
            "Launch of the new telescope slips to next month",
            "Private crew returns from orbit after {num} days",
            "Telescope captures the sharpest lunar image yet",
        }},
        {"t-film", {
            "Festival opens in {place} with a surprise premiere",
            "Indie drama wins the top award at the {place} festival",
            "Premiere crowds brave the rain as festival season begins",
            "Box office rebounds as festival favourites go wide",
        }},
        {"t-finals", {
            "{team} clinch the title in a tense final",
            "Injury doubt hangs over {team} before the final",
            "{team} reach their first final in {num} years",
            "Transfer window: {team} chase a title-winning keeper",
        }},
        {"t-security", {
            "Ransomware attack disrupts hospitals in {place}",
            "{company} confirms breach affecting {num}0,000 customers",
            "Emergency patch fixes a flaw exploited in the wild",
            "Outage at {company} traced to an expired certificate",
        }},
    };
    return patterns;
}

QString pickOther(const QStringList& list, const QString& avoid, SampleRandom& random)
{
    for (int i = 0; i < 8; ++i) {
        const QString& candidate = random.pick(list);
        if (candidate != avoid)
            return candidate;
    }
    return list.first() == avoid ? list.last() : list.first();
}

} // namespace

QString HeadlineWriter::fill(QString pattern, SampleRandom& random)
{
    static const QStringList ordinals = {"second", "third", "fourth", "fifth", "sixth"};
    static const QStringList regions = {"Alps", "Andes", "Himalayas", "Rockies", "Arctic"};
    const QString place = random.pick(kPlaces);
    const QString company = random.pick(kCompanies);
    const QString team = random.pick(kTeams);
    const QList<std::pair<QString, QString>> fills = {
        {"{place2}", pickOther(kPlaces, place, random)},
        {"{place}", place},
        {"{country}", random.pick(kCountries)},
        {"{company2}", pickOther(kCompanies, company, random)},
        {"{company}", company},
        {"{person}", random.pick(kPeople)},
        {"{team2}", pickOther(kTeams, team, random)},
        {"{team}", team},
        {"{product}", random.pick(kProducts)},
        {"{version}", QStringLiteral("%1.%2").arg(random.between(1, 9)).arg(random.between(0, 30))},
        {"{num}", QString::number(random.between(12, 240))},
        {"{small}", QString::number(random.between(3, 6))},
        {"{pct}", QString::number(random.between(2, 19))},
        {"{mag}", QStringLiteral("%1.%2").arg(random.between(5, 7)).arg(random.between(0, 9))},
        {"{money}", QStringLiteral("$%1bn").arg(random.between(1, 48))},
        {"{score}", QStringLiteral("%1-%2").arg(random.between(2, 4)).arg(random.between(0, 1))},
        {"{ordinal}", random.pick(ordinals)},
        {"{region}", random.pick(regions)},
    };
    for (const auto& [key, value] : fills)
        pattern.replace(key, value);
    if (!pattern.isEmpty())
        pattern[0] = pattern[0].toUpper();
    return pattern;
}

QString HeadlineWriter::headline(const QString& categorySlug, SampleRandom& random)
{
    const auto& patterns = categoryPatterns();
    const auto it = patterns.find(categorySlug);
    const QStringList& list = it != patterns.end() ? *it : patterns.value(QStringLiteral("world"));
    return fill(random.pick(list), random);
}

QString HeadlineWriter::topicHeadline(const QString& topicId, SampleRandom& random)
{
    const auto& patterns = topicPatterns();
    const auto it = patterns.find(topicId);
    if (it == patterns.end())
        return headline(QStringLiteral("world"), random);
    return fill(random.pick(*it), random);
}

QString HeadlineWriter::forSourceType(const QString& sourceType, const QString& base, SampleRandom& random)
{
    if (sourceType == QLatin1String("hackernews")) {
        static const QStringList prefixes = {"", "", "Show HN: ", "Ask HN: Thoughts on "};
        const QString prefix = random.pick(prefixes);
        return prefix.startsWith(QLatin1String("Ask")) ? prefix + base.left(1).toLower() + base.mid(1) + "?"
                                                        : prefix + base;
    }
    if (sourceType == QLatin1String("podcast"))
        return QStringLiteral("Ep. %1: %2").arg(random.between(40, 420)).arg(base);
    if (sourceType == QLatin1String("youtube"))
        return base + QStringLiteral(" (video)");
    if (sourceType == QLatin1String("reddit"))
        return random.chance(0.5) ? QStringLiteral("Discussion: ") + base : base;
    if (sourceType == QLatin1String("github")) {
        return QStringLiteral("v%1.%2.%3: %4")
            .arg(random.between(0, 4)).arg(random.between(0, 40)).arg(random.between(0, 9))
            .arg(random.pick(QStringList{"faster cold starts and a new config format",
                                         "fixes a crash when the cache directory is missing",
                                         "adds streaming responses", "drops support for old runtimes",
                                         "security fix for path handling", "smaller binaries on Linux"}));
    }
    return base;
}

QString HeadlineWriter::slugOf(const QString& title)
{
    // ASCII only: accents are split off (NFKD) and dropped with the rest.
    thread_local const QRegularExpression marks(QStringLiteral("\\p{M}+"));
    thread_local const QRegularExpression separators(QStringLiteral("[^a-z0-9]+"));
    QString slug = title.normalized(QString::NormalizationForm_KD).toLower();
    slug.remove(marks);
    slug.replace(QStringLiteral("&amp;"), QStringLiteral(" and "));
    slug.replace(separators, QStringLiteral("-"));
    while (slug.startsWith(QLatin1Char('-')))
        slug.remove(0, 1);
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    return slug.left(72);
}
