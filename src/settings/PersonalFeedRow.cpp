#include "settings/PersonalFeedRow.h"

#include "api/Color.h"
#include "api/Palette.h"
#include "api/RelativeTime.h"
#include "platform/base/Clock.h"
#include "platform/storage/Defaults.h"
#include "widgets/ParagraphLabel.h"
#include "widgets/PlainText.h"
#include "settings/EnableSwitch.h"
#include "settings/FocusRing.h"
#include "settings/SettingsLook.h"
#include "settings/SignalSwitchStyle.h"
#include "ticker/TickerSymbols.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr qreal kOffOpacity = 0.35;

// A filled circle, six pixels across.
class StatusDot : public QWidget {
public:
    StatusDot(QColor color, QWidget* parent) : QWidget(parent), m_color(std::move(color)) { setFixedSize(6, 6); }
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor m_color;
};

// The item count on a rounded, faint white fill.
class CountBadge : public QLabel {
public:
    CountBadge(const QString& text, qreal fillOpacity, QWidget* parent)
        : QLabel(parent), m_fillOpacity(fillOpacity)
    {
        setTextFormat(Qt::PlainText);
        setText(text);
        setFont(SettingsLook::font(10, QFont::DemiBold, true));
        SettingsLook::setTextColor(this, Color::mutedText());
        setContentsMargins(6, 2, 6, 2);
        setAlignment(Qt::AlignCenter);
    }
    qreal fillOpacity() const { return m_fillOpacity; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(SettingsLook::withOpacity(Qt::white, m_fillOpacity));
            painter.drawRoundedRect(QRectF(rect()), 4, 4);
        }
        QLabel::paintEvent(event);
    }

private:
    qreal m_fillOpacity;
};

} // namespace

PersonalFeedRow::PersonalFeedRow(PersonalFeed feed, std::function<void()> onToggle, std::function<void()> onRemove,
                                 Clock& clock, QWidget* parent)
    : QWidget(parent), m_feed(std::move(feed))
{
    const bool on = m_feed.isEnabled;
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 6, 14, 6);
    layout->setSpacing(10);

    const QColor dotColor = m_feed.lastError ? Palette::orange() : Color::okGreen();  // the system green
    m_dot = new StatusDot(SettingsLook::withOpacity(dotColor, on ? 1.0 : kOffOpacity), this);
    PlainText::setToolTip(m_dot, m_feed.lastError ? *m_feed.lastError : fetchedText(clock));
    layout->addWidget(m_dot, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    // Each as wide as its text, narrower (cut with an ellipsis) when the row
    // is short of room. The title reads in its own direction, the error or
    // host line in the row's.
    m_title = SettingsLook::paragraphLabel(m_feed.title, SettingsLook::font(12, QFont::Medium),
                                           on ? QColor(Qt::white) : Color::mutedText(), this);
    ParagraphLabel* subtitle =
        m_feed.lastError
            ? SettingsLook::paragraphLabel(*m_feed.lastError, SettingsLook::font(10), Palette::orange(), this)
            : SettingsLook::paragraphLabel(hostLine(m_feed.url), SettingsLook::font(10), Color::mutedText(), this);
    subtitle->setDirection(ParagraphLabel::Direction::OfWidget);
    m_subtitle = subtitle;
    for (QLabel* line : {m_title, m_subtitle})
        texts->addWidget(line);
    layout->addLayout(texts);

    m_badge = new CountBadge(QString::number(m_feed.itemCount), on ? 0.08 : 0.04, this);
    m_badge->setToolTip(QString::number(m_feed.itemCount) + QStringLiteral(" items held"));
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    layout->addStretch(1);

    m_remove = new QToolButton(this);
    m_remove->setAutoRaise(true);
    m_remove->setIcon(QIcon(TickerSymbols::pixmap(TickerSymbols::xmark, 9, Color::mutedText(), devicePixelRatioF())));
    m_remove->setIconSize(QSize(9, 9));
    m_remove->setCursor(Qt::PointingHandCursor);
    m_remove->setFocusPolicy(Qt::StrongFocus);
    FocusRing::attach(m_remove, 3);
    m_remove->setAccessibleName(QStringLiteral("Remove ") + m_feed.title);
    PlainText::setToolTip(m_remove, QStringLiteral("Remove ") + m_feed.title);
    connect(m_remove, &QToolButton::clicked, this, [onRemove = std::move(onRemove)] { onRemove(); });
    layout->addWidget(m_remove, 0, Qt::AlignVCenter);

    m_switch = new EnableSwitch(this);
    SignalSwitchStyle::settings()->apply(m_switch);
    m_switch->setChecked(on);
    m_switch->setAccessibleName(m_feed.title);
    // The switch shows the stored state; a flip asks for the other one and
    // waits for the store to say what it became.
    connect(m_switch, &QCheckBox::clicked, this, [this, onToggle = std::move(onToggle)] {
        m_switch->setChecked(m_feed.isEnabled);
        onToggle();
    });
    layout->addWidget(m_switch, 0, Qt::AlignVCenter);
}

QColor PersonalFeedRow::dotColor() const
{
    QColor color = static_cast<StatusDot*>(m_dot)->color();
    color.setAlpha(255);
    return color;
}

qreal PersonalFeedRow::dotOpacity() const
{
    return static_cast<StatusDot*>(m_dot)->color().alphaF();
}

qreal PersonalFeedRow::badgeFillOpacity() const
{
    return static_cast<CountBadge*>(m_badge)->fillOpacity();
}

QString PersonalFeedRow::hostLine(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return url;
    return parsed.host().toLower().remove(QStringLiteral("www."));
}

QString PersonalFeedRow::fetchedText(Clock& clock) const
{
    if (!m_feed.lastFetchedAt)
        return QStringLiteral("Fetched never");
    return QStringLiteral("Fetched ") + relativeTimeText(*m_feed.lastFetchedAt, clock.now()).value_or(QString());
}

void PersonalFeedRow::paintEvent(QPaintEvent*)
{
    // The separator follows the strip's theme, read at each paint.
    const QString theme = Defaults::standard().stringValue(QStringLiteral("themeBackground"), QStringLiteral("Black"));
    QPainter painter(this);
    painter.fillRect(QRect(0, height() - 1, width(), 1), SettingsLook::withOpacity(themeBackgroundColor(theme), 0.5));
}
