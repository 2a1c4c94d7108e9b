#include "app/PersonalFeedItemsSource.h"

#include "personal/PersonalFeedStore.h"
#include "personal/PollTask.h"

void PersonalFeedItemsSource::setOnItemsChanged(ItemsHandler handler)
{
    m_store.setOnItemsChanged(std::move(handler));
}

void PersonalFeedItemsSource::start()
{
    m_store.start();
}

void PersonalFeedItemsSource::stopPolling()
{
    if (auto task = m_store.pollTask()) {
        task->cancel();
        m_store.setPollTask(nullptr);
    }
}
