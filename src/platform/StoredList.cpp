#include "platform/StoredList.h"

#include "platform/Defaults.h"

StoredList::StoredList(Defaults& defaults, QString key, Category category)
    : m_defaults(defaults), m_key(std::move(key)), m_category(category)
{
}

QJsonArray StoredList::storedArray()
{
    m_holdsUnreadable = false;
    if (!m_defaults.contains(m_key))
        return {};
    const QJsonValue stored = m_defaults.value(m_key);
    if (stored.isArray())
        return stored.toArray();
    m_holdsUnreadable = true;
    qCCritical(m_category).noquote() << "Stored" << m_key << "is not a list; none of it can be read";
    return {};
}

QStringList StoredList::readTexts()
{
    return read<QString>([](const QJsonValue& value) -> Result<QString> {
        if (value.isString())
            return value.toString();
        return fail(ErrorKind::Decoding, QStringLiteral("not a text"));
    });
}

QStringList StoredList::textsIn(const QJsonValue& value)
{
    QStringList texts;
    for (const QJsonValue& element : value.toArray()) {
        if (element.isString())
            texts.append(element.toString());
    }
    return texts;
}

void StoredList::skipped(qsizetype index, qsizetype count, const QString& why)
{
    m_holdsUnreadable = true;
    qCCritical(m_category).noquote() << "Stored" << m_key << "record" << index + 1 << "of" << count
                                     << "cannot be read and is left out:" << why;
}

void StoredList::aboutToReplace()
{
    if (!m_holdsUnreadable)
        return;
    m_defaults.setAsideBeforeReplacing(m_key);
    m_holdsUnreadable = false;
}
