#pragma once

#include "platform/Error.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <functional>

class Defaults;

// A list of records kept under one settings key, read one record at a time.
// A record that does not read is left out and logged, and every other record
// loads. Before the owner's first save replaces a stored value that held such
// a record (or was no list at all), that value is set aside
// (Defaults::setAsideBeforeReplacing), so no save loses what could not be
// read. The stored form is the owner's and stays as it is. Main thread only.
class StoredList {
public:
    using Category = const QLoggingCategory& (*)();

    StoredList(Defaults& defaults, QString key, Category category);

    // The records of the stored array that `decode` reads, in their order;
    // none when nothing is stored.
    template <class T>
    QList<T> read(const std::function<Result<T>(const QJsonValue&)>& decode)
    {
        const QJsonArray array = storedArray();
        QList<T> records;
        records.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            Result<T> record = decode(array.at(i));
            if (record)
                records.append(std::move(*record));
            else
                skipped(i, array.size(), record.error().description);
        }
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

private:
    QJsonArray storedArray();
    void skipped(qsizetype index, qsizetype count, const QString& why);

    Defaults& m_defaults;
    QString m_key;
    Category m_category;
    bool m_holdsUnreadable = false;  // and not set aside yet
};
