#include "platform/storage/StoredList.h"

#include "platform/storage/Defaults.h"

#include <utility>

namespace {
// Past this many, the records of one list that do not read are counted in
// one line instead of a line each.
constexpr qsizetype kMaxSkippedLines = 20;
} // namespace

StoredList::StoredList(Defaults& defaults, QString key, Category category, qsizetype limit, Keep keep)
    : m_defaults(defaults), m_key(std::move(key)), m_category(category), m_limit(limit), m_keep(keep)
{
}

QJsonArray StoredList::storedArray()
{
    m_asideDue = false;
    m_unreadable = false;
    m_skipped = 0;
    m_pastLimit = 0;
    m_read = m_defaults.value(m_key);
    if (!m_defaults.contains(m_key))
        return {};
    if (m_read.isArray())
        return m_read.toArray();
    m_unreadable = true;
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
    m_unreadable = true;
    if (++m_skipped > kMaxSkippedLines)
        return;
    qCCritical(m_category).noquote() << "Stored" << m_key << "record" << index + 1 << "of" << count
                                     << "cannot be read and is left out:" << why;
}

void StoredList::pastLimit(qsizetype count, qsizetype leftOut)
{
    m_pastLimit = leftOut;
    qCCritical(m_category).noquote() << "Stored" << m_key << "holds" << count << "records, more than the" << m_limit
                                     << "it keeps; left out:" << leftOut << (m_keep == Keep::First ? "at its end" : "at its start");
}

void StoredList::readDone(qsizetype count)
{
    if (m_skipped > kMaxSkippedLines)
        qCCritical(m_category).noquote() << "Stored" << m_key + u':' << m_skipped - kMaxSkippedLines << "more of its"
                                         << count << "records cannot be read and are left out";
    m_asideDue = m_unreadable || m_pastLimit > 0;
    if (!m_asideDue)
        m_read = QJsonValue();
}

void StoredList::aboutToReplace()
{
    if (!m_asideDue)
        return;
    m_asideDue = false;
    const QJsonValue read = std::exchange(m_read, QJsonValue());
    // Another owner of the key replaced what this one read: it set that
    // aside, and what it stored instead is no value this list left out of.
    if (m_defaults.value(m_key) != read)
        return;
    m_defaults.setAsideBeforeReplacing(m_key, m_unreadable ? Defaults::Aside::Unreadable : Defaults::Aside::PastLimit);
}

QString StoredList::whereKept() const
{
    const QString aside = m_defaults.keptAsideAs(m_key);
    return aside.isEmpty() ? m_defaults.filePath() : aside;
}
