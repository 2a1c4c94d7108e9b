#pragma once

#include "SampleRandom.h"

#include <QString>
#include <QStringList>

// Writes plausible news headlines for a category (by its slug), optionally
// about a moving topic so that the topic's keywords show up in the titles.
// Pure: the same generator state gives the same headline.
class HeadlineWriter {
public:
    static QString headline(const QString& categorySlug, SampleRandom& random);
    // A headline that mentions one of the topic's keywords.
    static QString topicHeadline(const QString& topicId, SampleRandom& random);
    // A headline in the voice of a source kind ("Show HN: …", "Ep. 12: …").
    static QString forSourceType(const QString& sourceType, const QString& base, SampleRandom& random);
    // Lower-case words joined by "-", for link paths.
    static QString slugOf(const QString& title);

private:
    static QString fill(QString pattern, SampleRandom& random);
};
