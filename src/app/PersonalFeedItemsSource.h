#pragma once

#include "store/PersonalItemsSource.h"

class PersonalFeedStore;

// Hands the personal-feed store's items to the feed store.
class PersonalFeedItemsSource final : public PersonalItemsSource {
public:
    explicit PersonalFeedItemsSource(PersonalFeedStore& store) : m_store(store) {}

    void setOnItemsChanged(ItemsHandler handler) override;
    void start() override;
    void stopPolling() override;

private:
    PersonalFeedStore& m_store;
};
