#pragma once

#include <QString>
#include <Qt>

class QLabel;

// Texts from outside that hold a word wider than any label can show whole,
// as feeds and servers really send them (a compound word, an address used as
// a title, words in right-to-left scripts), and what a test checks of how a
// label shows them.
namespace WideWords {

// "Donaudampfschifffahrt" nine times: 189 letters, no space.
QString compound();
// "https://long.example/segment00/segment01/…" of at least `length` units.
QString address(qsizetype length = 240);
// 180 Hebrew letters: alef, 178 bets, tav.
QString hebrew();
// 180 Arabic letters: "السلام" thirty times.
QString arabic();

// Whether `label` shows `start` (a short run of letters that do not join
// their neighbours) where its text begins: at the left end of its first
// line for `direction` left to right, at the right end for right to left.
// Reads what the label asks its painter to draw (the letters, their order
// on the line and where the line starts and ends), not how the label says
// it laid its text out, and not the pixels, which depend on the font that
// draws each letter. For labels whose first line is at their top, or that
// have one line.
bool showsStartAtLeadingEdge(QLabel* label, const QString& start, Qt::LayoutDirection direction);

// Whether `label` shows `text` as one of its lines where a plain label of
// its size, font and margins, aligned by `alignment` (taken as absolute),
// shows it: a line the label should show whole in that place, read as
// above.
bool showsLine(QLabel* label, const QString& text, Qt::Alignment alignment);

} // namespace WideWords
