#include "ShownText.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QTextDocument>
#include <QToolTip>
#include <QWindow>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ShownText {

QString label(const QLabel* label)
{
    if (const auto* document = label->findChild<QTextDocument*>())
        return document->toPlainText();
    return label->text();
}

QString toolTip(QWidget* widget, std::optional<QPoint> pos, QRect* shownAt)
{
    QToolTip::hideText();
    const QPoint at = pos.value_or(widget->rect().center());
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    QString shown;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* tip = qobject_cast<QLabel*>(top);
        if (tip && tip->objectName() == QLatin1String("qtooltip_label") && tip->isVisible()) {
            shown = label(tip);
            if (shownAt)
                *shownAt = tip->frameGeometry();
        }
    }
    QToolTip::hideText();
    return shown;
}

QString action(const QAction* action)
{
    const QString text = action->text();
    if (!QKeySequence::mnemonic(text).isEmpty())
        return {};
    // A menu draws what follows a tab as the entry's shortcut, on the right.
    if (text.contains(QLatin1Char('\t')))
        return {};
    // Shown as QMenu draws it: a doubled "&" is one.
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&'))
            ++i;
        shown += text.at(i);
    }
    return shown;
}

QStringList menuEntries(const QMenu& menu)
{
    QStringList entries;
    for (const QAction* entry : menu.actions()) {
        if (entry->isSeparator())
            continue;
        entries.append(action(entry));
        if (const QMenu* sub = entry->menu())
            entries.append(menuEntries(*sub));
    }
    return entries;
}

QString windowTitle(QWidget* window)
{
    window->winId();
    return window->windowHandle() ? window->windowHandle()->title() : QString();
}

} // namespace ShownText

ReadWatch::ReadWatch() : m_path(m_dir.filePath(QStringLiteral("pipe")))
{
    const QByteArray path = m_path.toLocal8Bit();
    // Without the pipe nothing could be seen: stop rather than pass.
    if (::mkfifo(path.constData(), 0600) != 0)
        qFatal("ReadWatch: cannot make the pipe %s", path.constData());
    m_writer = std::thread([this, path] {
        for (;;) {
            // Blocks until a reader opens the pipe; closing lets it read an end.
            const int fd = ::open(path.constData(), O_WRONLY);
            if (fd < 0 && errno == EINTR)
                continue;
            if (fd < 0)
                return;
            ::close(fd);
            if (m_stopping.load())
                return;
            ++m_reads;
        }
    });
}

ReadWatch::~ReadWatch()
{
    if (!m_writer.joinable())
        return;
    m_stopping = true;
    // Opening the read end wakes the writer, which then ends.
    const int fd = ::open(m_path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    m_writer.join();
    if (fd >= 0)
        ::close(fd);
}

QStringList ReadWatch::hostileTexts() const
{
    return {
        QStringLiteral("<img src=\"%1\">").arg(m_path),
        QStringLiteral("<b>x</b>"),
        QStringLiteral("A&B"),
        QStringLiteral("&amp;"),
        QStringLiteral("&lt;b&gt; Q&&A"),
        QStringLiteral("Daily [*] Brief"),
    };
}
