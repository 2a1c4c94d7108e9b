#include "settings/CatalogueFeedRow.h"

#include "api/Color.h"
#include "api/SourceTypeBadge.h"
#include "widgets/ParagraphLabel.h"
#include "settings/SettingsLook.h"
#include "settings/SignalSwitchStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The source kind's badge; nothing and no size for the kinds without one.
class BadgeView : public QWidget {
public:
    BadgeView(SourceType type, QWidget* parent) : QWidget(parent), m_badge(type, false)
    {
        const SourceTypeBadgeLayout layout = m_badge.layout();
        const QSizeF size = layout.isEmpty ? QSizeF(0, 0) : layout.size;
        setFixedSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
        setVisible(!layout.isEmpty);
        setAccessibleName(m_badge.accessibleName());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_badge.paint(painter, QPointF(0, 0));
    }

private:
    SourceTypeBadge m_badge;
};

QString hostOf(const std::optional<QString>& url)
{
    if (!url)
        return {};
    const QUrl parsed(*url);
    const QString host = parsed.host().toLower();
    return host.isEmpty() ? *url : host;
}

} // namespace

QString CatalogueFeedRow::categoryName(const FeedIndexItem& feed)
{
    if (feed.category && feed.category->name && !feed.category->name->isEmpty())
        return *feed.category->name;
    return QStringLiteral("Other");
}

CatalogueFeedRow::CatalogueFeedRow(const FeedIndexItem& feed, std::function<void()> onToggle, QWidget* parent)
    : QWidget(parent), m_id(feed.id), m_active(feed.isActive.value_or(true))
{
    const SourceType type = feed.sourceType.value_or(SourceType::Rss);
    const QString category = categoryName(feed);
    const QString host = hostOf(feed.url);
    m_haystack = QStringList{feed.title, category, displayName(type), feed.url.value_or(QString())}
                     .join(QLatin1Char('\n'))
                     .toLower();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 6, 14, 6);
    layout->setSpacing(10);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    m_title = SettingsLook::paragraphLabel(feed.title, SettingsLook::font(12, QFont::Medium), Qt::white, this);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    texts->addWidget(m_title);
    auto* meta = new QHBoxLayout;
    meta->setSpacing(6);
    // The category and the host, in the row's direction; cut with an
    // ellipsis when the row is short of room.
    ParagraphLabel* subtitle =
        SettingsLook::paragraphLabel(host.isEmpty() ? category : category + QStringLiteral(" \u00B7 ") + host,
                                     SettingsLook::font(10), Color::mutedText(), this);
    subtitle->setDirection(ParagraphLabel::Direction::OfWidget);
    m_subtitle = subtitle;
    meta->addWidget(m_subtitle);
    m_badge = new BadgeView(type, this);
    meta->addWidget(m_badge, 0, Qt::AlignVCenter);
    meta->addStretch(1);
    texts->addLayout(meta);
    layout->addLayout(texts, 1);

    m_switch = new QCheckBox(this);
    SignalSwitchStyle::settings()->apply(m_switch);
    m_switch->setAccessibleName(feed.title);
    m_switch->setEnabled(m_active);
    connect(m_switch, &QCheckBox::clicked, this, [this, onToggle = std::move(onToggle)] {
        m_switch->setChecked(!m_switch->isChecked());  // undo the flip; the store decides
        onToggle();
    });
    layout->addWidget(m_switch, 0, Qt::AlignVCenter);
    setOn(true);
}

void CatalogueFeedRow::setOn(bool on)
{
    const bool shownOn = on && m_active;
    m_switch->setChecked(shownOn);
    m_switch->setAccessibleDescription(shownOn ? QStringLiteral("Enabled") : QStringLiteral("Disabled"));
    SettingsLook::setTextColor(m_title, shownOn ? QColor(Qt::white) : Color::mutedText());
}

bool CatalogueFeedRow::isOn() const
{
    return m_switch->isChecked();
}

bool CatalogueFeedRow::matches(const QString& filter) const
{
    return filter.isEmpty() || m_haystack.contains(filter.toLower());
}

void CatalogueFeedRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Color::rowBackground());
    painter.fillRect(QRect(0, height() - 1, width(), 1), Color::hairline());
}
