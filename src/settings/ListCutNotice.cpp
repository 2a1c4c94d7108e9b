#include "settings/ListCutNotice.h"

#include "platform/storage/Defaults.h"
#include "platform/storage/StoredList.h"
#include "settings/AddPersonalFeedSheet.h"

#include <QVBoxLayout>

ListCutNotice::ListCutNotice(const StoredList& list, QString one, QString many, QWidget* parent)
    : QWidget(parent), m_list(list), m_one(std::move(one)), m_many(std::move(many)), m_line(new OutcomeLine(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->addWidget(m_line);
    // Stores read their lists once, as they are made: a list read whole
    // stays so, and there is nothing to follow.
    if (m_list.leftOutPastLimit() == 0) {
        hide();
        return;
    }
    connect(&m_list.defaults(), &Defaults::keptAside, this, [this](const QString& key) {
        if (key == m_list.key())
            refresh();
    });
    refresh();
}

QString ListCutNotice::text() const
{
    return isHidden() ? QString() : m_line->text();
}

void ListCutNotice::refresh()
{
    const qsizetype count = m_list.leftOutPastLimit();
    QString text = count == 1 ? QStringLiteral("1 %1 past the limit of %2 is not shown here").arg(m_one).arg(m_list.limit())
                              : QStringLiteral("%1 %2 past the limit of %3 are not shown here")
                                    .arg(count)
                                    .arg(m_many)
                                    .arg(m_list.limit());
    const QString where = m_list.whereKept();
    if (!where.isEmpty())
        text += (count == 1 ? QStringLiteral("; it is kept in ") : QStringLiteral("; they are kept in ")) + where;
    m_line->showOutcome(text + u'.', false);
    show();
}
