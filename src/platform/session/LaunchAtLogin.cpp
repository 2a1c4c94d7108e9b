#include "platform/session/LaunchAtLogin.h"

#include "platform/storage/FileReader.h"
#include "platform/storage/FileWriter.h"
#include "platform/storage/HomeFolder.h"
#include "platform/base/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Characters that make an Exec argument need quotes, and those that must be
// backslash-escaped inside the quotes.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

// Undoes the escapes of a desktop entry's string value (\s \n \t \r \\).
QString unescapeValue(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        const QChar next = raw[++i];
        switch (next.unicode()) {
        case 's': out += u' '; break;
        case 'n': out += u'\n'; break;
        case 't': out += u'\t'; break;
        case 'r': out += u'\r'; break;
        default: out += next; break;
        }
    }
    return out;
}

QString escapeValue(const QString& value)
{
    QString out = value;
    out.replace(u'\\', QStringLiteral("\\\\"));
    out.replace(u'\n', QStringLiteral("\\n"));
    out.replace(u'\t', QStringLiteral("\\t"));
    out.replace(u'\r', QStringLiteral("\\r"));
    return out;
}

// The keys of the entry's [Desktop Entry] group; none when the file has no
// such group before any other.
std::optional<QHash<QString, QString>> readDesktopGroup(const QByteArray& data)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray& rawLine : data.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inGroup)
                break;
            if (line != QLatin1String("[Desktop Entry]"))
                return std::nullopt;
            inGroup = true;
            continue;
        }
        if (!inGroup)
            return std::nullopt;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, unescapeValue(line.mid(eq + 1).trimmed()));
    }
    if (!inGroup)
        return std::nullopt;
    return keys;
}

} // namespace

LaunchAtLogin::LaunchAtLogin(QString entryPath, QString program)
    : m_entryPath(std::move(entryPath)), m_program(std::move(program))
{
}

LaunchAtLogin& LaunchAtLogin::shared()
{
    static LaunchAtLogin* instance = [] {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString appImage = qEnvironmentVariable("APPIMAGE");
        const QString program = !appImage.isEmpty() ? QFileInfo(appImage).absoluteFilePath()
                                                    : QCoreApplication::applicationFilePath();
        // No entry without a home folder to keep it in.
        const QString entry = HomeFolder::known() ? config + QStringLiteral("/autostart/tidewire.desktop") : QString();
        return new LaunchAtLogin(entry, program);
    }();
    return *instance;
}

QString LaunchAtLogin::execCommand(const QString& program)
{
    QString arg = program;
    if (std::any_of(arg.cbegin(), arg.cend(), [](QChar c) { return kReserved.contains(c); })) {
        QString quoted;
        for (QChar c : arg) {
            if (kEscapedInQuotes.contains(c))
                quoted += u'\\';
            quoted += c;
        }
        arg = u'"' + quoted + u'"';
    }
    arg.replace(u'%', QStringLiteral("%%"));
    return arg;
}

std::optional<QStringList> LaunchAtLogin::execArguments(const QString& exec)
{
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size() && kEscapedInQuotes.contains(exec[i + 1])) {
                current += exec[++i];
            } else if (c == u'"') {
                quoted = false;
            } else if (c == u'%' && i + 1 < exec.size() && exec[i + 1] == u'%') {
                current += c;
                ++i;
            } else {
                current += c;
            }
            continue;
        }
        if (c == u' ' || c == u'\t') {
            if (inArg)
                args.append(current);
            current.clear();
            inArg = false;
        } else if (c == u'"') {
            quoted = inArg = true;
        } else if (c == u'%' && i + 1 < exec.size() && exec[i + 1] == u'%') {
            current += c;
            ++i;
            inArg = true;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArg)
        args.append(current);
    return args;
}

bool LaunchAtLogin::isEnabled() const
{
    // An entry is a few lines; anything that is no such file starts nothing.
    constexpr qint64 kMaxEntryBytes = 64 * 1024;
    const std::expected<QByteArray, FileReader::Failure> entry = FileReader::read(m_entryPath, kMaxEntryBytes);
    if (!entry)
        return false;
    const auto keys = readDesktopGroup(*entry);
    if (!keys || keys->value(QStringLiteral("Type")) != QLatin1String("Application")
        || keys->value(QStringLiteral("Name")).isEmpty()
        || keys->value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return false;
    const auto args = execArguments(keys->value(QStringLiteral("Exec")));
    return args && !args->isEmpty() && args->first() == m_program;
}

bool LaunchAtLogin::setEnabled(bool enabled)
{
    m_lastError.clear();
    if (m_entryPath.isEmpty())
        return fail(QStringLiteral("there is no home folder to keep the autostart entry in"));
    if (!enabled) {
        QFile entry(m_entryPath);
        if (!entry.remove())
            return fail(QStringLiteral("could not remove %1: %2").arg(m_entryPath, entry.errorString()));
        return true;
    }
    if (isEnabled())
        return true;
    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath()))
        return fail(QStringLiteral("could not create the folder %1").arg(QFileInfo(m_entryPath).absolutePath()));
    // Written whole or not at all: a half-written entry would start nothing.
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Tidewire\n"
                                        "Comment=A scrolling news ticker along the edge of your screen\n"
                                        "Exec=%1\n"
                                        "Icon=tidewire\n"
                                        "Terminal=false\n"
                                        "StartupNotify=false\n")
                             .arg(escapeValue(execCommand(m_program)));
    if (const Result<void> written = FileWriter::replace(m_entryPath, text.toUtf8()); !written)
        return fail(QStringLiteral("could not write %1: %2").arg(m_entryPath, written.error().description));
    return true;
}

bool LaunchAtLogin::fail(const QString& description)
{
    m_lastError = description;
    qCCritical(lcLaunch).noquote() << "Launch-at-login toggle failed: " + description;
    return false;
}
