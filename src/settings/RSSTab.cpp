#include "settings/RSSTab.h"

#include "api/Color.h"
#include "settings/CatalogueFeedList.h"
#include "settings/FeedFilterField.h"
#include "settings/PersonalFeedsSection.h"
#include "settings/SettingsKit.h"
#include "settings/SettingsLook.h"

#include <QLabel>
#include <QVBoxLayout>

RSSTab::RSSTab(FeedStore& store, QWidget* parent, PersonalFeedStore* personal) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 0);
    layout->setSpacing(12);
    layout->addWidget(SettingsLook::label(QStringLiteral("RSS"), SettingsLook::font(11, QFont::Bold, true),
                                          Color::accentBlue()));
    m_filter = new FeedFilterField(QStringLiteral("Filter RSS feeds"), this);
    layout->addWidget(m_filter);

    QVBoxLayout* contentLayout = SettingsKit::addScrollingContent(layout, this);
    QWidget* content = contentLayout->parentWidget();

    // The user's own feeds, with 8 pixels below them.
    m_sectionSlot = new QWidget(content);
    auto* slotLayout = new QVBoxLayout(m_sectionSlot);
    slotLayout->setContentsMargins(0, 0, 0, 8);
    m_section = new PersonalFeedsSection(m_sectionSlot, personal);
    slotLayout->addWidget(m_section);
    contentLayout->addWidget(m_sectionSlot);

    m_list = new CatalogueFeedList(
        store, CatalogueFeedList::Grouping::Flat,
        [](const FeedIndexItem& feed) { return feed.sourceType.value_or(SourceType::Rss) == SourceType::Rss; },
        content);
    contentLayout->addWidget(m_list);
    contentLayout->addStretch(1);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_list->setFilter(text);
        m_sectionSlot->setVisible(text.isEmpty());
    });
}

bool RSSTab::showsPersonalFeeds() const
{
    return !m_sectionSlot->isHidden();
}
