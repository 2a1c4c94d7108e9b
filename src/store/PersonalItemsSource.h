#pragma once

#include "api/ItemModels.h"

#include <QList>
#include <functional>

// The feed store's view of the store of the user's own RSS and Atom feeds.
// The application plugs the real personal-feed store in; until then the store
// runs with NoPersonalItems.
class PersonalItemsSource {
public:
    using ItemsHandler = std::function<void(const QList<FeedItem>&)>;

    virtual ~PersonalItemsSource() = default;

    // Installs the hand-over callback: called on the main thread with the
    // items of the enabled feeds whenever they change.
    virtual void setOnItemsChanged(ItemsHandler handler) = 0;
    // Hands the current items of the enabled feeds over at once, then starts
    // polling unless a poll task already runs.
    virtual void start() = 0;
    // Cancels the poll task; the next start() creates a new one.
    virtual void stopPolling() = 0;
};

// A source without feeds: hands over an empty list and never polls.
class NoPersonalItems final : public PersonalItemsSource {
public:
    void setOnItemsChanged(ItemsHandler handler) override { m_handler = std::move(handler); }
    void start() override
    {
        if (m_handler)
            m_handler({});
    }
    void stopPolling() override {}

private:
    ItemsHandler m_handler;
};
