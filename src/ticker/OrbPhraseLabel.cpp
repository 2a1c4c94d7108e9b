#include "ticker/OrbPhraseLabel.h"

#include "widgets/PlainText.h"
#include "platform/session/UrlOpener.h"
#include "store/FilterStore.h"
#include "ticker/PhraseToggle.h"
#include "ticker/PopupMenu.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

QString quoted(const QString& keyword)
{
    return QStringLiteral("“") + keyword + QStringLiteral("”");
}

} // namespace

OrbPhraseLabel::OrbPhraseLabel(QString text, std::optional<QUrl> url, double fontSize, QString keyword,
                               FilterStore& filters, UrlOpener& opener, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
    , m_url(std::move(url))
    , m_fontSize(fontSize)
    , m_keyword(std::move(keyword))
    , m_filters(filters)
    , m_opener(opener)
{
    if (m_url) {
        setCursor(Qt::PointingHandCursor);
        PlainText::setToolTip(this, help());
    }
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString OrbPhraseLabel::help() const
{
    if (!m_url)
        return {};
    const QString host = m_url->host();
    return host.isEmpty() ? QStringLiteral("Open article") : QStringLiteral("Open on ") + host;
}

QFont OrbPhraseLabel::baseFont() const
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(std::max(1, int(std::lround(m_fontSize))));
    font.setBold(true);
    return font;
}

QFont OrbPhraseLabel::fittedFont() const
{
    QFont font = baseFont();
    const double full = QFontMetricsF(font).horizontalAdvance(m_text);
    if (full <= width() || full <= 0)
        return font;
    const double scale = std::max(minimumScale, double(width()) / full);
    font.setPixelSize(std::max(1, int(std::floor(m_fontSize * scale))));
    return font;
}

QSize OrbPhraseLabel::sizeHint() const
{
    const QFontMetricsF fm(baseFont());
    return {int(std::ceil(fm.horizontalAdvance(m_text))), int(std::ceil(fm.height()))};
}

QSize OrbPhraseLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void OrbPhraseLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QFont font = fittedFont();
    const QFontMetricsF fm(font);
    const QString shown = fm.elidedText(m_text, Qt::ElideRight, width());
    p.setFont(font);
    p.setPen(Qt::white);
    const double baseline = (height() - fm.height()) / 2 + fm.ascent();
    p.drawText(QPointF(0, baseline), shown);
    if (m_url && m_hovered) {
        QColor line(Qt::white);
        line.setAlphaF(0.7f);
        const double y = baseline + fm.underlinePos();
        p.fillRect(QRectF(0, y, fm.horizontalAdvance(shown), std::max(1.0, fm.lineWidth())), line);
    }
}

void OrbPhraseLabel::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_hovered = true;
    update();
}

void OrbPhraseLabel::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_hovered = false;
    update();
}

void OrbPhraseLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_url && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        m_opener.open(*m_url);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

std::unique_ptr<QMenu> OrbPhraseLabel::contextMenu()
{
    auto menu = std::make_unique<QMenu>();
    // Tested on the trimmed phrase: that is what the lists hold.
    const QString phrase = m_keyword.trimmed();
    const bool muted = m_filters.isMuted(phrase);
    const bool followed = m_filters.isFollowed(phrase);
    const QString mute = muted ? QStringLiteral("Unmute ") : QStringLiteral("Mute ");
    const QString follow = followed ? QStringLiteral("Unfollow ") : QStringLiteral("Follow ");
    FilterStore* filters = &m_filters;
    const QString keyword = m_keyword;
    QAction* muteEntry = menu->addAction(PlainText::actionText(mute + quoted(m_keyword)), menu.get(),
                                         [filters, keyword] { PhraseToggle::toggleMuted(*filters, keyword); });
    // A full list takes no more: its entry is greyed out, the reason under it.
    if (!muted && m_filters.isMutedFull()) {
        muteEntry->setEnabled(false);
        menu->addAction(PlainText::actionText(FilterStore::fullListText(true)))->setEnabled(false);
    }
    QAction* followEntry = menu->addAction(PlainText::actionText(follow + quoted(m_keyword)), menu.get(),
                                           [filters, keyword] { PhraseToggle::toggleFollowed(*filters, keyword); });
    if (!followed && m_filters.isFollowedFull()) {
        followEntry->setEnabled(false);
        menu->addAction(PlainText::actionText(FilterStore::fullListText(false)))->setEnabled(false);
    }
    return menu;
}

void OrbPhraseLabel::contextMenuEvent(QContextMenuEvent* event)
{
    // The orb keeps this label while the menu shows, but the orb itself may
    // be replaced meanwhile: the menu needs nothing of the label, and only a
    // label still there hears that it closed.
    m_menuOpen = true;
    PopupMenu::show(contextMenu(), event->globalPos(), this, [this] {
        m_menuOpen = false;
        Q_EMIT menuClosed();
    });
}
