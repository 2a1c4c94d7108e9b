#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The strip's single-colour symbols (our own SVGs under ":/ticker/symbols"),
// tinted at paint time and cached per name, size, colour and pixel ratio.
namespace TickerSymbols {

inline const QString antenna = QStringLiteral("antenna");
inline const QString scope = QStringLiteral("scope");
inline const QString xmark = QStringLiteral("xmark");
inline const QString wifiSlash = QStringLiteral("wifi-slash");
inline const QString compass = QStringLiteral("compass");
inline const QString link = QStringLiteral("link");

// A square picture of `side` logical pixels; a null pixmap for an unknown name.
QPixmap pixmap(const QString& name, double side, const QColor& color, qreal dpr);
// The symbol as a menu icon in the palette's text colour.
QIcon icon(const QString& name);

} // namespace TickerSymbols
