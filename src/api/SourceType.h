#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// The kinds of site a feed comes from. Any unknown kind reads as Rss when it
// arrives in JSON; sourceTypeFromRawValue() is the exact lookup.
enum class SourceType {
    Rss,
    HackerNews,
    GitHub,
    Substack,
    YouTube,
    Medium,
    Reddit,
    Podcast,
    NewsApi,
};

// Every kind, in declaration order.
const QList<SourceType>& allSourceTypes();

QString rawValue(SourceType type);
// The kind whose raw value equals `raw` exactly (case counts), or nothing.
std::optional<SourceType> sourceTypeFromRawValue(QStringView raw);
// The JSON reading: any text that names no kind is Rss.
SourceType sourceTypeDecoding(QStringView raw);

QString displayName(SourceType type);
// The short badge word; none for Rss and NewsApi.
std::optional<QString> badgeText(SourceType type);
QColor accentColor(SourceType type);
// Name of the symbol drawn in badges and rows (":/api/symbols/<name>.svg").
QString symbolName(SourceType type);
