#pragma once

#include <QColor>
#include <QStringView>

// Colours from hex text and the shared colour constants of the style kit.
// Each constant is created once and shared; the palette colours named here
// are the very objects Palette hands out.
namespace Color {

// Never fails. Non-alphanumeric characters are trimmed from both ends; the
// rest is scanned as one hex number (optional 0x, stops at the first non-hex
// character, nothing read = 0). The trimmed length decides the layout:
// 3 = RGB (each digit x 17), 6 = RRGGBB, 8 = AARRGGBB; any other length gives
// an almost invisible colour (1/255, 1/255, 0 at opacity 1/255).
QColor hex(QStringView text);

// True when the trimmed text is exactly 3, 6 or 8 hex digits, so hex() reads
// it as the colour it spells.
bool isValidHex(QStringView text);

const QColor& rowBackground();  // "16181D"
const QColor& faintFill();      // white at 7 %
const QColor& okGreen();        // "34C759"
const QColor& slate();          // "7E8BA8" (Palette::slate)

const QColor& accentBlue();  // Palette::accent
const QColor& hairline();    // Palette::faintWhite
const QColor& mutedText();   // Palette::secondaryText

} // namespace Color
