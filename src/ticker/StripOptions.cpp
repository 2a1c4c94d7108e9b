#include "ticker/StripOptions.h"

#include "api/Palette.h"
#include "ticker/CategoryMixOptions.h"

namespace StripOptions {

const QList<StripOption<QString>>& positionOptions()
{
    static const QList<StripOption<QString>> options = {
        {QStringLiteral("Top"), QStringLiteral("top")},
        {QStringLiteral("Bottom"), QStringLiteral("bottom")},
    };
    return options;
}

const QList<StripOption<int>>& sizeOptions()
{
    static const QList<StripOption<int>> options = {
        {QStringLiteral("Compact"), 1},
        {QStringLiteral("Standard"), 2},
        {QStringLiteral("Large"), 4},
    };
    return options;
}

const QList<StripOption<double>>& speedOptions()
{
    static const QList<StripOption<double>> options = {
        {QStringLiteral("Slow (0.5×)"), 0.5},
        {QStringLiteral("Normal (1×)"), 1.0},
        {QStringLiteral("Quick (2×)"), 2.0},
        {QStringLiteral("Fast (5×)"), 5.0},
        {QStringLiteral("Turbo (10×)"), 10.0},
    };
    return options;
}

const QList<StripOption<QString>>& mixOptions()
{
    static const QList<StripOption<QString>> options = {
        {QStringLiteral("Shuffle"), QStringLiteral("shuffle")},
        {QStringLiteral("Latest"), QStringLiteral("latest")},
    };
    return options;
}

QList<StripOption<QString>> stripMixOptions(const QList<FeedItem>& items)
{
    QList<StripOption<QString>> options = {
        {QStringLiteral("Latest"), QStringLiteral("latest")},
        {QStringLiteral("Shuffle"), QStringLiteral("shuffle")},
        {QStringLiteral("Music Lane"), QStringLiteral("music")},
        {QStringLiteral("Market Quotes"), QStringLiteral("markets")},
    };
    for (const CategoryMixOption& category : categoryMixOptions(items))
        options.append({category.name, QStringLiteral("cat:") + category.slug});
    return options;
}

QList<StripOption<QString>> themeOptions()
{
    QList<StripOption<QString>> options;
    for (const auto& [name, color] : themeBackgrounds())
        options.append({name, name});
    return options;
}

} // namespace StripOptions
