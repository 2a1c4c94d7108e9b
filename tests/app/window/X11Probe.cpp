#include "X11Probe.h"

#include <QProcess>
#include <QRegularExpression>

namespace X11Probe {
namespace {

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// "NAME(TYPE) = a, b, c" → {a, b, c}; none for "NAME:  not found."
std::optional<QStringList> propertyValues(const QStringList& target, const QString& property)
{
    const QString out = run(QStringLiteral("xprop"), target + QStringList{property}).trimmed();
    const qsizetype eq = out.indexOf(QLatin1String(" = "));
    if (!out.startsWith(property + QLatin1Char('(')) || eq < 0)
        return std::nullopt;
    QStringList values = out.mid(eq + 3).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& v : values)
        v = v.trimmed();
    return values;
}

std::optional<QList<qint64>> toNumbers(const std::optional<QStringList>& values)
{
    if (!values)
        return std::nullopt;
    QList<qint64> numbers;
    for (const QString& v : *values)
        numbers.append(v.toLongLong());
    return numbers;
}

QStringList idTarget(WId window)
{
    return {QStringLiteral("-id"), QString::number(window)};
}

int field(const QString& text, const QString& label)
{
    const QRegularExpression re(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
    const auto match = re.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

QStringList atoms(WId window, const QString& property)
{
    return propertyValues(idTarget(window), property).value_or(QStringList{});
}

std::optional<QList<qint64>> cardinals(WId window, const QString& property)
{
    return toNumbers(propertyValues(idTarget(window), property));
}

std::optional<QList<qint64>> rootCardinals(const QString& property)
{
    return toNumbers(propertyValues({QStringLiteral("-root")}, property));
}

QRect geometry(WId window)
{
    const QString out = run(QStringLiteral("xwininfo"), idTarget(window));
    return QRect(field(out, QStringLiteral("Absolute upper-left X")), field(out, QStringLiteral("Absolute upper-left Y")),
                 field(out, QStringLiteral("Width")), field(out, QStringLiteral("Height")));
}

std::optional<QRect> boundingShape(WId window)
{
    const QString out = run(QStringLiteral("xwininfo"), idTarget(window) + QStringList{QStringLiteral("-shape")});
    // "Window shape extents:  290x72+0+0", or "No window shape defined".
    static const QRegularExpression re(QStringLiteral("Window shape extents:\\s*(\\d+)x(\\d+)([+-]\\d+)([+-]\\d+)"));
    const auto m = re.match(out);
    if (!m.hasMatch())
        return std::nullopt;
    return QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
}

QString shapeReport(WId window)
{
    return run(QStringLiteral("xwininfo"), idTarget(window) + QStringList{QStringLiteral("-shape")});
}

bool setMonitor(const QString& name, const QRect& rect, const QString& output)
{
    bool ok = false;
    // Physical size in millimetres is required; any value will do.
    const QString geometry = QStringLiteral("%1/300x%2/200+%3+%4")
                                 .arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
    run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name, geometry, output}, &ok);
    return ok;
}

bool deleteMonitor(const QString& name)
{
    bool ok = false;
    run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name}, &ok);
    return ok;
}

} // namespace X11Probe
