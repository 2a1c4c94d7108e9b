#include "api/Palette.h"

#include "api/Color.h"

namespace {
QColor rgb(float r, float g, float b)
{
    return QColor::fromRgbF(r, g, b);
}
} // namespace

namespace Palette {

const QColor& primaryText()
{
    static const QColor c(Qt::white);
    return c;
}

const QColor& secondaryText()
{
    static const QColor c = rgb(0.68f, 0.68f, 0.68f);
    return c;
}

const QColor& lightText()
{
    static const QColor c = rgb(0.78f, 0.78f, 0.78f);
    return c;
}

const QColor& accent()
{
    static const QColor c = rgb(0.4f, 0.6f, 1.0f);
    return c;
}

const QColor& orange()
{
    static const QColor c(255, 149, 0);
    return c;
}

const QColor& faintWhite()
{
    static const QColor c = QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.1f);
    return c;
}

const QColor& orbNeutral()
{
    static const QColor c = rgb(0.74f, 0.77f, 0.85f);
    return c;
}

const QColor& slate()
{
    static const QColor c = Color::hex(u"7E8BA8");
    return c;
}

} // namespace Palette

const QList<std::pair<QString, QColor>>& themeBackgrounds()
{
    static const QList<std::pair<QString, QColor>> themes{
        {QStringLiteral("Black"), QColor(Qt::black)},
        {QStringLiteral("Red"), rgb(0.361f, 0.082f, 0.082f)},
        {QStringLiteral("Blue"), rgb(0.086f, 0.165f, 0.392f)},
        {QStringLiteral("Green"), rgb(0.055f, 0.235f, 0.127f)},
        {QStringLiteral("Purple"), rgb(0.251f, 0.078f, 0.384f)},
        {QStringLiteral("Teal"), rgb(0.055f, 0.22f, 0.208f)},
    };
    return themes;
}

QColor themeBackgroundColor(QStringView name)
{
    for (const auto& [themeName, colour] : themeBackgrounds()) {
        if (themeName == name)
            return colour;
    }
    return QColor(Qt::black);
}

const QHash<QString, QColor>& pillarSlugColors()
{
    static const QHash<QString, QColor> colours{
        {QStringLiteral("world-politics"), rgb(0.494f, 0.545f, 0.659f)},
        {QStringLiteral("business-money"), rgb(0.31f, 0.82f, 0.769f)},
        {QStringLiteral("tech-ai"), rgb(0.4f, 0.6f, 1.0f)},
        {QStringLiteral("makers"), rgb(0.788f, 0.635f, 0.302f)},
        {QStringLiteral("science-environment"), rgb(0.31f, 0.639f, 0.647f)},
        {QStringLiteral("health-wellbeing"), rgb(0.961f, 0.451f, 0.722f)},
        {QStringLiteral("ideas-longform"), rgb(0.702f, 0.561f, 0.949f)},
        {QStringLiteral("culture-arts"), rgb(0.478f, 0.435f, 0.941f)},
        {QStringLiteral("style-beauty"), rgb(0.91f, 0.627f, 0.749f)},
        {QStringLiteral("home-living"), rgb(0.561f, 0.749f, 0.561f)},
        {QStringLiteral("food-travel"), rgb(1.0f, 0.584f, 0.0f)},
        {QStringLiteral("sports"), rgb(0.369f, 0.42f, 0.667f)},
    };
    return colours;
}

namespace {

bool containsAny(const QString& lower, std::initializer_list<const char*> words)
{
    for (const char* w : words) {
        if (lower.contains(QLatin1String(w)))
            return true;
    }
    return false;
}

} // namespace

QColor categoryTint(QStringView name)
{
    const QString lower = name.toString().toLower();
    // Plain substring tests in this order: "ai" inside "Entertainment" or
    // "Retail" counts, and it comes first.
    if (containsAny(lower, {"ai", "research"}))
        return Palette::accent();
    if (containsAny(lower, {"weather", "local"}))
        return Palette::orange();
    if (containsAny(lower, {"news", "politic"}))
        return Palette::slate();
    if (lower.contains(QLatin1String("sport")))
        return rgb(0.7f, 0.56f, 0.95f);
    if (containsAny(lower, {"business", "finance", "market"}))
        return rgb(0.31f, 0.82f, 0.77f);
    if (containsAny(lower, {"entertain", "music", "celeb"}))
        return rgb(0.96f, 0.45f, 0.72f);
    return Palette::slate();
}
