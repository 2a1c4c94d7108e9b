#pragma once

#include "platform/base/Error.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

// How dates are written in one kind of document (server replies, the
// snapshot and the personal store each use their own).
struct DateCoding {
    std::function<std::optional<QDateTime>(const QJsonValue&)> decode;
    // Undefined for a date this coding has no form for.
    std::function<QJsonValue(const QDateTime&)> encode;

    // ISO 8601 with "Z" or an offset; fractional seconds accepted on read,
    // written without them. Both read and write only isIsoWritable() dates.
    static DateCoding iso8601();
    // ISO 8601 written with milliseconds; fractional seconds optional on read.
    static DateCoding iso8601Fractional();
    // A number of seconds since 2001-01-01T00:00:00Z (the Apple reference date).
    static DateCoding referenceSeconds();
    // A number of seconds since the Unix epoch.
    static DateCoding unixSeconds();
};

// Parses ISO 8601 date-times ("2024-05-01T12:30:00Z", "...T12:30:00.123+02:00")
// strictly; the whole text must match. Result in UTC, and only an instant
// isIsoWritable() accepts: what is read here can always be written back.
std::optional<QDateTime> parseIso8601(const QString& text);

// Whether the instant has an ISO 8601 form with a four-digit year in UTC
// (0001-01-01T00:00:00Z to the end of 9999), the one form the ISO date
// codings write. Qt writes any other date as an empty text.
bool isIsoWritable(const QDateTime& date);

struct JsonOptions {
    DateCoding dates = DateCoding::iso8601();
};

// Strict reader over one JSON object. The first problem is recorded and every
// later read returns a default, so a decoder reads all its fields and checks
// ok() once:
//
//     JsonIn in(value, options, "FeedItem");
//     FeedItem item;
//     item.stableId = in.required<QString>("item_id");
//     item.url = in.optional<QString>("url");
//     if (!in.ok()) return std::unexpected(in.error());
//
// Rules: a required key that is missing or null fails; an optional one reads
// as std::nullopt; a value of the wrong type fails either way; integers must
// be integral. Nested types decode through a static
// `T::fromJson(const QJsonValue&, const JsonOptions&) -> Result<T>`.
class JsonIn {
public:
    JsonIn(const QJsonValue& value, const JsonOptions& options, QString context);

    bool ok() const { return !m_error.has_value(); }
    const Error& error() const { return *m_error; }
    void fail(const QString& what);  // records a custom problem
    const QJsonObject& object() const { return m_object; }
    const JsonOptions& options() const { return m_options; }
    bool has(const QString& key) const;  // present and not null

    template <class T>
    T required(const QString& key)
    {
        if (!ok())
            return T{};
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined() || v.isNull()) {
            fail(QStringLiteral("missing required key \"%1\"").arg(key));
            return T{};
        }
        std::optional<T> out = read<T>(v, key);
        return out ? std::move(*out) : T{};
    }

    template <class T>
    std::optional<T> optional(const QString& key)
    {
        if (!ok())
            return std::nullopt;
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return read<T>(v, key);
    }

    std::optional<QDateTime> requiredDate(const QString& key);
    std::optional<QDateTime> optionalDate(const QString& key);

private:
    template <class T>
    std::optional<T> read(const QJsonValue& v, const QString& key);
    template <class E>
    std::optional<QList<E>> readList(const QJsonValue& v, const QString& key);

    std::optional<QString> readString(const QJsonValue& v, const QString& key);
    std::optional<bool> readBool(const QJsonValue& v, const QString& key);
    std::optional<double> readDouble(const QJsonValue& v, const QString& key);
    std::optional<qint64> readInt(const QJsonValue& v, const QString& key);

    QJsonObject m_object;
    JsonOptions m_options;
    QString m_context;
    std::optional<Error> m_error;
};

template <class T>
struct IsQList : std::false_type {};
template <class E>
struct IsQList<QList<E>> : std::true_type {
    using Element = E;
};

