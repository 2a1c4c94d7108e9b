#pragma once

#include <QWidget>

class CatalogueFeedList;
class FeedFilterField;
class FeedStore;
class QLabel;

// Every catalogue feed by category, each with its source kind and switch, a
// switch for each whole category, a filter field and the count of feeds on.
class SourcesTab : public QWidget {
    Q_OBJECT
public:
    explicit SourcesTab(FeedStore& store, QWidget* parent = nullptr);

    FeedFilterField* filterField() const { return m_filter; }
    QLabel* countLine() const { return m_count; }
    CatalogueFeedList* list() const { return m_list; }

private:
    void refreshCount();

    FeedStore& m_store;
    FeedFilterField* m_filter;
    QLabel* m_count;
    CatalogueFeedList* m_list;
};
