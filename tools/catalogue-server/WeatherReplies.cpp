#include "WeatherReplies.h"

#include "SampleRandom.h"

#include <QList>
#include <cmath>

namespace {

struct Condition {
    const char* text;
    const char* icon;
};

const QList<Condition> kMild = {
    {"Clear", "sun.max.fill"},          {"Partly Cloudy", "cloud.sun.fill"}, {"Cloudy", "cloud.fill"},
    {"Light Rain", "cloud.drizzle.fill"}, {"Rain", "cloud.rain.fill"},     {"Fog", "cloud.fog.fill"},
    {"Windy", "wind"},                  {"Thunderstorms", "cloud.bolt.rain.fill"},
};
const QList<Condition> kCold = {
    {"Clear", "sun.max.fill"}, {"Cloudy", "cloud.fill"}, {"Snow", "cloud.snow.fill"}, {"Sleet", "cloud.sleet.fill"},
};

} // namespace

QJsonObject WeatherReplies::reading(quint64 seed, const QString& city, const QDateTime& now)
{
    const QString name = city.trimmed();
    // The city's climate is fixed by its name; the hour moves the reading a little.
    SampleRandom climate(seed, name.toLower());
    const int base = climate.between(-4, 27);
    const qint64 hour = now.toSecsSinceEpoch() / 3600;
    SampleRandom today(seed, name.toLower(), hour);
    const int hourOfDay = int(((hour % 24) + 24) % 24);
    const double daily = 4.0 * std::sin((hourOfDay - 9) / 24.0 * 2.0 * M_PI);
    const int temp = int(std::lround(base + daily + today.between(-1.5, 1.5)));
    const Condition& condition = temp <= 1 ? today.pick(kCold) : today.pick(kMild);
    return QJsonObject{{"city", name},
                       {"temp", QStringLiteral("%1°C").arg(temp)},
                       {"condition", QString::fromUtf8(condition.text)},
                       {"icon", QString::fromUtf8(condition.icon)}};
}
