#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// A plausible weather reading for any city name: the same city, seed and
// hour give the same reading; the city comes back as asked (trimmed).
class WeatherReplies {
public:
    static QJsonObject reading(quint64 seed, const QString& city, const QDateTime& now);
};
