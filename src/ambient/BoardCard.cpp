#include "ambient/BoardCard.h"

#include "api/Palette.h"
#include "api/ReadableText.h"
#include "widgets/ParagraphLabel.h"
#include "platform/session/UrlOpener.h"
#include "store/ReadStore.h"
#include "ticker/ArticleThumbnail.h"
#include "ticker/FaviconStore.h"
#include "ticker/ThumbnailStore.h"
#include "ticker/TickerIconView.h"
#include "ticker/TickerRowLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QLabel* styled(QLabel* label, int pixelSize, QFont::Weight weight, const QColor& color)
{
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// The card's meta line at the width the card gives it: a source's name too
// long for that is cut so that the time stays whole.
class MetaLabel final : public ParagraphLabel {
public:
    MetaLabel(const FeedItem& item, QWidget* parent)
        : ParagraphLabel(ReadableText::metaLine(item, MetaLineContext::current()), parent), m_item(item),
          m_context(MetaLineContext::current())
    {
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        ParagraphLabel::resizeEvent(event);
        fit();
    }
    void changeEvent(QEvent* event) override
    {
        ParagraphLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            fit();
    }

private:
    void fit()
    {
        if (width() > 0)
            setText(ReadableText::metaLine(m_item, m_context, font(), contentsRect().width() - 2 * margin()));
    }

    FeedItem m_item;
    MetaLineContext m_context;
};

} // namespace

BoardCard::BoardCard(FeedItem item, TickerRowContext context, QWidget* parent)
    : QWidget(parent), m_item(std::move(item)), m_context(context)
{
    setAttribute(Qt::WA_Hover);
    if (m_item.linkURL())
        setCursor(Qt::PointingHandCursor);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(10);

    auto* header = new QHBoxLayout();
    header->setSpacing(8);
    auto* icon = new TickerIconView(m_item, iconSize, *m_context.favicons, this);
    icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    header->addWidget(icon);
    // The source's name and the time, each in its own direction, in the
    // order the card reads in.
    auto* meta = new MetaLabel(m_item, this);
    meta->setDirection(ParagraphLabel::Direction::OfWidget);
    m_meta = styled(meta, 11, QFont::Bold, Palette::secondaryText());
    header->addWidget(m_meta, 1);
    column->addLayout(header);

    if (const auto picture = TickerRowLayout::thumbnailUrl(m_item)) {
        auto* thumbnail = new ArticleThumbnail(*picture, 0, thumbnailHeight, 8, *m_context.thumbnails, this);
        thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
        thumbnail->setMinimumHeight(int(thumbnailHeight));
        thumbnail->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        column->addWidget(thumbnail);
        m_hasThumbnail = true;
    }

    const QString title = ReadableText::headline(m_item);
    auto* titleLabel = new ParagraphLabel(title, this);
    m_title = styled(titleLabel, 18, QFont::Bold, Palette::primaryText());
    // Wrapped in the room the card leaves it, from the leading edge of the
    // title's own direction: a right-to-left title is set from the right and
    // ends, with its ellipsis, on the left. A word wider than the card breaks
    // inside the card.
    m_title->setWordWrap(true);
    titleLabel->setHeightFromLayout(true);
    m_title->setLayoutDirection(ReadableText::direction(title));
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(m_title, 1);
}

QString BoardCard::titleText() const
{
    return m_title->text();
}

QString BoardCard::metaText() const
{
    return m_meta->text();
}

void BoardCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Palette::faintWhite(), 1));
    painter.setBrush(underMouse() ? QColor(255, 255, 255, 26) : QColor(255, 255, 255, 13));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

void BoardCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    const std::optional<QUrl> link = m_item.linkURL();
    if (!link)
        return;
    m_context.readStore->markRead(m_item.stableId);
    m_context.opener->open(*link);
}
