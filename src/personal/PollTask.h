#pragma once

#include <stop_token>

// Handle of a running poll loop. cancel() ends the loop at its next check,
// also while it sleeps; the handle can be dropped at any time.
class PollTask {
public:
    void cancel() { m_stop.request_stop(); }
    bool isCancelled() const { return m_stop.stop_requested(); }
    std::stop_token token() const { return m_stop.get_token(); }

private:
    std::stop_source m_stop;
};
