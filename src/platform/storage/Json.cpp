#include "platform/storage/Json.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

namespace {
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

QJsonValue isoText(const QDateTime& date, Qt::DateFormat format)
{
    if (!isIsoWritable(date))
        return QJsonValue(QJsonValue::Undefined);
    return date.toUTC().toString(format);
}
} // namespace

bool isIsoWritable(const QDateTime& date)
{
    static const qint64 first = QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    static const qint64 last = QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC).toMSecsSinceEpoch();
    if (!date.isValid())
        return false;
    const qint64 ms = date.toMSecsSinceEpoch();
    return ms >= first && ms <= last;
}

std::optional<QDateTime> parseIso8601(const QString& text)
{
    // date 'T' time, optional fraction, then Z or ±hh:mm / ±hhmm.
    static const QRegularExpression re(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})[Tt](\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,9}))?(?:([Zz])|([+-])(\d{2}):?(\d{2}))$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int msec = 0;
    if (m.hasCaptured(7)) {
        QString frac = m.captured(7).left(3);
        while (frac.size() < 3)
            frac.append(QLatin1Char('0'));
        msec = frac.toInt();
    }
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    int offset = 0;
    if (!m.hasCaptured(8)) {
        const int hh = m.captured(10).toInt();
        const int mm = m.captured(11).toInt();
        if (hh > 23 || mm > 59)
            return std::nullopt;
        offset = (hh * 3600 + mm * 60) * (m.captured(9) == QLatin1String("-") ? -1 : 1);
    }
    const QDateTime dt = QDateTime(date, time, Qt::UTC).addSecs(-offset);
    if (!isIsoWritable(dt))
        return std::nullopt;
    return dt;
}

DateCoding DateCoding::iso8601()
{
    return {[](const QJsonValue& v) -> std::optional<QDateTime> {
                return v.isString() ? parseIso8601(v.toString()) : std::nullopt;
            },
            [](const QDateTime& d) { return isoText(d, Qt::ISODate); }};
}

DateCoding DateCoding::iso8601Fractional()
{
    return {[](const QJsonValue& v) -> std::optional<QDateTime> {
                return v.isString() ? parseIso8601(v.toString()) : std::nullopt;
            },
            [](const QDateTime& d) { return isoText(d, Qt::ISODateWithMs); }};
}

DateCoding DateCoding::referenceSeconds()
{
    return {[](const QJsonValue& v) -> std::optional<QDateTime> {
                if (!v.isDouble() || !std::isfinite(v.toDouble()))
                    return std::nullopt;
                return kReferenceDate.addMSecs(qint64(std::llround(v.toDouble() * 1000.0)));
            },
            [](const QDateTime& d) -> QJsonValue { return double(kReferenceDate.msecsTo(d)) / 1000.0; }};
}

DateCoding DateCoding::unixSeconds()
{
    return {[](const QJsonValue& v) -> std::optional<QDateTime> {
                if (!v.isDouble() || !std::isfinite(v.toDouble()))
                    return std::nullopt;
                return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(v.toDouble() * 1000.0)), Qt::UTC);
            },
            [](const QDateTime& d) -> QJsonValue { return double(d.toMSecsSinceEpoch()) / 1000.0; }};
}

JsonIn::JsonIn(const QJsonValue& value, const JsonOptions& options, QString context)
    : m_options(options), m_context(std::move(context))
{
    if (value.isObject())
        m_object = value.toObject();
    else
        fail(QStringLiteral("expected an object"));
}

void JsonIn::fail(const QString& what)
{
    if (!m_error)
        m_error = Error::make(ErrorKind::Decoding, m_context + QStringLiteral(": ") + what);
}

bool JsonIn::has(const QString& key) const
{
    const QJsonValue v = m_object.value(key);
    return !v.isUndefined() && !v.isNull();
}

std::optional<QString> JsonIn::readString(const QJsonValue& v, const QString& key)
{
    if (v.isString())
        return v.toString();
    fail(QStringLiteral("\"%1\" is not a string").arg(key));
    return std::nullopt;
}

std::optional<bool> JsonIn::readBool(const QJsonValue& v, const QString& key)
{
    if (v.isBool())
        return v.toBool();
    fail(QStringLiteral("\"%1\" is not a boolean").arg(key));
    return std::nullopt;
}

std::optional<double> JsonIn::readDouble(const QJsonValue& v, const QString& key)
{
    if (v.isDouble())
        return v.toDouble();
    fail(QStringLiteral("\"%1\" is not a number").arg(key));
    return std::nullopt;
}

std::optional<qint64> JsonIn::readInt(const QJsonValue& v, const QString& key)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) <= 9.007199254740992e15)
            return static_cast<qint64>(d);
    }
    fail(QStringLiteral("\"%1\" is not an integer").arg(key));
    return std::nullopt;
}

std::optional<QDateTime> JsonIn::requiredDate(const QString& key)
{
    if (!ok())
        return std::nullopt;
    if (!has(key)) {
        fail(QStringLiteral("missing required key \"%1\"").arg(key));
        return std::nullopt;
    }
    return optionalDate(key);
}

std::optional<QDateTime> JsonIn::optionalDate(const QString& key)
{
    if (!ok() || !has(key))
        return std::nullopt;
    auto d = m_options.dates.decode(m_object.value(key));
    if (!d)
        fail(QStringLiteral("\"%1\" is not a valid date").arg(key));
    return d;
}
