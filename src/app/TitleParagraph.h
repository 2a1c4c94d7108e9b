#pragma once

#include "widgets/ParagraphLayout.h"

#include <QFont>
#include <QString>

class QPainter;
class QPointF;

// A title laid out as one paragraph in the direction of its own text, wrapped
// at word boundaries into at most `maxLines` lines of `width`: each line
// holds the characters it holds when the whole title wraps in `width`. When
// more would follow, the last line holds what fits of the rest and ends in an
// ellipsis at the text's logical end (the left for a right-to-left title).
// A right-to-left paragraph of several lines sets them flush right against
// its widest line. Cheap to copy.
class TitleParagraph {
public:
    TitleParagraph() = default;
    TitleParagraph(const QString& text, const QFont& font, double width, int maxLines);

    int lineCount() const { return m_paragraph.lineCount(); }
    // Lines follow each other at the font's line spacing.
    double height() const { return lineCount() * m_paragraph.lineSpacing(); }
    // The widest line's width.
    double width() const { return m_paragraph.width(); }
    // The characters of a line as drawn, in logical order ("…" included).
    QString lineText(int line) const { return m_paragraph.lineText(line); }
    // Draws the lines with the painter's pen, the first line's top at
    // `topLeft`.
    void draw(QPainter& painter, const QPointF& topLeft) const { m_paragraph.draw(painter, topLeft); }

private:
    ParagraphLayout m_paragraph;
};
