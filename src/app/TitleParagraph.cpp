#include "app/TitleParagraph.h"

#include "api/ReadableText.h"

#include <algorithm>

TitleParagraph::TitleParagraph(const QString& text, const QFont& font, double width, int maxLines)
    : m_paragraph(text, font, width,
                  ParagraphLayout::Options{.direction = ReadableText::direction(text),
                                           .wrap = true,
                                           .maxLines = std::max(1, maxLines),
                                           .alignment = Qt::AlignLeft,
                                           .againstWidest = true})
{
}
