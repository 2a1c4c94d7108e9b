#pragma once

#include <QString>

// The strip's own control symbols, served under the same resource folder as
// the row symbols, so TickerSymbols::pixmap() draws them by these names.
namespace StripSymbols {

inline const QString gear = QStringLiteral("gearshape");
inline const QString chevronLeft = QStringLiteral("chevron-left");
inline const QString chevronRight = QStringLiteral("chevron-right");

// Registers the symbols' resources (once; safe to call from any widget).
void ensureLoaded();

} // namespace StripSymbols
