#pragma once

#include <QFont>
#include <QString>
#include <memory>

class QPainter;
class QPointF;
class QTextLayout;

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

    int lineCount() const { return m_lineCount; }
    // Lines follow each other at the font's line spacing.
    double height() const { return m_height; }
    // The widest line's width.
    double width() const { return m_width; }
    // The characters of a line as drawn, in logical order ("…" included).
    QString lineText(int line) const;
    // Draws the lines with the painter's pen, the first line's top at
    // `topLeft`.
    void draw(QPainter& painter, const QPointF& topLeft) const;

private:
    std::shared_ptr<QTextLayout> m_layout;
    int m_lineCount = 0;
    double m_height = 0;
    double m_width = 0;
};
