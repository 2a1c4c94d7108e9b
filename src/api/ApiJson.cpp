#include "api/ApiJson.h"

#include <QRegularExpression>

namespace ApiJson {

namespace {

// "yyyy-MM-dd'T'HH:mm:ssZ": an RFC 822 offset such as +0000 or -0530.
std::optional<QDateTime> parsePosixFixed(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})([+-])(\d{2})(\d{2})$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    const int hh = m.captured(8).toInt();
    const int mm = m.captured(9).toInt();
    if (!date.isValid() || !time.isValid() || hh > 23 || mm > 59)
        return std::nullopt;
    const int offset = (hh * 3600 + mm * 60) * (m.captured(7) == QLatin1String("-") ? -1 : 1);
    const QDateTime dt = QDateTime(date, time, Qt::UTC).addSecs(-offset);
    if (!isIsoWritable(dt))
        return std::nullopt;
    return dt;
}

} // namespace

DateCoding serverDates()
{
    return {[](const QJsonValue& v) -> std::optional<QDateTime> {
                if (!v.isString())
                    return std::nullopt;
                const QString text = v.toString();
                if (auto d = parseIso8601(text))
                    return d;
                return parsePosixFixed(text);
            },
            [](const QDateTime& d) {
                return isIsoWritable(d) ? QJsonValue(d.toUTC().toString(Qt::ISODateWithMs))
                                        : QJsonValue(QJsonValue::Undefined);
            }};
}

JsonOptions serverOptions()
{
    return JsonOptions{serverDates()};
}

std::optional<QDateTime> optionalDate(JsonIn& in, const QString& key)
{
    if (!in.ok() || !in.has(key))
        return std::nullopt;
    const QJsonValue v = in.object().value(key);
    if (auto d = in.options().dates.decode(v))
        return d;
    if (v.isString())
        in.fail(QStringLiteral("Cannot parse date: ") + v.toString());
    else
        in.fail(QStringLiteral("\"%1\" is not a date value").arg(key));
    return std::nullopt;
}

std::optional<SourceType> optionalSourceType(JsonIn& in, const QString& key)
{
    const std::optional<QString> raw = in.optional<QString>(key);
    if (!raw)
        return std::nullopt;
    return sourceTypeDecoding(*raw);
}

void putSourceType(JsonOut& out, const QString& key, const std::optional<SourceType>& type)
{
    if (type)
        out.put(key, rawValue(*type));
}

} // namespace ApiJson
