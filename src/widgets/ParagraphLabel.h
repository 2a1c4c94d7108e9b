#pragma once

#include "widgets/ParagraphLayout.h"

#include <QFont>
#include <QLabel>
#include <QList>
#include <QStringList>

// A label for text from outside (a headline, a feed's title, an error a
// server sent). Its text is always plain and laid out as one paragraph, by
// default in the direction of its own first strong character; its
// horizontal alignment is read in the paragraph's direction, so
// Qt::AlignLeft is where the text begins (the right for a right-to-left
// text).
//
// With word wrap on, lines break between words and, where a word is wider
// than the label, inside it, between two graphemes. With it off, the text
// keeps to one line and its line breaks show as spaces.
//
// Its minimum width never comes from its text: it is at most a few average
// characters, so a long word never widens the layouts the label stands in.
// Given less room than its text needs, it shows the lines that fit, the last
// one ending in "…" at the text's logical end. The text itself stays whole.
// It draws its text itself: it offers no selection and no links. Its text
// is laid out once for a width and kept until the text, the font, the
// direction, the alignment or the width changes.
class ParagraphLabel : public QLabel {
    Q_OBJECT
public:
    // The most average characters the minimum width holds.
    static constexpr int minimumCharacters = 8;

    // Where the paragraph's direction comes from: its text's first strong
    // character, or the widget's layout direction (for a sentence of ours
    // that holds a text from outside, which reads in the sentence's
    // direction whatever that text's is).
    enum class Direction { OfText, OfWidget };

    explicit ParagraphLabel(const QString& text = {}, QWidget* parent = nullptr);

    void setDirection(Direction direction);
    Direction direction() const { return m_direction; }
    // The direction the paragraph is laid out in now.
    Qt::LayoutDirection paragraphDirection() const;

    // On: the label takes the height its layout gives it and asks for no
    // height for its width, so that in a box of fixed size (a card) its
    // text is cut to the room the other parts leave it, instead of
    // squeezing them. Off (the default): a wrapping label asks for the
    // height all its lines take.
    void setHeightFromLayout(bool on);

    // On: while the label shows its text cut with "…", its tool tip is the
    // whole text, as written; otherwise it has none.
    void setWholeTextToolTip(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // The lines as drawn at the label's present size, in reading order,
    // without their line-break characters.
    QStringList shownLines() const;

    // How many times the label has laid its text out so far.
    int layoutCount() const { return m_layoutCount; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect textRect() const;
    QSize extra() const;
    // How many lines fit in `height`; at least one.
    int linesFitting(int height) const;
    // The text in `width`, wrapped or not, in at most `maxLines` lines (0:
    // as many as it takes), laid out again only when needed.
    const ParagraphLayout& paragraph(bool wrap, qreal width, int maxLines) const;
    qreal heightOf(const ParagraphLayout& paragraph) const;
    QSize sizeOf(const ParagraphLayout& paragraph) const;
    // The paragraph as drawn at the label's present size.
    const ParagraphLayout& shownParagraph() const;
    void showWholeTextToolTip();

    struct Laid {
        bool wrap;
        qreal width;
        int maxLines;
        ParagraphLayout paragraph;
    };
    // What every kept layout was made from; a change drops them.
    struct Source {
        QString text;
        QFont font;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        Qt::Alignment alignment;
        bool operator==(const Source&) const = default;
    };

    Direction m_direction = Direction::OfText;
    bool m_heightFromLayout = false;
    bool m_wholeTextToolTip = false;
    mutable Source m_laidSource;
    mutable QList<Laid> m_laid;  // the most recently used first
    mutable int m_layoutCount = 0;
};
