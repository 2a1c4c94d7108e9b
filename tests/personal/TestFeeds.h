#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QLocale>
#include <QList>
#include <QString>
#include <functional>

// Small feed documents for the store and fetching tests.
namespace TestFeeds {

struct Entry {
    QString title;
    QString link;      // empty: none
    QString guid;      // empty: none
    QString pubDate;   // RFC 822 text; empty: none
};

inline QByteArray rss(const QString& channelTitle, const QList<Entry>& entries)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>")
        + channelTitle.toHtmlEscaped() + QStringLiteral("</title>\n");
    for (const Entry& e : entries) {
        xml += QStringLiteral("<item><title>") + e.title.toHtmlEscaped() + QStringLiteral("</title>");
        if (!e.link.isEmpty())
            xml += QStringLiteral("<link>") + e.link.toHtmlEscaped() + QStringLiteral("</link>");
        if (!e.guid.isEmpty())
            xml += QStringLiteral("<guid>") + e.guid.toHtmlEscaped() + QStringLiteral("</guid>");
        if (!e.pubDate.isEmpty())
            xml += QStringLiteral("<pubDate>") + e.pubDate + QStringLiteral("</pubDate>");
        xml += QStringLiteral("</item>\n");
    }
    xml += QStringLiteral("</channel></rss>\n");
    return xml.toUtf8();
}

// "Mon, 01 Jan 2024 HH:00:00 +0000" style dates, one hour apart.
inline QString hourDate(int hour)
{
    const QDateTime t = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(hour) * 3600);
    return QLocale::c().toString(t, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

// `count` dated entries with links ".../<prefix>-<i>", entry i at hour i.
inline QList<Entry> datedEntries(const QString& prefix, int count)
{
    QList<Entry> entries;
    for (int i = 0; i < count; ++i) {
        entries.append({prefix + QStringLiteral(" %1").arg(i), QStringLiteral("https://example.com/%1-%2").arg(prefix).arg(i),
                        {}, hourDate(i)});
    }
    return entries;
}

// Runs the event loop until `done` holds or `ms` of real time pass.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace TestFeeds
