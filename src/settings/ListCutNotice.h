#pragma once

#include <QString>
#include <QWidget>

class OutcomeLine;
class StoredList;

// The line under a list that was cut to its limit as it was read: how many
// records past the limit are not shown and the file they are kept in, in
// orange with a warning sign like the save notice. It follows the stored
// list as it is set aside (from the settings file to a file of its own), and
// is hidden for a list read within its limit. `one` and `many` name a record
// ("feed", "feeds").
class ListCutNotice : public QWidget {
    Q_OBJECT
public:
    ListCutNotice(const StoredList& list, QString one, QString many, QWidget* parent = nullptr);

    // What the line says; empty while it is hidden.
    QString text() const;

private:
    void refresh();

    const StoredList& m_list;
    QString m_one;
    QString m_many;
    OutcomeLine* m_line;
};
