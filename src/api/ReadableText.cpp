#include "api/ReadableText.h"

#include "api/ItemModels.h"
#include "widgets/ParagraphLayout.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace {

constexpr char16_t ellipsis = 0x2026;
constexpr char16_t fsi = 0x2068;
constexpr char16_t pdi = 0x2069;
// Characters after the cut that the boundary rules may look at: enough to
// decide a boundary at the cut without reading the rest of a huge text.
constexpr qsizetype lookAhead = 32;

// The last boundary of `type` at or before `at` in `window`; 0 when none.
qsizetype boundaryBefore(QTextBoundaryFinder::BoundaryType type, QStringView window, qsizetype at)
{
    QTextBoundaryFinder finder(type, window.data(), window.size());
    finder.setPosition(at);
    if (finder.isAtBoundary())
        return at;
    return std::max<qsizetype>(0, finder.toPreviousBoundary());
}

// Where to cut `window` so that at most `at` units stay: after a word when
// that keeps at least half of them, else between graphemes, else between
// code points.
qsizetype cutPosition(QStringView window, qsizetype at)
{
    const qsizetype word = boundaryBefore(QTextBoundaryFinder::Word, window, at);
    if (word >= at / 2)
        return word;
    const qsizetype grapheme = boundaryBefore(QTextBoundaryFinder::Grapheme, window, at);
    if (grapheme > 0)
        return grapheme;
    return window[at].isLowSurrogate() && window[at - 1].isHighSurrogate() ? at - 1 : at;
}

// Whether `text` holds a character that can change the order of what
// stands around it: right-to-left letters, Arabic digits, or an explicit
// embedding, override or isolate.
bool turnsDirection(QStringView text)
{
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::direction(c)) {
        case QChar::DirR: case QChar::DirAL: case QChar::DirAN:
        case QChar::DirLRE: case QChar::DirLRO: case QChar::DirRLE: case QChar::DirRLO: case QChar::DirPDF:
        case QChar::DirLRI: case QChar::DirRLI: case QChar::DirFSI: case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

// `piece` as an isolate of its own: a closer it has no opener for would end
// the isolate early and is dropped; what it leaves open is closed inside.
QString isolated(QStringView piece)
{
    QString inside;
    inside.reserve(piece.size() + 2);
    int open = 0;  // isolates the piece opened and has not closed
    for (const QChar c : piece) {
        if (c == QChar(pdi)) {
            if (open == 0)
                continue;
            --open;
        } else if (c.unicode() >= 0x2066 && c.unicode() <= 0x2068) {  // LRI, RLI, FSI
            ++open;
        }
        inside.append(c);
    }
    return QChar(fsi) + inside + ReadableText::closingScopes(inside) + QChar(pdi);
}

// A meta line of the source's `label` and its `time`, when there is one.
QString metaLineOf(const QString& label, const std::optional<QString>& time)
{
    QStringList pieces{label};
    if (time)
        pieces.append(*time);
    return ReadableText::joinedPieces(pieces, FeedItem::metaSeparator);
}

} // namespace

namespace ReadableText {

QString closingScopes(QStringView text)
{
    return ParagraphLayout::closingScopes(text);
}

QString joinedPieces(const QStringList& pieces, QStringView separator)
{
    const bool isolate = std::any_of(pieces.cbegin(), pieces.cend(),
                                     [](const QString& piece) { return turnsDirection(piece); });
    QString line;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            line += separator;
        line += isolate ? isolated(pieces[i]) : pieces[i];
    }
    return line;
}

QString metaLine(const FeedItem& item, const MetaLineContext& context)
{
    const FeedItem::MetaLineParts parts = withReadableSource(item).metaLineParts(context);
    return metaLineOf(parts.label, parts.time);
}

QString metaLine(const FeedItem& item, const MetaLineContext& context, const QFont& font, double width)
{
    const FeedItem::MetaLineParts parts = withReadableSource(item).metaLineParts(context);
    const QString whole = metaLineOf(parts.label, parts.time);
    const QFontMetricsF metrics(font);
    if (!parts.time || metrics.horizontalAdvance(whole) <= width)
        return whole;
    const auto cut = [&](qsizetype end) {
        const QStringView kept = QStringView(parts.label).first(end);
        return metaLineOf(kept.toString() + closingScopes(kept) + QChar(ellipsis), parts.time);
    };
    const auto fits = [&](qsizetype end) { return metrics.horizontalAdvance(cut(end)) <= width; };
    if (!fits(0))
        return whole;
    return cut(ParagraphLayout::fittingEnd(parts.label, 0, fits));
}

QString capped(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    if (limit <= 1)
        return QString(QChar(ellipsis));
    const qsizetype at = limit - 1;  // room for the ellipsis
    const QStringView window = QStringView(text).first(std::min(text.size(), at + lookAhead));
    QStringView kept = window.first(cutPosition(window, at));
    while (!kept.isEmpty() && kept.back().isSpace())
        kept.chop(1);
    return kept.toString() + closingScopes(kept) + QChar(ellipsis);
}

QString headline(const FeedItem& item)
{
    return capped(item.cleanedTitle(), headlineLength);
}

FeedItem withReadableSource(const FeedItem& item)
{
    if (!item.source || !item.source->title || item.source->title->size() <= sourceLength)
        return item;
    FeedItem shown = item;
    shown.source->title = capped(*item.source->title, sourceLength);
    return shown;
}

Qt::LayoutDirection direction(const QString& text)
{
    return text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

} // namespace ReadableText
