#pragma once

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <utility>

// The shared colour palette: constants created once on first use and shared
// by every view.
namespace Palette {

const QColor& primaryText();    // white
const QColor& secondaryText();  // grey 0.68
const QColor& lightText();      // grey 0.78
const QColor& accent();         // 0.4, 0.6, 1.0
const QColor& orange();         // the system orange
const QColor& faintWhite();     // white at 10 %
const QColor& orbNeutral();     // 0.74, 0.77, 0.85
const QColor& slate();          // Color::hex("7E8BA8")

} // namespace Palette

// Strip background themes, in picker order: Black, Red, Blue, Green, Purple, Teal.
const QList<std::pair<QString, QColor>>& themeBackgrounds();
// The colour of the theme named exactly `name` (case counts); black otherwise.
QColor themeBackgroundColor(QStringView name);

// Colours of the catalogue's pillars by slug (12 entries).
const QHash<QString, QColor>& pillarSlugColors();

// A colour for a category, topic or source name, picked by the words in it.
QColor categoryTint(QStringView name);
