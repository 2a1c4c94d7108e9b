#pragma once

#include "platform/base/Error.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>

class Defaults;

// A list of records kept under one settings key, read one record at a time.
// A record that does not read is left out and logged, and every other record
// loads. A list is read only up to its owner's limit: the records past it are
// left out and logged too, so a list written by other means costs no view
// more than the owner allows; how many, and where they are kept, the window
// showing the list tells. Before the owner's first save replaces a stored
// value that held such records (or was no list at all), that value is set
// aside (Defaults::setAsideBeforeReplacing), so no save loses what was not
// read; a value another owner of the key replaced meanwhile is that owner's
// to keep. The stored form is the owner's and stays as it is. Main thread
// only.
class StoredList {
public:
    using Category = const QLoggingCategory& (*)();
    // Which end of a list past its limit is read: the first records, or the
    // last (the newest of a list that grows at its end).
    enum class Keep { First, Last };

    StoredList(Defaults& defaults, QString key, Category category, qsizetype limit, Keep keep = Keep::First);

    // The records of the stored array that `decode` reads, in their order,
    // at most the limit of them; none when nothing is stored.
    template <class T>
    QList<T> read(const std::function<Result<T>(const QJsonValue&)>& decode)
    {
        const QJsonArray array = storedArray();
        const qsizetype count = array.size();
        QList<T> records;
        records.reserve(std::min(count, m_limit));
        for (qsizetype n = 0; n < count; ++n) {
            if (records.size() == m_limit) {
                pastLimit(count, count - n);
                break;
            }
            const qsizetype i = m_keep == Keep::First ? n : count - 1 - n;
            Result<T> record = decode(array.at(i));
            if (record)
                records.append(std::move(*record));
            else
                skipped(i, count, record.error().description);
        }
        if (m_keep == Keep::Last)
            std::reverse(records.begin(), records.end());
        readDone(count);
        return records;
    }
    // The strings of a stored array of texts; anything else in it is left out.
    QStringList readTexts();
    // The strings in `value` when it is an array, quietly: what a save
    // compares with to leave a list that is still as read alone.
    static QStringList textsIn(const QJsonValue& value);

    // Called before each write of the key, which may then always go ahead:
    // when what was read held something unreadable, the stored value is set
    // aside before the new one takes its place in the file (a save that
    // cannot set it aside fails, and is tried again).
    void aboutToReplace();

    // How many records past the limit the last read left out (0: none).
    qsizetype leftOutPastLimit() const { return m_pastLimit; }
    qsizetype limit() const { return m_limit; }
    const QString& key() const { return m_key; }
    Defaults& defaults() const { return m_defaults; }
    // Where the stored list the last read cut is kept: the file it was set
    // aside in, or until then the settings file (empty for settings kept
    // in memory).
    QString whereKept() const;

private:
    QJsonArray storedArray();
    void skipped(qsizetype index, qsizetype count, const QString& why);
    void pastLimit(qsizetype count, qsizetype leftOut);
    void readDone(qsizetype count);

    Defaults& m_defaults;
    QString m_key;
    Category m_category;
    qsizetype m_limit;
    Keep m_keep;
    QJsonValue m_read;             // the stored value the last read left something of out, until set aside
    bool m_asideDue = false;       // m_read is to be set aside before the first save replaces it
    bool m_unreadable = false;     // the last read met records that did not read, or no list
    qsizetype m_skipped = 0;       // records of the last read that did not read
    qsizetype m_pastLimit = 0;     // records the last read left out past the limit
};
