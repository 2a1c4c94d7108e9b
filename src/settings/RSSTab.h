#pragma once

#include <QWidget>

class CatalogueFeedList;
class FeedFilterField;
class FeedStore;
class PersonalFeedStore;
class PersonalFeedsSection;

// The catalogue's RSS feeds with their switches under a filter field and,
// while the filter is empty, the user's own feeds.
class RSSTab : public QWidget {
    Q_OBJECT
public:
    // `personal` defaults to PersonalFeedStore::shared().
    explicit RSSTab(FeedStore& store, QWidget* parent = nullptr, PersonalFeedStore* personal = nullptr);

    FeedFilterField* filterField() const { return m_filter; }
    CatalogueFeedList* list() const { return m_list; }
    PersonalFeedsSection* personalSection() const { return m_section; }
    // Whether the user's own feeds are shown (only while the filter is empty).
    bool showsPersonalFeeds() const;

private:
    FeedFilterField* m_filter;
    QWidget* m_sectionSlot;
    PersonalFeedsSection* m_section;
    CatalogueFeedList* m_list;
};
