#pragma once

#include <QFont>
#include <QString>
#include <Qt>
#include <functional>
#include <memory>

class QPainter;
class QPointF;
class QTextLayout;

// A text laid out as one paragraph, in lines of a width: the one way every
// title, label and card text of the app is broken into lines. The text is
// laid out once, whole, at the real width, and each line draws its own range
// of it, so a line breaks only where the text may break (between words, or
// between graphemes inside a word wider than the line), whatever glyphs its
// characters make: a ligature, a letter with its marks, the joined forms of
// Arabic.
//
// Given at most `maxLines` lines and more to come (or, on one line, a text
// wider than the width), the lines before the last hold what they hold when
// the text wraps whole; the last one holds what fits of the rest, cut
// between two graphemes, every direction scope left open closed, and "…" at
// the paragraph's logical end (the left of a right-to-left one). Line breaks
// in that rest read as spaces. Cheap to copy; copies share one layout.
class ParagraphLayout {
public:
    struct Options {
        Qt::LayoutDirection direction = Qt::LeftToRight;
        // Off: the text stays on one line, its line breaks laid out as the
        // caller left them.
        bool wrap = true;
        // The most lines shown; 0: as many as the text takes.
        int maxLines = 0;
        // Where each line stands, read in the paragraph's direction
        // (Qt::AlignLeft: on the edge the text begins from, unless
        // Qt::AlignAbsolute): within the width, or, with `againstWidest`,
        // within the widest line, where lines start on whole pixels.
        Qt::Alignment alignment = Qt::AlignLeft;
        bool againstWidest = false;
    };

    ParagraphLayout() = default;
    ParagraphLayout(const QString& text, const QFont& font, double width, const Options& options);

    int lineCount() const { return m_lineCount; }
    // Whether the text was cut with the ellipsis.
    bool isCut() const { return m_cut; }
    // The widest line's width.
    double width() const { return m_width; }
    // Lines follow each other at the font's line spacing, the first one's
    // top at 0.
    double lineSpacing() const { return m_spacing; }
    // The characters of a line as drawn, in logical order ("…" included),
    // without a line break; empty for a line that is not there.
    QString lineText(int line) const;
    // Draws the lines with the painter's pen and font, the box's top left
    // corner at `topLeft`.
    void draw(QPainter& painter, const QPointF& topLeft) const;

    // The terminators of the direction embeddings, overrides and isolates
    // `text` opens and does not close, innermost first: what follows them
    // reads in the direction around `text`.
    static QString closingScopes(QStringView text);

    // The end of the longest run of whole graphemes of `text` from `from` on
    // for which `fits` holds, without the white space at its end; `from`
    // when no grapheme fits. `fits` is given the run's end; it holds for every
    // shorter run where it holds for a longer one. About as much text as fits
    // is tried, however long `text` is.
    static qsizetype fittingEnd(const QString& text, qsizetype from,
                                const std::function<bool(qsizetype end)>& fits);

private:
    std::shared_ptr<QTextLayout> m_layout;
    int m_lineCount = 0;
    bool m_cut = false;
    double m_width = 0;
    double m_spacing = 0;
};
