#pragma once

#include <QList>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <optional>

// Reads what the X server itself holds about a window, through the standard
// X11 command-line tools, so the checks do not share code with what they check.
namespace X11Probe {

// The atom names of an ATOM property; empty when it is not set.
QStringList atoms(WId window, const QString& property);
// The values of a CARDINAL property; none when it is not set.
std::optional<QList<qint64>> cardinals(WId window, const QString& property);
std::optional<QList<qint64>> rootCardinals(const QString& property);
// The window's position on the root window and its size.
QRect geometry(WId window);
// The extents of the window's bounding shape; none when it is not shaped.
std::optional<QRect> boundingShape(WId window);
QString shapeReport(WId window);
// Adds, replaces or removes a monitor of the X server (RandR 1.5).
bool setMonitor(const QString& name, const QRect& rect, const QString& output);
bool deleteMonitor(const QString& name);

} // namespace X11Probe