template <class T>
std::optional<T> JsonIn::read(const QJsonValue& v, const QString& key)
{
    if constexpr (std::is_same_v<T, QString>) {
        return readString(v, key);
    } else if constexpr (std::is_same_v<T, bool>) {
        return readBool(v, key);
    } else if constexpr (std::is_same_v<T, double>) {
        return readDouble(v, key);
    } else if constexpr (std::is_integral_v<T>) {
        auto i = readInt(v, key);
        if (!i)
            return std::nullopt;
        if (*i < std::numeric_limits<T>::min() || *i > std::numeric_limits<T>::max()) {
            fail(QStringLiteral("\"%1\" is out of range").arg(key));
            return std::nullopt;
        }
        return static_cast<T>(*i);
    } else if constexpr (std::is_same_v<T, QStringList>) {
        auto list = readList<QString>(v, key);
        if (!list)
            return std::nullopt;
        return QStringList(*list);
    } else if constexpr (IsQList<T>::value) {
        return readList<typename IsQList<T>::Element>(v, key);
    } else {
        Result<T> r = T::fromJson(v, m_options);
        if (!r) {
            fail(QStringLiteral("\"%1\": %2").arg(key, r.error().description));
            return std::nullopt;
        }
        return std::move(*r);
    }
}

template <class E>
std::optional<QList<E>> JsonIn::readList(const QJsonValue& v, const QString& key)
{
    if (!v.isArray()) {
        fail(QStringLiteral("\"%1\" is not an array").arg(key));
        return std::nullopt;
    }
    const QJsonArray array = v.toArray();
    QList<E> out;
    out.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        std::optional<E> e = read<E>(array.at(i), QStringLiteral("%1[%2]").arg(key, QString::number(i)));
        if (!e)
            return std::nullopt;
        out.append(std::move(*e));
    }
    return out;
}

// Writer counterpart: absent optionals are left out.
class JsonOut {
public:
    explicit JsonOut(const JsonOptions& options) : m_options(options) {}

    template <class T>
    void put(const QString& key, const T& value)
    {
        m_object.insert(key, toValue(value));
    }
    template <class T>
    void put(const QString& key, const std::optional<T>& value)
    {
        if (value)
            put(key, *value);
    }
    // A date the coding cannot write (it encodes as undefined) is left out,
    // as if absent: never a value the reader would refuse.
    void putDate(const QString& key, const QDateTime& date)
    {
        const QJsonValue value = m_options.dates.encode(date);
        if (!value.isUndefined())
            m_object.insert(key, value);
    }
    void putDate(const QString& key, const std::optional<QDateTime>& date)
    {
        if (date)
            putDate(key, *date);
    }
    QJsonObject object() const { return m_object; }

private:
    template <class T>
    QJsonValue toValue(const T& value) const
    {
        if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, bool> || std::is_same_v<T, double>) {
            return QJsonValue(value);
        } else if constexpr (std::is_integral_v<T>) {
            return QJsonValue(static_cast<qint64>(value));
        } else if constexpr (std::is_same_v<T, QStringList>) {
            return QJsonArray::fromStringList(value);
        } else if constexpr (IsQList<T>::value) {
            QJsonArray array;
            for (const auto& e : value)
                array.append(toValue(e));
            return array;
        } else {
            return value.toJson(m_options);
        }
    }

    JsonOptions m_options;
    QJsonObject m_object;
};

// Decodes a whole document of type T (all or nothing).
template <class T>
Result<T> decodeJson(const QByteArray& bytes, const JsonOptions& options = {})
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError)
        return fail(ErrorKind::Decoding, QStringLiteral("invalid JSON: %1").arg(pe.errorString()));
    const QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    if constexpr (IsQList<T>::value) {
        JsonIn in(QJsonObject{{QStringLiteral("root"), root}}, options, QStringLiteral("document"));
        T out = in.required<T>(QStringLiteral("root"));
        if (!in.ok())
            return std::unexpected(in.error());
        return out;
    } else {
        return T::fromJson(root, options);
    }
}

