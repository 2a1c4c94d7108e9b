#include "api/Color.h"
#include "api/Palette.h"
#include "api/SourceType.h"

#include "ApiTestUtil.h"

#include <gtest/gtest.h>

namespace {

struct HexCase {
    const char* text;
    Rgba expected;
};

TEST(Color, HexTable)
{
    const HexCase cases[] = {
        {"#4ADE80", {74, 222, 128, 255}},
        {"fff", {255, 255, 255, 255}},
        {"#0f8", {0, 255, 136, 255}},
        {"80FF0000", {255, 0, 0, 128}},
        {"  #1A2B3C  ", {0x1A, 0x2B, 0x3C, 255}},
        {"\n#1a2b3c\t", {0x1A, 0x2B, 0x3C, 255}},
        {"12345", {1, 1, 0, 1}},
        {"", {1, 1, 0, 1}},
        {"#", {1, 1, 0, 1}},
        {"GGGGGG", {0, 0, 0, 255}},
        {"FF FF FF", {0, 0, 255, 0}},  // 8 characters; the scan stops at the space
        {"0x12AB", {0x00, 0x12, 0xAB, 255}},  // six characters, prefix skipped
        {"7E8BA8", {0x7E, 0x8B, 0xA8, 255}},
        {"00000000", {0, 0, 0, 0}},
        {"#abc;", {0xAA, 0xBB, 0xCC, 255}},
        {"1234567890", {1, 1, 0, 1}},
    };
    for (const HexCase& c : cases)
        EXPECT_EQ(rgba(Color::hex(QString::fromUtf8(c.text))), c.expected) << '"' << c.text << '"';
}

TEST(Color, ValidHexOnlyForCompleteDigitRuns)
{
    const std::pair<const char*, bool> cases[] = {
        {"#4ADE80", true}, {"fff", true}, {"80FF0000", true}, {" #abc ", true},
        {"12345", false}, {"", false}, {"GGGGGG", false}, {"FF FF FF", false},
        {"0x12AB", false}, {"#12345G", false}, {"1234567", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(Color::isValidHex(QString::fromUtf8(text)), valid) << text;
}

TEST(Color, SharedConstantsAreDefinedOnce)
{
    EXPECT_EQ(&Color::accentBlue(), &Palette::accent());
    EXPECT_EQ(&Color::hairline(), &Palette::faintWhite());
    EXPECT_EQ(&Color::mutedText(), &Palette::secondaryText());
    EXPECT_EQ(&Color::slate(), &Palette::slate());
    EXPECT_EQ(&Palette::slate(), &Palette::slate());

    EXPECT_EQ(rgba(Color::rowBackground()), (Rgba{0x16, 0x18, 0x1D, 255}));
    EXPECT_EQ(rgba(Color::okGreen()), (Rgba{0x34, 0xC7, 0x59, 255}));
    EXPECT_EQ(rgba(Color::faintFill()), rgbaF(1, 1, 1, 0.07));
    EXPECT_EQ(rgba(Palette::slate()), (Rgba{0x7E, 0x8B, 0xA8, 255}));
    EXPECT_EQ(rgba(Palette::accent()), rgbaF(0.4, 0.6, 1.0));
    EXPECT_EQ(rgba(Palette::faintWhite()), rgbaF(1, 1, 1, 0.1));
    EXPECT_EQ(rgba(Palette::secondaryText()), rgbaF(0.68, 0.68, 0.68));
    EXPECT_EQ(rgba(Palette::lightText()), rgbaF(0.78, 0.78, 0.78));
    EXPECT_EQ(rgba(Palette::orbNeutral()), rgbaF(0.74, 0.77, 0.85));
    EXPECT_EQ(rgba(Palette::primaryText()), (Rgba{255, 255, 255, 255}));
}

TEST(Palette, ThemeBackgroundsMatchNamesExactly)
{
    const std::pair<const char*, Rgba> cases[] = {
        {"Black", {0, 0, 0, 255}},
        {"Red", rgbaF(0.361, 0.082, 0.082)},
        {"Blue", rgbaF(0.086, 0.165, 0.392)},
        {"Green", rgbaF(0.055, 0.235, 0.127)},
        {"Purple", rgbaF(0.251, 0.078, 0.384)},
        {"Teal", rgbaF(0.055, 0.22, 0.208)},
        {"teal", {0, 0, 0, 255}},
        {"", {0, 0, 0, 255}},
        {"Teal ", {0, 0, 0, 255}},
    };
    for (const auto& [name, colour] : cases)
        EXPECT_EQ(rgba(themeBackgroundColor(QString::fromUtf8(name))), colour) << name;

    QStringList names;
    for (const auto& theme : themeBackgrounds())
        names.append(theme.first);
    EXPECT_EQ(names, (QStringList{"Black", "Red", "Blue", "Green", "Purple", "Teal"}));
}

TEST(Palette, CategoryTint)
{
    const Rgba accent = rgba(Palette::accent());
    const Rgba orange = rgba(Palette::orange());
    const Rgba slate = rgba(Palette::slate());
    const Rgba sport = rgbaF(0.7, 0.56, 0.95);
    const Rgba money = rgbaF(0.31, 0.82, 0.77);
    const Rgba fun = rgbaF(0.96, 0.45, 0.72);
    const std::pair<const char*, Rgba> cases[] = {
        {"AI", accent},
        {"Applied AI & Research", accent},
        {"ai-policy", accent},
        {"Research", accent},
        {"Retail", slate},  // "ai" inside a word is not AI
        {"Daily Briefing", slate},
        {"Entertainment", fun},
        {"Local Weather", orange},
        {"World News", slate},
        {"Politics", slate},
        {"Sports", sport},
        {"Markets", money},
        {"Personal Finance", money},
        {"Music", fun},
        {"Celebrity", fun},
        {"Gardening", slate},
        {"", slate},
        {"Rainforest sport", sport},
    };
    for (const auto& [name, colour] : cases)
        EXPECT_EQ(rgba(categoryTint(QString::fromUtf8(name))), colour) << name;
}

TEST(Palette, PillarColours)
{
    const auto& colours = pillarSlugColors();
    EXPECT_EQ(colours.size(), 12);
    EXPECT_EQ(rgba(colours.value(QStringLiteral("tech-ai"))), rgbaF(0.4, 0.6, 1.0));
    EXPECT_EQ(rgba(colours.value(QStringLiteral("food-travel"))), rgbaF(1.0, 0.584, 0.0));
    EXPECT_EQ(rgba(colours.value(QStringLiteral("sports"))), rgbaF(0.369, 0.42, 0.667));
    EXPECT_FALSE(colours.contains(QStringLiteral("Sports")));
}

TEST(SourceType, Table)
{
    struct Row {
        SourceType type;
        const char* raw;
        const char* display;
        const char* badge;
        Rgba colour;
    };
    const Row rows[] = {
        {SourceType::Rss, "rss", "RSS", nullptr, rgbaF(0.4, 0.6, 1.0)},
        {SourceType::HackerNews, "hackernews", "Hacker News", "HN", rgbaF(1.0, 0.4, 0.0)},
        {SourceType::GitHub, "github", "GitHub", "REPO", rgbaF(0.85, 0.85, 0.85)},
        {SourceType::Substack, "substack", "Substack", "NEWSLETTER", rgbaF(1.0, 0.42, 0.25)},
        {SourceType::YouTube, "youtube", "YouTube", "VIDEO", rgbaF(1.0, 0.17, 0.17)},
        {SourceType::Medium, "medium", "Medium", "POST", rgbaF(0.95, 0.95, 0.95)},
        {SourceType::Reddit, "reddit", "Reddit", "THREAD", rgbaF(1.0, 0.27, 0.0)},
        {SourceType::Podcast, "podcast", "Podcasts", "AUDIO", rgbaF(0.6, 0.4, 0.85)},
        {SourceType::NewsApi, "newsapi", "News APIs", nullptr, {0x7E, 0x8B, 0xA8, 255}},
    };
    ASSERT_EQ(allSourceTypes().size(), 9);
    for (int i = 0; i < 9; ++i) {
        const Row& r = rows[i];
        EXPECT_EQ(allSourceTypes()[i], r.type) << r.raw;
        EXPECT_EQ(rawValue(r.type), QLatin1String(r.raw));
        EXPECT_EQ(sourceTypeFromRawValue(QString::fromLatin1(r.raw)), r.type);
        EXPECT_EQ(sourceTypeDecoding(QString::fromLatin1(r.raw)), r.type);
        EXPECT_EQ(displayName(r.type), QString::fromUtf8(r.display));
        EXPECT_EQ(badgeText(r.type), r.badge ? std::optional<QString>(QLatin1String(r.badge)) : std::nullopt) << r.raw;
        EXPECT_EQ(rgba(accentColor(r.type)), r.colour) << r.raw;
        EXPECT_FALSE(symbolName(r.type).isEmpty());
    }
    EXPECT_EQ(sourceTypeFromRawValue(u"Reddit"), std::nullopt);
    EXPECT_EQ(sourceTypeDecoding(u"Reddit"), SourceType::Rss);
    EXPECT_EQ(sourceTypeDecoding(u""), SourceType::Rss);
    EXPECT_EQ(sourceTypeFromRawValue(u"rss "), std::nullopt);
}

} // namespace
