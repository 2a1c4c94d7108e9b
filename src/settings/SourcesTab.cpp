#include "settings/SourcesTab.h"

#include "api/Color.h"
#include "settings/CatalogueFeedList.h"
#include "settings/FeedFilterField.h"
#include "settings/SettingsKit.h"
#include "settings/SettingsLook.h"
#include "store/FeedStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

SourcesTab::SourcesTab(FeedStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 0);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->addWidget(SettingsLook::label(QStringLiteral("SOURCES"), SettingsLook::font(11, QFont::Bold, true),
                                          Color::accentBlue()));
    header->addStretch(1);
    m_count = SettingsLook::label(QString(), SettingsLook::font(10, QFont::Normal, true), Color::mutedText());
    header->addWidget(m_count);
    layout->addLayout(header);

    m_filter = new FeedFilterField(QStringLiteral("Filter feeds"), this);
    layout->addWidget(m_filter);

    QVBoxLayout* contentLayout = SettingsKit::addScrollingContent(layout, this);
    QWidget* content = contentLayout->parentWidget();
    m_list = new CatalogueFeedList(store, CatalogueFeedList::Grouping::ByCategory, {}, content);
    contentLayout->addWidget(m_list);
    contentLayout->addStretch(1);

    connect(m_filter, &QLineEdit::textChanged, m_list, &CatalogueFeedList::setFilter);
    connect(&m_store, &FeedStore::feedsChanged, this, &SourcesTab::refreshCount);
    connect(&m_store, &FeedStore::disabledIDsChanged, this, &SourcesTab::refreshCount);
    refreshCount();
}

void SourcesTab::refreshCount()
{
    const QList<FeedIndexItem>& feeds = m_store.feeds();
    const auto active = std::count_if(feeds.cbegin(), feeds.cend(),
                                      [](const FeedIndexItem& f) { return f.isActive.value_or(true); });
    m_count->setText(QStringLiteral("%1 of %2 %3 on")
                         .arg(m_store.activeFeedCount())
                         .arg(active)
                         .arg(active == 1 ? QStringLiteral("feed") : QStringLiteral("feeds")));
}
