#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

class QFont;
struct FeedItem;
struct MetaLineContext;

// Outside texts where they are read in passing (a headline on the strip or
// the board, a quote's name, what assistive technologies read for them). A
// text far too long to read is cut to a bounded length before anything
// measures or paints it, so a cell costs the same whatever the source sent.
// The stored text stays whole: search, filters and links read that.
namespace ReadableText {

// The most UTF-16 code units of a headline shown, the ellipsis included:
// about 2,700 px at the strip's standard size, a minute and a half passing
// at the slowest speed. Real headlines are far shorter.
inline constexpr qsizetype headlineLength = 250;

// `text` itself when it has at most `limit` code units. Otherwise its start,
// cut where a word ends (in a word too long for that, between two graphemes;
// in a single grapheme too long, between two code points), without the white
// space before the cut, with every direction embedding or isolate it left
// open closed, then "…" (U+2026) as its logical last character. At most
// `limit` - 1 units of `text` are kept; the work depends on `limit`, not on
// the length of `text`.
QString capped(const QString& text, qsizetype limit);

// The most UTF-16 code units of a source's name shown in a headline's meta
// tag, the ellipsis included.
inline constexpr qsizetype sourceLength = 80;

// The item's clean title as shown: capped at headlineLength.
QString headline(const FeedItem& item);

// The item as its cells read it: the source's name capped at sourceLength,
// so the meta line and the host label made from it stay short and the meta
// line keeps its time; everything else as it is.
FeedItem withReadableSource(const FeedItem& item);

// The item's meta line as its cells show it: the source's name capped at
// sourceLength, then, for a dated item, the separator and the time, joined
// so that each reads in its own direction (see joinedPieces).
QString metaLine(const FeedItem& item, const MetaLineContext& context);

// The item's meta line as a line `width` wide in `font` shows it: metaLine
// when that fits; otherwise the source's name is cut between two graphemes,
// "…" at its logical end, so that the time stays whole. A line without a
// time, or whose time alone does not fit, is metaLine as it is.
QString metaLine(const FeedItem& item, const MetaLineContext& context, const QFont& font, double width);

// The pieces of a line the app composes (a source's name, a time), joined by
// `separator` so that each reads in its own direction and none takes in a
// neighbour: "6:56 PM" after a right-to-left name stays one unit. When any
// piece holds right-to-left text or direction controls, each piece becomes
// an isolate of its own (FSI … PDI), with what it leaves open closed inside
// and any closer it has no opener for dropped; otherwise the pieces are
// joined as they are. The isolates take no width and draw nothing. The line
// itself reads in the direction it is drawn in: the order of the pieces is
// the interface's.
QString joinedPieces(const QStringList& pieces, QStringView separator);

// The terminators of the direction embeddings, overrides and isolates `text`
// opens and does not close, innermost first: what follows them reads in the
// direction around `text`.
QString closingScopes(QStringView text);

// The direction `text` is laid out in as a paragraph of its own: that of its
// first strong character, left to right when it has none.
Qt::LayoutDirection direction(const QString& text);

} // namespace ReadableText
